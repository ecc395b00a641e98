#include "platform/qt/DesktopEntry.h"

#include <QFile>
#include <QFileInfo>

namespace tk {

namespace {

// The value escapes of the desktop entry rules: \s \n \t \r \\.
QString unescapeValue(const QString& raw) {
  QString out;
  out.reserve(raw.size());
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QChar c = raw[i];
    if (c != '\\' || i + 1 == raw.size()) {
      out += c;
      continue;
    }
    const QChar next = raw[++i];
    if (next == 's')
      out += ' ';
    else if (next == 'n')
      out += '\n';
    else if (next == 't')
      out += '\t';
    else if (next == 'r')
      out += '\r';
    else if (next == '\\')
      out += '\\';
    else
      out += QStringLiteral("\\") + next;  // kept for the Exec rules to read
  }
  return out;
}

bool isAssignment(const QString& word) {
  const qsizetype equals = word.indexOf('=');
  if (equals <= 0) return false;
  for (qsizetype i = 0; i < equals; ++i) {
    const QChar c = word[i];
    if (!(c.isLetterOrNumber() || c == '_')) return false;
  }
  return true;
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::read(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  // A desktop entry is a small text file; anything far larger is not one.
  if (file.size() > 1 << 20) return std::nullopt;
  auto entry = parse(file.readAll());
  if (entry) {
    const QString name = QFileInfo(path).fileName();
    entry->id = name.endsWith(QLatin1String(".desktop")) ? name.chopped(8) : name;
  }
  return entry;
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray& text) {
  DesktopEntry entry;
  bool inGroup = false;
  bool sawGroup = false;
  for (const QByteArray& rawLine : text.split('\n')) {
    const QString line = QString::fromUtf8(rawLine).trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    if (line.startsWith('[')) {
      inGroup = line == QLatin1String("[Desktop Entry]");
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0) continue;
    const QString key = line.left(equals).trimmed();
    const QString value = unescapeValue(line.mid(equals + 1).trimmed());
    if (key == QLatin1String("Type"))
      entry.type = value;
    else if (key == QLatin1String("Name"))
      entry.name = value;
    else if (key == QLatin1String("Exec"))
      entry.exec = value;
    else if (key == QLatin1String("StartupWMClass"))
      entry.startupWMClass = value;
    else if (key == QLatin1String("Icon"))
      entry.icon = value;
    else if (key == QLatin1String("X-Flatpak"))
      entry.flatpak = value;
    else if (key == QLatin1String("MimeType"))
      entry.mimeTypes = value.split(';', Qt::SkipEmptyParts);
    else if (key == QLatin1String("NoDisplay"))
      entry.noDisplay = value == QLatin1String("true");
    else if (key == QLatin1String("Hidden"))
      entry.hidden = value == QLatin1String("true");
    else if (key == QLatin1String("X-GNOME-Autostart-enabled"))
      entry.autostartEnabled = value != QLatin1String("false");
  }
  if (!sawGroup) return std::nullopt;
  return entry;
}

QStringList DesktopEntry::splitExec(const QString& exec) {
  QStringList words;
  QString word;
  bool inWord = false;
  bool quoted = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size() && QStringLiteral("\"`$\\").contains(exec[i + 1])) {
        word += exec[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c.isSpace()) {
      if (inWord) words << word;
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words << word;
  return words;
}

QString DesktopEntry::quoteExecWord(const QString& word) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  const bool needsQuotes =
      word.isEmpty() || std::any_of(word.begin(), word.end(), [](QChar c) { return reserved.contains(c); });
  if (!needsQuotes) return word;
  QString quoted = QStringLiteral("\"");
  for (const QChar c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

QString DesktopEntry::programName() const {
  const QStringList words = splitExec(exec);
  for (qsizetype i = 0; i < words.size(); ++i) {
    const QString& word = words[i];
    if (i == 0 && QFileInfo(word).fileName() == QLatin1String("env")) continue;
    if (isAssignment(word)) continue;
    if (word.startsWith('-') && i > 0 && QFileInfo(words[0]).fileName() == QLatin1String("env")) continue;
    return QFileInfo(word).fileName();
  }
  return {};
}

QString DesktopEntry::applicationId() const {
  return startupWMClass.isEmpty() ? programName() : startupWMClass;
}

}  // namespace tk

namespace tk {

QString DesktopEntry::flatpakApplicationId() const {
  if (!flatpak.isEmpty()) return flatpak;
  const QStringList words = splitExec(exec);
  qsizetype start = -1;
  for (qsizetype i = 0; i < words.size(); ++i) {
    if (QFileInfo(words[i]).fileName() == QLatin1String("flatpak")) {
      start = i;
      break;
    }
  }
  if (start < 0 || start + 1 >= words.size() || words[start + 1] != QLatin1String("run")) return {};
  for (qsizetype i = start + 2; i < words.size(); ++i) {
    if (!words[i].startsWith('-')) return words[i];
  }
  return {};
}

QStringList DesktopEntry::windowClasses() const {
  const QString flatpakId = flatpakApplicationId();
  QStringList classes;
  const auto add = [&classes](const QString& candidate) {
    if (candidate.isEmpty() || classes.contains(candidate, Qt::CaseInsensitive)) return;
    classes << candidate;
  };
  add(startupWMClass);
  add(flatpakId);
  // A Flatpak launch runs "flatpak": its windows carry the application's class, never that one.
  if (const QString program = programName(); program != QLatin1String("flatpak")) add(program);
  add(id);
  return classes;
}

}  // namespace tk
