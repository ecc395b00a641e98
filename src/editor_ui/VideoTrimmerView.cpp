#include "editor_ui/VideoTrimmerView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "editor_ui/AppearancePanel.h"
#include "editor_ui/AspectBar.h"
#include "editor_ui/DraggableCameraView.h"
#include "editor_ui/GradientPresetPicker.h"
#include "editor_ui/TransportControls.h"
#include "editor_ui/TrimmerActions.h"
#include "editor_ui/TrimmerPlayerArea.h"
#include "editor_ui/TrimmerPreview.h"
#include "editor_ui/TrimmerPreviewGeometry.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "editor_ui/WindowAccessor.h"
#include "editor_ui/ZoomEditorHost.h"
#include "platform/json/JsonWriter.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/FileManager.h"
#include "ui/SymbolButton.h"

namespace tk {

namespace {

constexpr int kClockIntervalMs = 16;  // the 1/60 s playback and overlay clocks

QPalette schemePalette(bool dark) {
  static const QPalette light = [] {
    std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    return fusion ? fusion->standardPalette() : QPalette(QColor(239, 239, 239));
  }();
  QPalette p = light;
  if (!dark) return p;
  const QColor window(40, 40, 44), base(28, 28, 30), text(235, 235, 240), dim(150, 150, 158);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(58, 58, 62));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, dim);
  p.setColor(QPalette::Disabled, QPalette::Text, dim);
  p.setColor(QPalette::Disabled, QPalette::WindowText, dim);
  p.setColor(QPalette::Disabled, QPalette::ButtonText, dim);
  return p;
}

// `text` with a zero-width break after each path separator and inside every long unbroken run, so
// that a path or a long file name wraps instead of running past its label's edge.
QString wrappable(const QString& text) {
  constexpr int kLongestRun = 32;
  const QChar breakHere(0x200B);
  QString out;
  int run = 0;
  for (QChar c : text) {
    out += c;
    run = c.isSpace() ? 0 : run + 1;
    if (!c.isSpace() && (c == QLatin1Char('/') || run >= kLongestRun)) {
      out += breakHere;
      run = 0;
    }
  }
  return out;
}

// A region that later work fills: an empty vertical box taking no room until it holds something.
QWidget* slot(const QString& name, QWidget* parent) {
  auto* widget = new QWidget(parent);
  widget->setObjectName(name);
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  return widget;
}

}  // namespace

