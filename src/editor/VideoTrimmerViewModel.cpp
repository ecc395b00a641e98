#include "editor/VideoTrimmerViewModel.h"

#include <QCoroTask>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "editor/LegacyZoomConversion.h"
#include "editor/MetadataChecks.h"
#include "editor/RecordingMetadataLookup.h"
#include "editor/WaveformGenerator.h"
#include "platform/json/EnumTable.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

constexpr int32_t kTimescale = 600;
constexpr double kMinimumZoomLength = 0.5;

std::string twoDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

BackgroundSettings initialBackground() {
  BackgroundSettings settings;
  settings.type = StudioBackgroundType::gradient;
  GradientSettings gradient;
  gradient.colors = {CodableColor{0.1, 0.1, 0.15, 1.0}, CodableColor{0.2, 0.15, 0.3, 1.0}};
  gradient.angle = 45;
  gradient.preset = GradientPreset::purple;
  settings.gradient = gradient;
  settings.opacity = 1.0;
  return settings;
}

PlatformError trimmerError(int code, std::string description) {
  return PlatformError("VideoTrimmer", code, std::move(description));
}

template <typename List, typename Id>
auto findById(List& list, const Id& id) {
  return std::find_if(list.begin(), list.end(), [&](const auto& item) { return item.id == id; });
}

}  // namespace

VideoTrimmerViewModel::VideoTrimmerViewModel(QObject* parent)
    : QObject(parent),
      playerView_(new PlayerView()),
      player_(std::make_unique<MediaPlayer>()),
      backgroundSettings_(initialBackground()) {
  playerView_->setPlayer(player_.get());
}

VideoTrimmerViewModel::~VideoTrimmerViewModel() {
  // The window may have taken the view in; otherwise it is ours to delete.
  if (playerView_) {
    playerView_->setPlayer(nullptr);
    if (!playerView_->parent()) delete playerView_.data();
  }
  delete exportTimer_;
}

MediaPlayer* VideoTrimmerViewModel::player() const {
  return playerView_ ? playerView_->player() : nullptr;
}

// ---- published setters ----

#define TK_PUBLISH(field, signal) \
  do {                            \
    field = std::move(value);     \
    emit signal();                \
  } while (0)

void VideoTrimmerViewModel::setIsTrimming(bool value) {
  TK_PUBLISH(isTrimming_, isTrimmingChanged);
}
void VideoTrimmerViewModel::setIsExporting(bool value) {
  TK_PUBLISH(isExporting_, isExportingChanged);
}
void VideoTrimmerViewModel::setExportProgress(double value) {
  TK_PUBLISH(exportProgress_, exportProgressChanged);
}
void VideoTrimmerViewModel::setSegments(std::vector<VideoSegment> value) {
  TK_PUBLISH(segments_, segmentsChanged);
}
void VideoTrimmerViewModel::setIsCutMode(bool value) {
  TK_PUBLISH(isCutMode_, isCutModeChanged);
}
void VideoTrimmerViewModel::setSelectedSegmentId(std::optional<QUuid> value) {
  TK_PUBLISH(selectedSegmentId_, selectedSegmentIdChanged);
}
void VideoTrimmerViewModel::setZoomKeyframes(std::vector<ZoomKeyframe> value) {
  TK_PUBLISH(zoomKeyframes_, zoomKeyframesChanged);
}
void VideoTrimmerViewModel::setZoomSegments(ZoomSegmentList value) {
  TK_PUBLISH(zoomSegments_, zoomSegmentsChanged);
}
void VideoTrimmerViewModel::setCameraURL(std::optional<std::filesystem::path> value) {
  TK_PUBLISH(cameraURL_, cameraURLChanged);
}
void VideoTrimmerViewModel::setCursorOverlaySettings(CursorOverlaySettings value) {
  TK_PUBLISH(cursorOverlaySettings_, cursorOverlaySettingsChanged);
}
void VideoTrimmerViewModel::setBackgroundSettings(BackgroundSettings value) {
  TK_PUBLISH(backgroundSettings_, backgroundSettingsChanged);
}
void VideoTrimmerViewModel::setBackgroundEnabled(bool value) {
  TK_PUBLISH(backgroundEnabled_, backgroundEnabledChanged);
}

