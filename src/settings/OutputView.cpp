#include "settings/OutputView.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/RecordingConfigurationBuilder.h"
#include "settings/SDivider.h"
#include "settings/SForm.h"
#include "settings/SGroupBox.h"
#include "settings/SItem.h"
#include "settings/SPicker.h"
#include "settings/SToggle.h"

namespace tk {

namespace {

// The desktop's folder dialog.
std::optional<QString> askForFolder(QWidget* parent) {
  const QString folder = QFileDialog::getExistingDirectory(parent, OutputView::tr("Select Output Folder"));
  if (folder.isEmpty()) return std::nullopt;
  return folder;
}

}  // namespace

OutputView::OutputView(QWidget* parent) : OutputView(askForFolder, parent) {}

OutputView::OutputView(FolderChooser chooser, QWidget* parent)
    : QWidget(parent), chooser_(std::move(chooser)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* form = new SForm(30, false, this);
  layout->addWidget(form);

  auto* audio = new SGroupBox(tr("Audio"));
  audio->add(new SToggle(tr("Enable Acoustic Echo Cancellation"), bindingOf(settings::enableAEC),
                         tr("Only works with default microphone")));
  audio->add(new SDivider);
  audio->add(new SToggle(tr("Record Audio to Separate Tracks"), bindingOf(settings::separateAudioTracks),
                         tr("System audio and microphone will be saved as separate tracks")));

  // Each picker shows the stored value as its key reads it: always one of the picker's options.
  auto* video = new SGroupBox(tr("Video"));
  std::vector<SPicker::Option> rates;
  for (double rate : kRecordingFrameRates) rates.emplace_back(QString::number(rate) + " FPS", int(rate));
  auto quality = bindingOf(settings::videoQuality)
                     .mapped<QVariant>(
                         [](const double& v) {
                           return QVariant(v == 0.3 ? 0 : v == 0.7 ? 1 : 2);
                         },
                         [](const QVariant& v) { return v.toInt() == 0   ? 0.3
                                                        : v.toInt() == 1 ? 0.7
                                                                         : 1.0; });
  pickers_ = {
      new SPicker(tr("Resolution"), pickerBindingOf(settings::resolution),
                  {{tr("Low (0.5x)"), 0}, {tr("Normal (1x)"), 1}, {tr("High (Native)"), 2}}),
      new SPicker(tr("Frame Rate"), pickerBindingOf(settings::frameRate), std::move(rates)),
      new SPicker(tr("Quality"), std::move(quality), {{tr("Low"), 0}, {tr("Medium"), 1}, {tr("High"), 2}}),
      new SPicker(tr("Format"), pickerBindingOf(settings::outputFormat),
                  {{"MOV", QStringLiteral("mov")}, {"MP4", QStringLiteral("mp4")}}),
      new SPicker(tr("Encoder"), pickerBindingOf(settings::encoder),
                  {{"H.264", QStringLiteral("h264")}, {"H.265 (HEVC)", QStringLiteral("h265")}}),
  };
  for (SPicker* picker : pickers_) {
    if (picker != pickers_.front()) video->add(new SDivider);
    video->add(picker);
  }

  auto* save = new SGroupBox(tr("Save"));
  auto* folderControls = new QWidget;
  auto* row = new QHBoxLayout(folderControls);
  row->setContentsMargins(0, 0, 0, 0);
  folder_ = new QLabel;
  folder_->setTextFormat(Qt::PlainText);
  folder_->setForegroundRole(QPalette::PlaceholderText);
  folder_->setMaximumWidth(300);
  select_ = new QPushButton(tr("Select..."));
  row->addWidget(folder_);
  row->addWidget(select_);
  save->add(new SItem(tr("Output Folder"), 8, folderControls));
  connect(select_, &QPushButton::clicked, this, &OutputView::selectFolder);
  SettingBinding<QString>::observingKey(settings::outputDirectory.key)(this, [this] { refreshFolder(); });
  refreshFolder();

  groups_ = {audio, video, save};
  for (SGroupBox* group : groups_) form->add(group);
}

SPicker* OutputView::picker(const QString& title) const {
  for (SPicker* picker : pickers_) {
    if (picker->label() == title) return picker;
  }
  return nullptr;
}

QString OutputView::folderText() const {
  return folder_->text();
}

void OutputView::selectFolder() {
  if (!chooser_) return;
  const std::optional<QString> folder = chooser_(this);
  if (!folder || folder->isEmpty()) return;
  settings::outputDirectory.write(QDir::cleanPath(*folder));
}

void OutputView::refreshFolder() {
  const auto stored = SettingsStore::standard().stringValue(settings::outputDirectory.key);
  QString text;
  QString folder;
  if (stored && !stored->isEmpty()) {
    folder = *stored;
    text = tr("Currently set to \"%1\"").arg(QFileInfo(folder).fileName());
  } else {
    // Say where recordings go meanwhile, with the home folder written as "~".
    folder = QString::fromStdString(RecordingConfigurationBuilder::defaultOutputDirectory().string());
    const QString home = QDir::homePath();
    QString shown = folder;
    if (shown.startsWith(home + '/')) shown = '~' + shown.mid(home.size());
    text = tr("Not set, saving to \"%1\"").arg(shown);
  }
  // One line, cut at the tail.
  folder_->setText(folder_->fontMetrics().elidedText(text, Qt::ElideRight, folder_->maximumWidth()));
  folder_->setToolTip(folder);
}

}  // namespace tk