VideoTrimmerView::VideoTrimmerView(std::filesystem::path videoURL, QWidget* parent)
    : QWidget(parent),
      videoURL_(std::move(videoURL)),
      viewModel_(std::make_unique<VideoTrimmerViewModel>()),
      cameraPlayer_(std::make_unique<MediaPlayer>()),
      actions_(std::make_unique<TrimmerActions>(*this)) {
  cameraPlayer_->setMuted(true);  // the main player alone is heard
  buildLayout();
  savedState_ = editState();
  applyColourScheme();

  auto& model = *viewModel_;
  // First, so that whatever redraws on a change of the zoom segments finds them again.
  connect(&model, &VideoTrimmerViewModel::zoomSegmentsChanged, this, [this] { zoomSegmentIndex_.reset(); });
  for (auto signal :
       {&VideoTrimmerViewModel::isLoadingChanged, &VideoTrimmerViewModel::isExportingChanged,
        &VideoTrimmerViewModel::exportProgressChanged, &VideoTrimmerViewModel::backgroundSettingsChanged,
        &VideoTrimmerViewModel::backgroundEnabledChanged, &VideoTrimmerViewModel::zoomSegmentsChanged,
        &VideoTrimmerViewModel::zoomKeyframesChanged, &VideoTrimmerViewModel::metadataChanged,
        &VideoTrimmerViewModel::cursorOverlaySettingsChanged, &VideoTrimmerViewModel::cameraURLChanged})
    connect(&model, signal, this, &VideoTrimmerView::refresh);
  connect(&model, &VideoTrimmerViewModel::backgroundSettingsChanged, this, [this] {
    if (gradientPicker_) gradientPicker_->setSelectedPreset(selectedGradientPreset_);
  });
  connect(&model, &VideoTrimmerViewModel::segmentsChanged, this, &VideoTrimmerView::refresh);
  // What an export writes is the state when it starts; once it succeeds, that is what closing
  // compares against.
  connect(&model, &VideoTrimmerViewModel::isExportingChanged, this, [this] {
    if (!viewModel_->isExporting()) return;
    exportingState_ = editState();
    // The export needs the memory more than a paused preview needs its decoders.
    if (MediaPlayer* player = viewModel_->player()) player->releaseDecoderSoon();
    cameraPlayer_->releaseDecoderSoon();
  });
  // The zooms as first read from the recording are what the window loaded, not an edit.
  connect(&model, &VideoTrimmerViewModel::metadataChanged, this, [this] {
    const auto& metadata = viewModel_->metadata();
    if (metadataSeen_ || !metadata) return;
    metadataSeen_ = true;
    // An export of a movie without metadata makes its own from the current zooms: not a load.
    if (viewModel_->isExporting()) return;
    savedState_.zoomSegments = metadata->zoomSegments;
    savedState_.zoomKeyframes = metadata->zoomKeyframes;
  });
  // Metadata that could not be read is told once; an alert already open (an export's) stays.
  connect(&model, &VideoTrimmerViewModel::metadataProblemChanged, this, [this] {
    if (viewModel_->metadataProblem() && !alert_)
      showAlert(QStringLiteral("Zoom and Cursor Data Not Read"),
                QString::fromStdString(*viewModel_->metadataProblem()), false);
  });
  connect(this, &VideoTrimmerView::stateChanged, this, [this] {
    aspectControls_->refresh();
    transportControls_->refresh();
    zoomEditors_->refresh();
    appearancePanel_->refresh();
  });
  if (MediaPlayer* player = model.player()) {
    connect(player, &MediaPlayer::frameChanged, &playerArea_->preview(), qOverload<>(&QWidget::update));
    connect(player, &MediaPlayer::statusChanged, this, &VideoTrimmerView::refresh);
  }

  windowAccessor_ = new WindowAccessor(this);
  windowAccessor_->onWindowOpen = [this](QWidget* window) { configureTrimmerWindow(window); };
  windowAccessor_->onWindowClose = [this] { tearDownTrimmer(); };
  windowAccessor_->shouldClose = [this] { return windowShouldClose(); };
}

VideoTrimmerView::~VideoTrimmerView() {
  tearDownTrimmer();
  // The regions read the model and the camera player while they live: they go first.
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete child;
}

// ---- layout ----