#undef TK_PUBLISH

void VideoTrimmerViewModel::setExportTimer(QTimer* timer) {
  if (exportTimer_ == timer) return;
  delete exportTimer_;
  exportTimer_ = timer;
}

// ---- loading ----

void VideoTrimmerViewModel::loadVideo(const std::filesystem::path& url, LoadCompletion completion) {
  fileURL_ = url;
  loadCompletion_ = std::move(completion);
  MediaPlayer* player = this->player();
  std::error_code error;
  if (url.empty() || !player || std::filesystem::is_directory(url, error)) {
    if (loadCompletion_) loadCompletion_(trimmerError(-1, "Failed to load asset"));
    return;
  }
  playerView_->setVideoGravity(PlayerView::VideoGravity::resizeAspectFill);
  // Both handlers run on the main thread: the player delivers its status and time jumps there.
  disconnect(statusObserver_);
  disconnect(timeJumpedObserver_);
  statusObserver_ = connect(player, &MediaPlayer::statusChanged, this,
                            [this](MediaPlayer::Status status) { onStatusChanged(status); });
  isObservingPlayerItem_ = true;
  timeJumpedObserver_ = connect(player, &MediaPlayer::timeJumped, this, [this] { handleVideoReady(); });
  player->replaceCurrentItem(url);
}

void VideoTrimmerViewModel::onStatusChanged(MediaPlayer::Status status) {
  MediaPlayer* player = this->player();
  switch (status) {
    case MediaPlayer::Status::readyToPlay:
      Diagnostics::line("✅ Player item ready to play");
      handleVideoReady();
      break;
    case MediaPlayer::Status::failed: {
      const std::string reason = player ? player->errorDescription() : std::string();
      const PlatformError error =
          reason.empty() ? trimmerError(-1, "Unknown error") : PlatformError("MediaPlayer", -1, reason);
      Diagnostics::line("❌ Player item failed: " + error.localizedDescription());
      // Cleared before the call: a completion that loads again installs its own.
      LoadCompletion completion = std::move(loadCompletion_);
      loadCompletion_ = nullptr;
      if (completion) completion(error);
      break;
    }
    case MediaPlayer::Status::unknown:
      Diagnostics::line("⚠️ Player item status unknown");
      break;
  }
}

void VideoTrimmerViewModel::handleVideoReady() {
  MediaPlayer* player = this->player();
  if (!isLoading_ || !player || !player->hasItem() || player->status() != MediaPlayer::Status::readyToPlay)
    return;
  Diagnostics::line("✅ Video is ready. Initializing UI.");
  player->seek(MediaTime::zero());
  asset_ = player->asset();
  isLoading_ = false;
  emit isLoadingChanged();
  // The movie's length bounds cuts, and one kept segment covers it, so the first Split and the
  // merged export have something to work on.
  if (asset_) {
    videoDuration_ = asset_->duration().convertScale(kTimescale);
    if (segments_.empty() && videoDuration_ > MediaTime::zero())
      setSegments({VideoSegment{QUuid::createUuid(), MediaTime(0, kTimescale), videoDuration_, false}});
  }
  LoadCompletion completion = std::move(loadCompletion_);
  loadCompletion_ = nullptr;
  if (completion) completion(std::nullopt);

  if (asset_) {
    isGeneratingWaveform_ = true;
    emit isGeneratingWaveformChanged();
    [](QPointer<VideoTrimmerViewModel> self, MediaAsset asset) -> QCoro::Task<void> {
      const double duration = asset.duration().seconds();
      std::vector<float> samples = co_await WaveformGenerator::generateWaveform(std::move(asset), duration);
      if (!self) co_return;
      self->waveformSamples_ = std::move(samples);
      emit self->waveformSamplesChanged();
      self->isGeneratingWaveform_ = false;
      emit self->isGeneratingWaveformChanged();
    }(this, *asset_);
  }
  loadRecordingMetadata();
  setupTimeObserver();
}

