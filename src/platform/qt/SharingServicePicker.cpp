#include "platform/qt/SharingServicePicker.h"

#include <QClipboard>
#include <QDirIterator>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>

#include "platform/qt/DesktopEntry.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/FileManager.h"

namespace tk {

namespace {

constexpr const char* kEmailProgram = "xdg-email";

QStringList localPaths(const QList<QUrl>& items) {
  QStringList paths;
  for (const QUrl& item : items) paths << (item.isLocalFile() ? item.toLocalFile() : item.toString());
  return paths;
}

// The entry's command for `items`, with the field codes of the desktop entry rules filled in.
// An entry that names no file code still gets the files, after its own words.
QStringList commandFor(const DesktopEntry& entry, const QString& entryPath, const QList<QUrl>& items) {
  const QStringList paths = localPaths(items);
  QStringList urls;
  for (const QUrl& item : items) urls << item.toString();
  QStringList command;
  bool tookFiles = false;
  for (const QString& word : DesktopEntry::splitExec(entry.exec)) {
    if (word == QLatin1String("%F") || word == QLatin1String("%U")) {
      command << (word == QLatin1String("%F") ? paths : urls);
      tookFiles = true;
      continue;
    }
    if (word == QLatin1String("%i")) {
      if (!entry.icon.isEmpty()) command << QStringLiteral("--icon") << entry.icon;
      continue;
    }
    QString expanded;
    for (qsizetype i = 0; i < word.size(); ++i) {
      if (word[i] != '%' || i + 1 == word.size()) {
        expanded += word[i];
        continue;
      }
      const QChar code = word[++i];
      if (code == 'f' || code == 'u') {
        expanded += paths.isEmpty() ? QString() : (code == 'f' ? paths.first() : urls.first());
        tookFiles = true;
      } else if (code == 'c') {
        expanded += entry.name;
      } else if (code == 'k') {
        expanded += entryPath;
      } else if (code == '%') {
        expanded += '%';
      }
      // Deprecated and unknown codes are dropped.
    }
    if (!expanded.isEmpty()) command << expanded;
  }
  if (!tookFiles) command << paths;
  return command;
}

// Whether the entry's command takes one file at a time (%f or %u, and neither list code).
bool takesOneFile(const DesktopEntry& entry) {
  bool single = false;
  for (const QString& word : DesktopEntry::splitExec(entry.exec)) {
    if (word == QLatin1String("%F") || word == QLatin1String("%U")) return false;
    for (qsizetype i = 0; i + 1 < word.size(); ++i) {
      if (word[i] != '%') continue;
      const QChar code = word[++i];
      if (code == 'f' || code == 'u') single = true;
    }
  }
  return single;
}

// The commands that open `items`: one for all, or one per file for a command that takes one.
std::vector<QStringList> commandsFor(const DesktopEntry& entry, const QString& entryPath,
                                     const QList<QUrl>& items) {
  if (items.size() < 2 || !takesOneFile(entry)) return {commandFor(entry, entryPath, items)};
  std::vector<QStringList> commands;
  for (const QUrl& item : items) commands.push_back(commandFor(entry, entryPath, {item}));
  return commands;
}

bool takesType(const DesktopEntry& entry, const QMimeType& type) {
  if (entry.mimeTypes.contains(type.name())) return true;
  const QStringList ancestors = type.allAncestors();
  return std::any_of(ancestors.begin(), ancestors.end(),
                     [&](const QString& ancestor) { return entry.mimeTypes.contains(ancestor); });
}

}  // namespace

bool SharingService::perform(const QList<QUrl>& items) const {
  switch (kind) {
    case Kind::copy: {
      // File managers paste a copied file list from the GNOME form; other programs read the URIs.
      auto* data = new QMimeData;
      data->setUrls(items);
      QByteArray copied = "copy";
      for (const QUrl& item : items) copied += '\n' + item.toEncoded();
      data->setData(QStringLiteral("x-special/gnome-copied-files"), copied);
      QGuiApplication::clipboard()->setMimeData(data);
      return true;
    }
    case Kind::openWith: {
      const auto entry = DesktopEntry::read(desktopEntry);
      if (!entry) return false;
      bool started = true;
      for (QStringList command : commandsFor(*entry, desktopEntry, items)) {
        if (command.isEmpty()) return false;
        const QString program = command.takeFirst();
        if (QProcess::startDetached(program, command)) continue;
        Diagnostics::line("❌ Could not start " + program.toStdString());
        started = false;
      }
      return started;
    }
    case Kind::email: {
      QStringList arguments;
      for (const QString& path : localPaths(items)) arguments << QStringLiteral("--attach") << path;
      const bool started = QProcess::startDetached(QString::fromLatin1(kEmailProgram), arguments);
      if (!started) Diagnostics::line("❌ Could not start xdg-email");
      return started;
    }
    case Kind::showInFolder:
      if (items.isEmpty()) return false;
      FileManager::reveal(items.first().toLocalFile().toStdString());
      return true;
  }
  return false;
}

std::vector<SharingService> SharingServicePicker::Delegate::sharingServicesForItems(
    SharingServicePicker&, const QList<QUrl>&, std::vector<SharingService> proposed) {
  return proposed;
}

void SharingServicePicker::Delegate::sharingServicePickerDidChooseSharingService(
    SharingServicePicker&, const std::optional<SharingService>&) {}

SharingServicePicker::SharingServicePicker(QList<QUrl> items, QObject* parent)
    : QObject(parent), items_(std::move(items)) {}

SharingServicePicker::~SharingServicePicker() {
  if (menu_) {
    menu_->disconnect(this);
    delete menu_.data();
  }
}

std::vector<SharingService> SharingServicePicker::applicationsFor(const QStringList& mimeTypes) {
  const QMimeDatabase database;
  std::vector<QMimeType> types;
  for (const QString& name : mimeTypes) types.push_back(database.mimeTypeForName(name));
  std::vector<SharingService> applications;
  QSet<QString> seen;
  for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
    QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString path = files.next();
      // The desktop file id: the path below the folder, with '-' for '/'.
      const QString id = path.mid(folder.size() + 1).replace('/', '-');
      if (seen.contains(id)) continue;
      seen.insert(id);
      const auto entry = DesktopEntry::read(path);
      if (!entry || entry->hidden || entry->exec.isEmpty()) continue;
      if (!entry->type.isEmpty() && entry->type != QLatin1String("Application")) continue;
      if (types.empty() || !std::all_of(types.begin(), types.end(),
                                        [&](const QMimeType& type) { return takesType(*entry, type); }))
        continue;
      const QString name = entry->name.isEmpty() ? id : entry->name;
      applications.push_back({SharingService::Kind::openWith, tr("Open with %1").arg(name), path});
    }
  }
  std::sort(applications.begin(), applications.end(), [](const SharingService& a, const SharingService& b) {
    return a.title.localeAwareCompare(b.title) < 0;
  });
  return applications;
}