void VideoTrimmerView::buildLayout() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(16, 16, 16, 16);
  root->setSpacing(12);

  // 1. Header: the file name, the colour-scheme switch and the close button.
  auto* header = new QHBoxLayout();
  titleLabel_ = new QLabel(QString::fromStdString(videoURL_.filename().string()), this);
  titleLabel_->setTextFormat(Qt::PlainText);
  QFont headline = titleLabel_->font();
  headline.setBold(true);
  headline.setPointSizeF(headline.pointSizeF() + 1);
  titleLabel_->setFont(headline);
  titleLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  header->addWidget(titleLabel_, 1);
  darkModeSwitch_ = new QCheckBox(this);
  darkModeSwitch_->setToolTip(QStringLiteral("Toggle Dark Mode for Trimmer"));
  connect(darkModeSwitch_, &QCheckBox::toggled, this, [this](bool on) { setForceDarkMode(on); });
  header->addWidget(darkModeSwitch_);
  closeButton_ = new SymbolButton(Symbol::xmarkCircle, 16, QSize(24, 24), this);
  closeButton_->setToolTip(QStringLiteral("Close"));
  connect(closeButton_, &QPushButton::clicked, this, &VideoTrimmerView::closeTrimmerWindow);
  auto* closeShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this);
  closeShortcut->setContext(Qt::WindowShortcut);
  connect(closeShortcut, &QShortcut::activated, this, &VideoTrimmerView::closeTrimmerWindow);
  header->addWidget(closeButton_);
  root->addLayout(header);

  // What the window has to tell about the recording, when it has something to tell.
  noticeBanner_ = new QLabel(this);
  noticeBanner_->setObjectName(QStringLiteral("noticeBanner"));
  noticeBanner_->setTextFormat(Qt::PlainText);
  noticeBanner_->setWordWrap(true);
  noticeBanner_->setContentsMargins(8, 4, 8, 4);
  noticeBanner_->setStyleSheet(
      QStringLiteral("#noticeBanner { background: rgba(255, 196, 0, 60); border-radius: 6px; color: "
                     "palette(window-text); }"));
  noticeBanner_->hide();
  root->addWidget(noticeBanner_);

  // 2. Player area.
  playerArea_ = new TrimmerPlayerArea(*this, this);
  root->addWidget(playerArea_, 1);

  // 3. Aspect bar and timeline; 4. transport card; 5. zoom editor; 6. appearance strip.
  aspectBar_ = slot(QStringLiteral("aspectBar"), this);
  timelineSlot_ = slot(QStringLiteral("timelineSlot"), this);
  auto* aspectAndTimeline = new QVBoxLayout();
  aspectAndTimeline->setSpacing(8);
  aspectControls_ = new AspectBar(*this, aspectBar_);
  aspectBar_->layout()->addWidget(aspectControls_);
  aspectAndTimeline->addWidget(aspectBar_);
  aspectAndTimeline->addWidget(timelineSlot_);
  root->addLayout(aspectAndTimeline);
  timeline_ = new TrimmerTimelineView(
      *viewModel_,
      {[this] { return selectedZoomKeyframeId_; }, [this](auto id) { setSelectedZoomKeyframeId(id); }},
      {[this] { return selectedZoomSegmentId_; }, [this](auto id) { setSelectedZoomSegmentId(id); }},
      timelineSlot_);
  timelineSlot_->layout()->addWidget(timeline_);
  timelineSlot_->hide();  // until the movie has loaded
  connect(this, &VideoTrimmerView::stateChanged, timeline_, &TrimmerTimelineView::selectionChanged);

  transportCard_ = slot(QStringLiteral("transportCard"), this);
  transportCard_->setAttribute(Qt::WA_StyledBackground);
  transportCard_->setStyleSheet(
      QStringLiteral("#transportCard { background: rgba(128, 128, 128, 40); border-radius: 10px;"
                     " border: 1px solid rgba(255, 255, 255, 20); }"));
  transportCard_->layout()->setContentsMargins(10, 10, 10, 10);
  transportControls_ = new TransportControls(*this, *actions_, transportCard_);
  transportCard_->layout()->addWidget(transportControls_);
  root->addWidget(transportCard_);

  zoomEditorSlot_ = slot(QStringLiteral("zoomEditorSlot"), this);
  zoomEditors_ = new ZoomEditorHost(*this, *actions_, zoomEditorSlot_);
  zoomEditorSlot_->layout()->addWidget(zoomEditors_);
  root->addWidget(zoomEditorSlot_, 0, Qt::AlignHCenter);

  appearanceStrip_ = new QWidget(this);
  appearanceStrip_->setObjectName(QStringLiteral("appearanceStrip"));
  appearanceStrip_->setAttribute(Qt::WA_StyledBackground);
  appearanceStrip_->setStyleSheet(
      QStringLiteral("#appearanceStrip { background: rgba(128, 128, 128, 40); border-radius: 10px; }"));
  auto* strip = new QHBoxLayout(appearanceStrip_);
  strip->setContentsMargins(8, 8, 8, 8);
  strip->setSpacing(12);
  appearancePanel_ = new AppearancePanel(*this, *actions_, appearanceStrip_);
  gradientPicker_ = appearancePanel_->gradientPicker();
  gradientPicker_->setSelectedPreset(selectedGradientPreset_);
  strip->addWidget(appearancePanel_);
  root->addWidget(appearanceStrip_);
}