void VideoTrimmerViewModel::setupTimeObserver() {
  MediaPlayer* player = this->player();
  if (!player) return;
  if (timeObserver_) {
    player->removeTimeObserver(*timeObserver_);
    timeObserver_.reset();
  }
  timeObserver_ =
      player->addPeriodicTimeObserver(MediaTime::fromSeconds(0.033, kTimescale), [this](MediaTime time) {
        currentTime_ = time.seconds();
        emit currentTimeChanged();
      });
}

void VideoTrimmerViewModel::seek(double seconds) {
  if (MediaPlayer* player = this->player()) player->seek(MediaTime::fromSeconds(seconds, kTimescale));
  currentTime_ = seconds;
  emit currentTimeChanged();
}

// ---- segments ----

void VideoTrimmerViewModel::addCutAtCurrentTime() {
  MediaPlayer* player = this->player();
  if (!player) {
    Diagnostics::line("⚠️ Invalid cut time");
    return;
  }
  const MediaTime time = player->currentTime();
  if (!(time.seconds() > 0 && time < videoDuration_)) {
    Diagnostics::line("⚠️ Invalid cut time");
    return;
  }
  auto it = std::find_if(segments_.begin(), segments_.end(), [&](const VideoSegment& segment) {
    return time >= segment.startTime && time < segment.endTime;
  });
  if (it == segments_.end()) {
    Diagnostics::line("⚠️ No segment found at current time");
    return;
  }
  // A cut where a segment already starts would leave an empty segment before it.
  if (time == it->startTime) {
    Diagnostics::line("⚠️ A cut is already at " + formatDouble(time.seconds()) + "s");
    return;
  }
  std::vector<VideoSegment> segments = segments_;
  const size_t index = static_cast<size_t>(it - segments_.begin());
  const VideoSegment split = segments[index];
  segments[index] = VideoSegment{QUuid::createUuid(), split.startTime, time, false};
  segments.insert(segments.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                  VideoSegment{QUuid::createUuid(), time, split.endTime, false});
  setSegments(std::move(segments));
  Diagnostics::line("✂️ Cut added at " + formatDouble(time.seconds()) + "s - now have " +
                    formatInt(static_cast<long long>(segments_.size())) + " segments");
}

void VideoTrimmerViewModel::toggleSegmentDeletion(const QUuid& id) {
  auto it = findById(segments_, id);
  if (it == segments_.end()) return;
  const auto index = it - segments_.begin();
  std::vector<VideoSegment> segments = segments_;
  VideoSegment& segment = segments[static_cast<size_t>(index)];
  segment.isMarkedForDeletion = !segment.isMarkedForDeletion;
  const bool inactive = segment.isMarkedForDeletion;
  setSegments(std::move(segments));
  Diagnostics::line("🔄 Toggled segment " + formatInt(index) + " to " + (inactive ? "Inactive" : "Active"));
}

// ---- export state and teardown ----

void VideoTrimmerViewModel::cancelExport() {
  if (exportSession_) exportSession_->cancel();
  setExportTimer(nullptr);
  setIsExporting(false);
  setExportProgress(0.0);
}

void VideoTrimmerViewModel::cleanup() {
  MediaPlayer* player = this->player();
  if (isObservingPlayerItem_ && player && player->hasItem()) {
    disconnect(statusObserver_);
    isObservingPlayerItem_ = false;
  }
  // The time-jump subscription ends here too, so no late jump reaches a cleaned-up model.
  disconnect(timeJumpedObserver_);
  if (player) {
    player->pause();
    if (timeObserver_) {
      player->removeTimeObserver(*timeObserver_);
      timeObserver_.reset();
    }
    player->replaceCurrentItem(std::nullopt);
  }
  if (playerView_) playerView_->setPlayer(nullptr);
  if (isExporting_) cancelExport();
  setExportTimer(nullptr);
  asset_.reset();
  fileURL_.reset();
  exportSession_.reset();
}

// ---- metadata ----