std::vector<SharingService> SharingServicePicker::services() const {
  std::vector<SharingService> offered;
  offered.push_back({SharingService::Kind::copy, tr("Copy"), {}});
  const QMimeDatabase database;
  QStringList types;
  for (const QUrl& item : items_) {
    const QString type = database.mimeTypeForFile(item.toLocalFile()).name();
    if (!types.contains(type)) types << type;
  }
  for (SharingService& application : applicationsFor(types)) offered.push_back(std::move(application));
  if (!QStandardPaths::findExecutable(QString::fromLatin1(kEmailProgram)).isEmpty())
    offered.push_back({SharingService::Kind::email, tr("Email"), {}});
  offered.push_back({SharingService::Kind::showInFolder, tr("Show in Folder"), {}});
  return offered;
}

QMenu* SharingServicePicker::menu() const {
  return menu_.data();
}

void SharingServicePicker::show(QPoint globalPosition) {
  if (menu_) {
    // The menu still open ends without a choice, before the new one counts.
    menu_->disconnect(this);
    delete menu_.data();
    finish(std::nullopt);
  }
  finished_ = false;
  std::vector<SharingService> offered = services();
  if (delegate_) offered = delegate_->sharingServicesForItems(*this, items_, std::move(offered));
  menu_ = new QMenu;
  menu_->setAttribute(Qt::WA_DeleteOnClose);
  for (const SharingService& service : offered) {
    QString title = service.title;
    // Application names come from files anyone can write: an '&' is shown, never a mnemonic.
    QAction* action = menu_->addAction(title.replace('&', QStringLiteral("&&")));
    connect(action, &QAction::triggered, this, [this, service] {
      service.perform(items_);
      finish(service);
      if (menu_) menu_->close();
    });
  }
  // A choice triggers its action after the menu hides: the queued check finds it made.
  connect(
      menu_, &QMenu::aboutToHide, this, [this] { finish(std::nullopt); }, Qt::QueuedConnection);
  menu_->popup(globalPosition);
}

void SharingServicePicker::finish(const std::optional<SharingService>& service) {
  if (finished_) return;
  finished_ = true;
  if (delegate_) delegate_->sharingServicePickerDidChooseSharingService(*this, service);
}

}  // namespace tk