QSize VideoTrimmerView::minimumSizeHint() const {
  return QWidget::minimumSizeHint().expandedTo(QSize(kMinimumWidth, kMinimumHeight));
}

void VideoTrimmerView::applyColourScheme() {
  // Always the chosen scheme, never the desktop's.
  setPalette(schemePalette(forceDarkMode_));
  setAutoFillBackground(true);
  darkModeSwitch_->setText(forceDarkMode_ ? QStringLiteral("\u263E") : QStringLiteral("\u2600"));
  closeButton_->setSymbolColor(palette().color(QPalette::PlaceholderText));
}

void VideoTrimmerView::refresh() {
  // The timeline shows a movie that has loaded: not while it loads, nor after it failed to.
  timelineSlot_->setVisible(!viewModel_->isLoading() && !loadFailed_);
  playerArea_->relayout();
  emit stateChanged();
}

// ---- state ----

std::filesystem::path VideoTrimmerView::cameraLayerURL() const {
  return videoURL_.parent_path() / ".camera.mov";
}

bool VideoTrimmerView::cameraLayerExists() const {
  std::error_code error;
  return !cameraLayerUnreadable_ && std::filesystem::is_regular_file(cameraLayerURL(), error);
}

void VideoTrimmerView::addNotice(const QString& text) {
  if (notices_.contains(text)) return;
  notices_ << text;
  noticeBanner_->setText(notices_.join(QLatin1Char('\n')));
  noticeBanner_->show();
}

void VideoTrimmerView::setForceDarkMode(bool value) {
  if (forceDarkMode_ == value) return;
  forceDarkMode_ = value;
  {
    const QSignalBlocker quiet(darkModeSwitch_);  // showing the value must not write it back
    darkModeSwitch_->setChecked(value);
  }
  applyColourScheme();
  emit stateChanged();
}

void VideoTrimmerView::setSelectedAspect(OutputAspectRatio value) {
  if (selectedAspect_ == value) return;
  selectedAspect_ = value;
  refresh();
}

void VideoTrimmerView::setVerticalStack(bool value) {
  if (value && !verticalStackAvailable()) value = false;
  if (verticalStack_ == value) return;
  verticalStack_ = value;
  refresh();
}

void VideoTrimmerView::setIncludeCameraInExport(bool value) {
  if (includeCameraInExport_ == value) return;
  includeCameraInExport_ = value;
  // The export takes the camera layer the model names: only while the switch is on.
  viewModel_->setCameraURL(value && cameraLayerExists() ? std::optional(cameraLayerURL()) : std::nullopt);
  if (!value) verticalStack_ = false;
  cameraInclusionChanged();
  refresh();
}

void VideoTrimmerView::setAppearance(const Appearance& value) {
  appearance_ = value;
  refresh();
}

void VideoTrimmerView::setPipCenterNormalized(QPointF value) {
  appearance_.pipCenterNormalized = value;
  refresh();
}

void VideoTrimmerView::setSelectedZoomKeyframeId(std::optional<QUuid> value) {
  selectedZoomKeyframeId_ = value;
  emit stateChanged();
}

void VideoTrimmerView::setSelectedZoomSegmentId(std::optional<QUuid> value) {
  selectedZoomSegmentId_ = value;
  emit stateChanged();
}

void VideoTrimmerView::setEnableZoomPreview(bool value) {
  enableZoomPreview_ = value;
  refresh();
}

