#include "editor/StudioEditorViewModel.h"

#include <QPointer>

#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/FileManager.h"

namespace tk {

StudioEditorViewModel::StudioEditorViewModel(QObject* parent)
    : QObject(parent), reveal_([](const std::filesystem::path& file) { FileManager::reveal(file); }) {}

StudioEditorViewModel::~StudioEditorViewModel() = default;

void StudioEditorViewModel::setLoading(bool value) {
  isLoading_ = value;
  emit changed();
}

void StudioEditorViewModel::loadVideo(const std::filesystem::path& url) {
  if (isDestroyed_) return;
  Diagnostics::line("📹 Loading video: " + url.filename().string());
  isLoading_ = true;
  errorMessage_.reset();
  player_ = std::make_unique<MediaPlayer>();
  connect(player_.get(), &MediaPlayer::statusChanged, this, &StudioEditorViewModel::onPlayerStatus);
  player_->replaceCurrentItem(url);
  emit changed();
}

void StudioEditorViewModel::onPlayerStatus(MediaPlayer::Status status) {
  if (status == MediaPlayer::Status::unknown) return;
  if (status == MediaPlayer::Status::failed || !player_->itemDuration().isValid()) {
    // A failed load changes nothing else.
    setLoading(false);
    return;
  }
  const MediaTime length = player_->itemDuration();
  duration_ = length.seconds();
  Diagnostics::line("✅ Video loaded - Duration: " + formatDouble(duration_) + "s");
  segments_ = {TimelineSegment{QUuid::createUuid(), {MediaTime::zero(), length}, true}};
  setLoading(false);
}

void StudioEditorViewModel::play() {
  if (isDestroyed_ || !player_) return;
  player_->play();
  isPlaying_ = true;
  Diagnostics::line("▶️ Playing");
  emit changed();
}

void StudioEditorViewModel::pause() {
  if (isDestroyed_ || !player_) return;
  player_->pause();
  isPlaying_ = false;
  Diagnostics::line("⏸️ Paused");
  emit changed();
}

void StudioEditorViewModel::splitSegment(double time) {
  auto it = std::find_if(segments_.begin(), segments_.end(), [&](const TimelineSegment& s) {
    return s.timeRange.start.seconds() <= time && time < s.timeRange.end().seconds();
  });
  if (it == segments_.end()) {
    Diagnostics::line("⚠️ No segment found at time " + formatDouble(time));
    return;
  }
  const MediaTime split = MediaTime::fromSeconds(time, 600);
  const MediaTime start = it->timeRange.start, end = it->timeRange.end();
  if (!split.isValid() || !(split > start) || !(split < end)) {
    Diagnostics::line("⚠️ Split time outside valid range");
    return;
  }
  const bool active = it->isActive;
  TimelineSegment first{QUuid::createUuid(), {start, split - start}, active};
  TimelineSegment second{QUuid::createUuid(), {split, end - split}, active};
  *it = first;
  segments_.insert(it + 1, second);
  Diagnostics::line("✂️ Split segment at " + formatDouble(time) + "s");
  emit changed();
}

void StudioEditorViewModel::toggleSegment(const QUuid& id) {
  auto it =
      std::find_if(segments_.begin(), segments_.end(), [&](const TimelineSegment& s) { return s.id == id; });
  if (it == segments_.end()) return;
  it->isActive = !it->isActive;
  Diagnostics::line("🔄 Toggled segment " + std::to_string(it - segments_.begin()) + " to " +
                    (it->isActive ? "Active" : "Inactive"));
  emit changed();
}

void StudioEditorViewModel::exportVideo(const std::filesystem::path& outputURL) {
  if (!player_ || !player_->hasItem() || !player_->asset()) {
    errorMessage_ = "No video to export";
    emit changed();
    return;
  }
  isExporting_ = true;
  errorMessage_.reset();
  exportProgress_ = 0;
  emit changed();

  const MediaAsset asset = *player_->asset();
  const std::vector<TimelineSegment> segments = segments_;
  [](QPointer<StudioEditorViewModel> self, MediaAsset asset, std::vector<TimelineSegment> segments,
     std::filesystem::path output) -> QCoro::Task<void> {
    const auto endWith = [&](const std::optional<std::string>& message) {
      if (!self) return;
      self->isExporting_ = false;
      if (message) self->errorMessage_ = message;
      emit self->changed();
      emit self->exportFinished();
    };
    // A source without sound exports a movie without a sound track; one without a picture is refused.
    const MediaTrack* sourceVideo = asset.firstTrack(MediaKind::video);
    const MediaTrack* sourceAudio = asset.firstTrack(MediaKind::audio);
    auto composition = std::make_shared<MutableComposition>();
    CompositionTrack* video = composition->addMutableTrack(MediaKind::video);
    CompositionTrack* audio = sourceAudio ? composition->addMutableTrack(MediaKind::audio) : nullptr;
    if (!video || (sourceAudio && !audio))
      co_return endWith("Export error: Failed to create composition tracks");
    if (!sourceVideo) co_return endWith("Export error: Failed to load source tracks");
    MediaTime at = MediaTime::zero();
    try {
      for (const auto& segment : segments) {
        if (!segment.isActive || !(segment.timeRange.duration > MediaTime::zero())) continue;
        video->insertTimeRange(segment.timeRange, asset.url(), *sourceVideo, at);
        if (audio) audio->insertTimeRange(segment.timeRange, asset.url(), *sourceAudio, at);
        at = at + segment.timeRange.duration;
      }
    } catch (const Error& e) {
      co_return endWith("Export error: " + e.localizedDescription());
    }
    auto session = std::make_shared<AssetExportSession>(composition);
    session->setOutputURL(output);
    session->setOutputFileType(ContainerFormat::mov);
    session->setShouldOptimizeForNetworkUse(true);
    Diagnostics::line("🚀 Starting export to " + output.string());
    co_await session->exportAsync();
    switch (session->status()) {
      case AssetExportSession::Status::completed:
        Diagnostics::line("✅ Export completed successfully");
        endWith(std::nullopt);
        // A name taken while the export ran sends the movie to the next free one: show that file.
        if (self && self->reveal_) self->reveal_(session->finalURL());
        break;
      case AssetExportSession::Status::failed: {
        const auto error = session->error();
        const std::string text = error ? error->localizedDescription() : "Unknown error";
        Diagnostics::line("❌ Export failed: " + text);
        endWith("Export failed: " + text);
        break;
      }
      case AssetExportSession::Status::cancelled:
        Diagnostics::line("⚠️ Export cancelled");
        endWith(std::nullopt);
        break;
      default:
        Diagnostics::line("⚠️ Export finished with status: " +
                          std::to_string(static_cast<int>(session->status())));
        endWith(std::nullopt);
    }
  }(this, asset, segments, outputURL);
}

void StudioEditorViewModel::destroy() {
  if (isDestroyed_) {
    Diagnostics::line("⚠️ Already destroyed");
    return;
  }
  Diagnostics::line("🗑️ Destroying StudioEditorViewModel");
  isDestroyed_ = true;
  if (player_) player_->pause();
  player_.reset();
  Diagnostics::line("✅ StudioEditorViewModel destroyed");
  emit changed();
}

}  // namespace tk