void VideoTrimmerViewModel::loadRecordingMetadata() {
  if (!fileURL_) return;
  const double movieSeconds = asset_ ? asset_->duration().seconds() : 0.0;
  // Found, read, checked, decoded and converted on a worker; published here only if the model still
  // exists. A document that cannot be read is reported once, in metadataProblem.
  struct Outcome {
    std::optional<RecordingMetadata> metadata;
    std::optional<std::string> problem;
  };
  [](QPointer<VideoTrimmerViewModel> self, std::filesystem::path movie, double seconds) -> QCoro::Task<void> {
    // Named before it is awaited (see onWorker).
    auto work = [movie, seconds]() -> Outcome {
      const auto location = findRecordingMetadata(movie);
      if (!location) return {};
      std::string why;
      try {
        return {convertLegacyZoom(checkedRecordingMetadata(readRecordingMetadata(*location), seconds)), {}};
      } catch (const Error& error) {
        why = error.localizedDescription();
      } catch (const std::exception& error) {
        why = error.what();
      }
      Diagnostics::line("⚠️ Failed to load metadata: " + why);
      return {std::nullopt, "The recording's zoom and cursor data (" + location->filename().string() +
                                ") could not be read, so the movie opens without them: " + why};
    };
    Outcome outcome = co_await onWorker(std::move(work));
    if (!self) co_return;
    if (outcome.metadata) self->publishMetadata(std::move(*outcome.metadata));
    if (outcome.problem && !self->metadataProblem_) {
      self->metadataProblem_ = std::move(outcome.problem);
      emit self->metadataProblemChanged();
    }
  }(this, *fileURL_, movieSeconds);
}

void VideoTrimmerViewModel::publishMetadata(RecordingMetadata metadata) {
  metadata_ = std::move(metadata);
  emit metadataChanged();
  zoomKeyframes_ = metadata_->zoomKeyframes;
  emit zoomKeyframesChanged();
  zoomSegments_ = metadata_->zoomSegments;
  emit zoomSegmentsChanged();
  const auto& positions = metadata_->cursorPositions;
  if (!positions.empty())
    Diagnostics::line("📍 Loaded " + formatInt(static_cast<long long>(positions.size())) +
                      " cursor positions spanning " + twoDecimals(positions.front().timestamp) + "s to " +
                      twoDecimals(positions.back().timestamp) + "s");
  else
    Diagnostics::line("⚠️ No cursor positions in metadata!");
  const auto& clicks = metadata_->cursorClicks;
  if (!clicks.empty()) {
    Diagnostics::line("🖱️ Loaded " + formatInt(static_cast<long long>(clicks.size())) + " click events");
    for (size_t i = 0; i < std::min<size_t>(3, clicks.size()); ++i)
      Diagnostics::line("   Click " + formatInt(static_cast<long long>(i + 1)) + ": " +
                        std::string(rawValue(clicks[i].clickType)) + " at " +
                        twoDecimals(clicks[i].timestamp) + "s");
  } else {
    Diagnostics::line("⚠️ No click events in metadata!");
  }
  if (!zoomSegments_.empty())
    Diagnostics::line("📍 Loaded " + formatInt(static_cast<long long>(zoomSegments_.size())) +
                      " zoom segments");
}

RecordingMetadata VideoTrimmerViewModel::convertLegacyZoomToSegments(RecordingMetadata metadata) {
  return convertLegacyZoom(std::move(metadata));
}

// ---- zoom editing ----

double VideoTrimmerViewModel::itemSeconds() const {
  MediaPlayer* player = this->player();
  if (!player || !player->hasItem()) return 0;
  const MediaTime duration = player->itemDuration();
  return duration.isValid() ? duration.seconds() : 0;
}

ZoomSegment* VideoTrimmerViewModel::editableZoomSegment(const QUuid& id) {
  // Found first, so that asking for a segment that is not there leaves the shared list alone.
  const auto found = findById(zoomSegments_, id);
  if (found == zoomSegments_.end()) return nullptr;
  const auto position = static_cast<size_t>(found - zoomSegments_.begin());
  return &zoomSegments_.edit()[position];
}

void VideoTrimmerViewModel::sortZoomSegments() {
  auto& segments = zoomSegments_.edit();
  std::stable_sort(segments.begin(), segments.end(),
                   [](const ZoomSegment& a, const ZoomSegment& b) { return a.startTime < b.startTime; });
}

void VideoTrimmerViewModel::syncZoomKeyframesToMetadata() {
  if (!metadata_) return;
  metadata_->zoomKeyframes = zoomKeyframes_;
  emit metadataChanged();
}