void VideoTrimmerView::setSelectedGradientPreset(GradientPreset value) {
  selectedGradientPreset_ = value;
  if (gradientPicker_) gradientPicker_->setSelectedPreset(value);
  emit stateChanged();
}

void VideoTrimmerView::setIsPlaying(bool value) {
  if (isPlaying_ == value) return;
  isPlaying_ = value;
  emit stateChanged();
}

bool VideoTrimmerView::overlayTimerRunning() const {
  return overlayTimer_ && overlayTimer_->isActive();
}
bool VideoTrimmerView::playbackTimerRunning() const {
  return playbackTimer_ && playbackTimer_->isActive();
}

// ---- alerts ----

void VideoTrimmerView::showAlert(const QString& title, const QString& message, bool withReveal) {
  if (alert_) alert_->deleteLater();
  alert_ = new QMessageBox(QMessageBox::NoIcon, title, message, QMessageBox::NoButton, this);
  alert_->setTextFormat(Qt::PlainText);
  alert_->setAttribute(Qt::WA_DeleteOnClose);
  alert_->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
  if (withReveal && exportedURL_) {
    auto* reveal = alert_->addButton(QStringLiteral("Show in Folder"), QMessageBox::ActionRole);
    const auto url = *exportedURL_;
    connect(reveal, &QPushButton::clicked, this, [url] { revealInFinder(url); });
  }
  connect(alert_, &QMessageBox::finished, this, [this] {
    showError_ = false;
    showExportSuccess_ = false;
  });
  alert_->open();
}

void VideoTrimmerView::presentError(std::string message) {
  errorMessage_ = std::move(message);
  showError_ = true;
  showAlert(QStringLiteral("Export Failed"), QString::fromStdString(errorMessage_), false);
}

void VideoTrimmerView::presentExportSuccess(std::optional<std::filesystem::path> exportedURL,
                                            std::optional<std::string> note) {
  if (exportingState_) savedState_ = *std::exchange(exportingState_, std::nullopt);
  exportedURL_ = std::move(exportedURL);
  showExportSuccess_ = true;
  QString message = exportedURL_ ? QStringLiteral("Trimmed video saved to:\n") +
                                       QString::fromStdString(exportedURL_->filename().string())
                                 : QString();
  if (note) message += QStringLiteral("\n\n") + QString::fromStdString(*note);
  showAlert(QStringLiteral("Export Successful"), message, true);
}

void VideoTrimmerView::revealInFinder(const std::filesystem::path& url) {
  FileManager::reveal(url);
}

// ---- window and loading ----

void VideoTrimmerView::configureTrimmerWindow(QWidget* window) {
  if (window) {
    // The window is never smaller than its content needs (at least the least size above): nothing
    // is squeezed or cut, and opening a zoom editor grows a window that has no room for it.
    if (QLayout* layout = window->layout()) layout->setSizeConstraint(QLayout::SetMinimumSize);
    window->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  }
  viewModel_->setWindow(window);
  startVideoLoad();
  loadCameraRecording();
  startOverlayTimer();
}

void VideoTrimmerView::startVideoLoad() {
  // A camera layer that cannot be read is left out of the preview and the export: say so once,
  // and keep its switch off.
  if (std::error_code missing; std::filesystem::is_regular_file(cameraLayerURL(), missing)) {
    std::string reason;
    try {
      if (!MediaAsset::load(cameraLayerURL()).firstTrack(MediaKind::video)) reason = "it holds no video";
    } catch (const Error& error) {
      reason = error.localizedDescription();
    }
    if (!reason.empty()) {
      cameraLayerUnreadable_ = true;
      addNotice(QStringLiteral("The camera recording could not be read, so it is left out of the preview "
                               "and the export (") +
                QString::fromStdString(reason) + QStringLiteral(")."));
    }
  }
  viewModel_->setCameraURL(includeCameraInExport_ && cameraLayerExists() ? std::optional(cameraLayerURL())
                                                                         : std::nullopt);
  QPointer<VideoTrimmerView> self(this);
  viewModel_->loadVideo(videoURL_, [self](std::optional<PlatformError> error) {
    if (self && !self->tornDown_) self->handleVideoLoadResult(std::move(error));
  });
}

void VideoTrimmerView::loadCameraRecording() {
  if (includeCameraInExport_ && cameraLayerExists()) {
    cameraPlayer_->replaceCurrentItem(cameraLayerURL());
  } else {
    cameraPlayer_->replaceCurrentItem(std::nullopt);
  }
}

void VideoTrimmerView::startOverlayTimer() {
  if (overlayTimer_) {
    overlayTimer_->stop();
    delete overlayTimer_;
    overlayTimer_ = nullptr;
  }
  overlayTimer_ = new QTimer(this);
  overlayTimer_->setInterval(kClockIntervalMs);
  connect(overlayTimer_, &QTimer::timeout, this, &VideoTrimmerView::updateOverlayScale);
  overlayTimer_->start();
}

void VideoTrimmerView::handleVideoLoadResult(std::optional<PlatformError> error) {
  if (error) {
    loadFailed_ = true;
    errorMessage_ = error->localizedDescription();
    showError_ = true;
    // A movie that cannot be read is not an export that failed: say what happened.
    showAlert(QStringLiteral("Could Not Load Video"), wrappable(QString::fromStdString(errorMessage_)),
              false);
    refresh();
    return;
  }
  Diagnostics::line("Video loaded successfully and trimming started automatically");
  const auto& asset = viewModel_->asset();
  if (asset && !asset->firstTrack(MediaKind::video)) {
    noVideoTrack_ = true;
    addNotice(QStringLiteral("This file has no video, only sound: there is no picture to edit or export."));
  }
  savedState_.segments = viewModel_->segments();
  if (!playbackTimer_) {
    playbackTimer_ = new QTimer(this);
    playbackTimer_->setInterval(kClockIntervalMs);
    connect(playbackTimer_, &QTimer::timeout, this, &VideoTrimmerView::updatePlaybackState);
  }
  playbackTimer_->start();
  loadVideoNaturalSize();
  setupCameraSync();
  refresh();
}

void VideoTrimmerView::updatePlaybackState() {
  MediaPlayer* player = viewModel_->player();
  if (!player) return;
  const double time = player->currentTime().seconds();
  const bool playing = player->rate() > 0.01;
  if (time == currentTime_ && playing == isPlaying_) return;
  currentTime_ = std::isfinite(time) ? time : currentTime_;
  isPlaying_ = playing;
  playerArea_->preview().update();
  emit stateChanged();
}

void VideoTrimmerView::loadVideoNaturalSize() {
  const auto& asset = viewModel_->asset();
  const MediaTrack* track = asset ? asset->firstTrack(MediaKind::video) : nullptr;
  if (!asset) {
    Diagnostics::line("⚠️ Failed to load video natural size: the movie is not loaded");
    return;
  }
  if (!track) return;
  if (track->width <= 0 || track->height <= 0) {
    Diagnostics::line("⚠️ Failed to load video natural size: the video track has no size");
    return;
  }
  videoNaturalSize_ = QSizeF(std::abs(track->width), std::abs(track->height));
  Diagnostics::line("📐 Video natural size: " + std::to_string(track->width) + "x" +
                    std::to_string(track->height));
  refresh();
}

// ---- camera tie ----

void VideoTrimmerView::setupCameraSync() {
  MediaPlayer* player = viewModel_->player();
  if (!includeCameraInExport_ || !cameraLayerExists() || cameraTimeObserver_ || !player) return;
  observedRate_ = player->rate();
  QPointer<MediaPlayer> main(player);
  // The observer also fires when playback starts or stops, which is where the rate is mirrored.
  cameraTimeObserver_ = player->addPeriodicTimeObserver(MediaTime(20, 600), [this, main](MediaTime time) {
    if (!main) return;
    if (main->rate() != observedRate_) {
      observedRate_ = main->rate();
      mirrorMainPlayerRate(observedRate_);
    }
    syncCameraToMainPlayer(time.seconds());
  });
}