void VideoTrimmerViewModel::syncZoomSegmentsToMetadata() {
  if (!metadata_) return;
  metadata_->zoomSegments = zoomSegments_;
  emit metadataChanged();
}

void VideoTrimmerViewModel::updateZoomKeyframe(const ZoomKeyframe& keyframe) {
  auto it = findById(zoomKeyframes_, keyframe.id);
  if (it == zoomKeyframes_.end()) return;
  *it = keyframe;
  std::stable_sort(zoomKeyframes_.begin(), zoomKeyframes_.end(),
                   [](const ZoomKeyframe& a, const ZoomKeyframe& b) { return a.time < b.time; });
  emit zoomKeyframesChanged();
  syncZoomKeyframesToMetadata();
}

QUuid VideoTrimmerViewModel::addZoomSegment(double startTime, double length, double zoomLevel) {
  double start = std::max(startTime, 0.0);
  const double total = itemSeconds();
  // Too near the end for the least length: start earlier rather than run past the movie.
  if (total > 0) start = std::max(std::min(start, total - kMinimumZoomLength), 0.0);
  double end = start + length;
  if (total > 0) end = std::min(total, start + length);
  if (end - start < kMinimumZoomLength) end = start + kMinimumZoomLength;
  ZoomSegment segment;
  segment.startTime = start;
  segment.endTime = end;
  segment.zoomLevel = std::clamp(zoomLevel, 1.0, 3.0);
  segment.easeIn = 0.8;
  segment.easeOut = 0.8;
  segment.easing = EasingFunction::easeInOut;
  segment.panSmoothing = 0.75;
  segment.deadZone = 0.06;
  zoomSegments_.push_back(segment);
  sortZoomSegments();
  emit zoomSegmentsChanged();
  syncZoomSegmentsToMetadata();
  Diagnostics::line("🔍 Added zoom segment: " + twoDecimals(start) + "s - " + twoDecimals(end) + "s @ " +
                    formatDouble(zoomLevel) + "x");
  return segment.id;
}

void VideoTrimmerViewModel::updateZoomSegment(const ZoomSegment& segment) {
  ZoomSegment* it = editableZoomSegment(segment.id);
  if (!it) return;
  ZoomSegment copy = segment;
  copy.zoomLevel = std::clamp(copy.zoomLevel, 1.0, 3.0);
  copy.easeIn = std::clamp(copy.easeIn, 0.05, 2.0);
  copy.easeOut = std::clamp(copy.easeOut, 0.05, 2.0);
  if (copy.endTime - copy.startTime < kMinimumZoomLength) copy.endTime = copy.startTime + kMinimumZoomLength;
  *it = copy;
  sortZoomSegments();
  emit zoomSegmentsChanged();
  syncZoomSegmentsToMetadata();
}

void VideoTrimmerViewModel::moveZoomSegment(const QUuid& id, double newStart) {
  ZoomSegment* it = editableZoomSegment(id);
  if (!it) return;
  const double length = it->endTime - it->startTime;
  double start = std::max(newStart, 0.0);
  double end = start + length;
  const double total = itemSeconds();
  if (total > 0 && total < end) {
    start = std::max(total - length, 0.0);
    end = total;
  }
  it->startTime = start;
  it->endTime = end;
  sortZoomSegments();
  emit zoomSegmentsChanged();
  syncZoomSegmentsToMetadata();
}

void VideoTrimmerViewModel::updateZoomSegmentStart(const QUuid& id, double time) {
  ZoomSegment* it = editableZoomSegment(id);
  if (!it) return;
  it->startTime = std::min(std::max(time, 0.0), it->endTime - kMinimumZoomLength);
  sortZoomSegments();
  emit zoomSegmentsChanged();
  syncZoomSegmentsToMetadata();
}

void VideoTrimmerViewModel::updateZoomSegmentEnd(const QUuid& id, double time) {
  ZoomSegment* it = editableZoomSegment(id);
  if (!it) return;
  const double total = itemSeconds();
  const double end = total > 0 ? std::min(total, time) : time;
  it->endTime = std::max(end, it->startTime + kMinimumZoomLength);
  emit zoomSegmentsChanged();
  syncZoomSegmentsToMetadata();
}

}  // namespace tk