void VideoTrimmerView::syncCameraToMainPlayer(double time) {
  MediaPlayer* player = viewModel_->player();
  if (!player) return;
  if (std::abs(cameraPlayer_->currentTime().seconds() - time) > 0.05)
    cameraPlayer_->seek(MediaTime::fromSeconds(time, 600));
  if (player->rate() > 0 && cameraPlayer_->rate() == 0)
    cameraPlayer_->play();
  else if (player->rate() == 0 && cameraPlayer_->rate() != 0)
    cameraPlayer_->pause();
  overlayScale_ = overlayScale(time);
  playerArea_->preview().refresh();
}

void VideoTrimmerView::mirrorMainPlayerRate(double rate) {
  if (rate > 0)
    cameraPlayer_->play();
  else
    cameraPlayer_->pause();
}

double VideoTrimmerView::overlayScale(double t) const {
  return TrimmerPreviewGeometry::overlayScale(viewModel_->zoomSegments(), appearance_.shrinkFactor, t,
                                              &zoomSegmentIndex());
}

const ZoomSegmentIndex& VideoTrimmerView::zoomSegmentIndex() const {
  if (!zoomSegmentIndex_ || zoomSegmentIndex_->listSize() != viewModel_->zoomSegments().size())
    zoomSegmentIndex_.emplace(viewModel_->zoomSegments());
  return *zoomSegmentIndex_;
}

void VideoTrimmerView::updateOverlayScale() {
  MediaPlayer* player = viewModel_->player();
  if (!player) return;
  const double t = player->currentTime().seconds();
  if (!std::isfinite(t)) return;
  const double scale = overlayScale(t);
  if (scale == overlayScale_) return;
  overlayScale_ = scale;
  playerArea_->preview().refresh();
}

void VideoTrimmerView::cameraInclusionChanged() {
  loadCameraRecording();
  setupCameraSync();
  if (includeCameraInExport_) {
    startOverlayTimer();
  } else if (overlayTimer_) {
    overlayTimer_->stop();
    delete overlayTimer_;
    overlayTimer_ = nullptr;
  }
}

void VideoTrimmerView::removeCameraSync() {
  MediaPlayer* player = viewModel_->player();
  if (cameraTimeObserver_ && player) player->removeTimeObserver(*cameraTimeObserver_);
  cameraTimeObserver_.reset();
}

void VideoTrimmerView::tearDownTrimmer() {
  if (tornDown_) return;
  tornDown_ = true;
  removeCameraSync();
  delete overlayTimer_;
  overlayTimer_ = nullptr;
  delete playbackTimer_;
  playbackTimer_ = nullptr;
  cameraPlayer_->replaceCurrentItem(std::nullopt);
  if (alert_) alert_->close();
  viewModel_->cleanup();
}

// ---- preview ----

double VideoTrimmerView::previewAspectRatio() const {
  return TrimmerPreviewGeometry::previewAspectRatio(selectedAspect_, videoNaturalSize_);
}

AffineTransform VideoTrimmerView::previewZoomTransform(double t, QSizeF size) const {
  const auto& metadata = viewModel_->metadata();
  return TrimmerPreviewGeometry::previewZoomTransform(
      enableZoomPreview_, viewModel_->zoomSegments(), viewModel_->zoomKeyframes(),
      metadata ? &metadata->cursorPositions : nullptr, t, size, &zoomSegmentIndex());
}

void VideoTrimmerView::setZoomKeyframeCenter(double x, double y) {
  const auto& keyframes = viewModel_->zoomKeyframes();
  if (keyframes.empty()) return;
  const QUuid target = selectedZoomKeyframeId_.value_or(keyframes.back().id);
  auto it = std::find_if(keyframes.begin(), keyframes.end(), [&](const auto& k) { return k.id == target; });
  if (it == keyframes.end()) return;
  ZoomKeyframe keyframe = *it;
  keyframe.center = QPointF(std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0));
  viewModel_->updateZoomKeyframe(keyframe);
  setSelectedZoomKeyframeId(keyframe.id);
}

void VideoTrimmerView::zoomKeyframeCenterDrag(QPointF location, QSizeF area) {
  const QPointF n = TrimmerPreviewGeometry::normalisedDragLocation(location, area);
  setZoomKeyframeCenter(n.x(), n.y());
}

// ---- header ----

VideoTrimmerView::EditState VideoTrimmerView::editState() const {
  const auto& model = *viewModel_;
  JsonWriter background;
  encode(background, model.backgroundSettings());
  return EditState{model.segments(),
                   model.zoomSegments(),
                   model.zoomKeyframes(),
                   model.cursorOverlaySettings(),
                   model.backgroundEnabled(),
                   background.take().dump(),
                   appearance_,
                   selectedAspect_,
                   verticalStack_,
                   includeCameraInExport_};
}

bool VideoTrimmerView::hasUnsavedEdits() const {
  return !(editState() == savedState_);
}

bool VideoTrimmerView::asksBeforeClosing() const {
  return !discardConfirmed_ && !tornDown_ && (viewModel_->isExporting() || hasUnsavedEdits());
}

bool VideoTrimmerView::windowShouldClose() {
  const bool exporting = viewModel_->isExporting();
  if (!asksBeforeClosing()) return true;
  if (discardPrompt_) {
    discardPrompt_->raise();
    return false;
  }
  // A running export is lost with the window just as unexported edits are: ask first.
  discardPrompt_ =
      exporting ? new QMessageBox(QMessageBox::Warning, QStringLiteral("Stop Export?"),
                                  QStringLiteral("This video is still being exported. Closing the window "
                                                 "stops the export and discards what it has written."),
                                  QMessageBox::NoButton, this)
                : new QMessageBox(QMessageBox::Warning, QStringLiteral("Discard Changes?"),
                                  QStringLiteral("Your cuts, zooms and appearance changes to this video "
                                                 "have not been exported and will be lost."),
                                  QMessageBox::NoButton, this);
  discardPrompt_->setAttribute(Qt::WA_DeleteOnClose);
  discardPrompt_->setWindowModality(Qt::WindowModal);
  auto* discard = discardPrompt_->addButton(
      exporting ? QStringLiteral("Stop Export") : QStringLiteral("Discard"), QMessageBox::DestructiveRole);
  auto* keep = discardPrompt_->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  discardPrompt_->setDefaultButton(keep);
  discardPrompt_->setEscapeButton(keep);
  connect(discard, &QPushButton::clicked, this, [this] {
    if (viewModel_->isExporting()) viewModel_->cancelExport();
    discardConfirmed_ = true;
    QTimer::singleShot(0, this, &VideoTrimmerView::closeTrimmerWindow);
  });
  discardPrompt_->open();  // returns at once; the window stays usable behind its sheet
  return false;
}

void VideoTrimmerView::closeTrimmerWindow() {
  if (QWidget* window = viewModel_->window()) {
    window->close();
    return;
  }
  if (QWidget* key = QApplication::activeWindow()) {
    key->close();
    return;
  }
  const QString name = QString::fromStdString(videoURL_.filename().string());
  for (QWidget* window : QApplication::topLevelWidgets()) {
    const QString title = window->windowTitle();
    if (title.contains(QStringLiteral("Video Trimmer")) && title.contains(name)) {
      window->close();
      return;
    }
  }
}

}  // namespace tk
