// The editor view model's two export operations. They are members of VideoTrimmerViewModel, declared
// in editor/VideoTrimmerViewModel.h and defined here, so that tk_editor never links tk_export.

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "editor/LegacyZoomConversion.h"
#include "editor/VideoTrimmerViewModel.h"
#include "export/AdvancedVideoExporter.h"
#include "export/ExportDestination.h"
#include "export/ExportError.h"
#include "export/ExportSessionHandle.h"
#include "export/MergedTimeline.h"
#include "export/RoundedCameraCompositionInstruction.h"
#include "export/RoundedCameraCompositor.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"

namespace tk {
namespace {

constexpr const char* kDomain = "VideoTrimmer";

std::shared_ptr<const Error> trimmerError(const std::string& text) {
  return std::make_shared<PlatformError>(kDomain, -1, text);
}

// Runs `work` on the main thread, after the caller's current work.
void onMain(std::function<void()> work) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

std::string lowerExtension(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

void VideoTrimmerViewModel::exportAdvancedVideo(CameraExportSettings cameraSettings, double videoPadding,
                                                double videoCornerRadius, OutputAspectRatio outputAspectRatio,
                                                bool verticalStack, double screenShadowOpacity,
                                                double screenShadowRadius, double cameraShadowOpacity,
                                                double cameraShadowRadius, ExportCompletion completion) {
  if (!asset_ || !fileURL_) {
    if (completion) completion(ExportResult::failure(trimmerError("No video loaded")));
    return;
  }
  setIsExporting(true);
  setExportProgress(0);
  auto destination = ExportDestination::reserve(*fileURL_, "Edited", "mp4");

  if (!metadata_) {
    RecordingMetadata fallback;
    fallback.duration = itemSeconds();
    if (const MediaTrack* video = asset_->firstTrack(MediaKind::video))
      fallback.resolution = QSizeF(video->width, video->height);
    else
      fallback.resolution = QSizeF(0, 0);
    fallback.frameRate = 60;
    metadata_ = std::move(fallback);
    emit metadataChanged();
  }
  // The keyframes are written into the model's metadata in place, and the export takes the one copy
  // it needs: with a million zoom segments every copy is tens of megabytes.
  metadata_->zoomKeyframes = zoomKeyframes_;
  if (metadata_->zoomKeyframes.empty() && !metadata_->zoomEvents.empty()) {
    for (const auto& event : metadata_->zoomEvents)
      metadata_->zoomKeyframes.push_back(keyframeFromEvent(event));
  }
  emit metadataChanged();
  RecordingMetadata copy = *metadata_;

  Diagnostics::line("🎬 Exporting with zoomKeyframes=" + std::to_string(copy.zoomKeyframes.size()) +
                    ", cursorPositions=" + std::to_string(copy.cursorPositions.size()));
  for (size_t i = 0; i < copy.zoomKeyframes.size(); ++i) {
    const auto& k = copy.zoomKeyframes[i];
    Diagnostics::linef("   KF %d: t=%.3fs center=(%.3f,%.3f) level=%.2fx easeIn=%.2f", static_cast<int>(i),
                       k.time, k.center.x(), k.center.y(), k.level, k.easeIn);
  }
  Diagnostics::line("🎨 exportAdvancedVideo - Background settings:");
  Diagnostics::line("   backgroundEnabled: " + boolText(backgroundEnabled_));
  Diagnostics::line("   videoPadding: " + formatDouble(videoPadding));
  Diagnostics::line("   videoCornerRadius: " + formatDouble(videoCornerRadius));
  Diagnostics::line("   outputAspectRatio: " + std::string(rawValue(outputAspectRatio)));
  Diagnostics::line("   verticalStack: " + boolText(verticalStack));

  const OutputAspectRatio effective = verticalStack ? OutputAspectRatio::ratio9x16 : outputAspectRatio;
  // Around a picture the ratio widens, the preview shows the background even while it is off; so
  // does the export.
  std::optional<BackgroundSettings> background;
  if (backgroundEnabled_ || effective != OutputAspectRatio::original) background = backgroundSettings_;

  // The exporter reports from its own thread; the model is touched again only here, if it lives.
  auto handle = std::make_shared<ExportSessionHandle>();
  setExportSession(handle);
  // The session's progress, every 0.1 s until the export ends (the model owns the timer).
  auto* timer = new QTimer();
  timer->setInterval(100);
  QObject::connect(timer, &QTimer::timeout, this, [this, handle] {
    if (exportSession() == handle) setExportProgress(handle->progress());
  });
  setExportTimer(timer);
  timer->start();
  QPointer<VideoTrimmerViewModel> self(this);
  auto finish = [self, handle, completion, token = destination.token](ExportResult result) {
    onMain([self, handle, completion, result = std::move(result)] {
      // Only the export the model holds ends the exporting state: a cancelled one that ends after the
      // next has started leaves the new one alone.
      if (self && self->exportSession() == handle) {
        self->setExportTimer(nullptr);
        if (result.succeeded()) self->setExportProgress(1.0);
        self->setIsExporting(false);
        self->setExportSession(nullptr);
      }
      if (completion) completion(result);
    });
  };
  // The camera layer's header is read off the main thread; one that cannot be read is no camera.
  [](MediaAsset source, std::optional<std::filesystem::path> cameraURL, OutputAspectRatio ratio,
     RecordingMetadata metadata, CameraExportSettings camera, bool stack, CursorOverlaySettings cursor,
     std::optional<BackgroundSettings> background, bool backgroundEnabled, std::array<double, 6> look,
     std::filesystem::path output, std::shared_ptr<ExportSessionHandle> handle,
     std::function<void(ExportResult)> finish) -> QCoro::Task<void> {
    // Made outside the co_await expression: temporaries inside one are not safe with this compiler.
    auto loading = onWorker([cameraURL]() -> std::optional<MediaAsset> {
      if (!cameraURL) return std::nullopt;
      try {
        return MediaAsset::load(*cameraURL);
      } catch (const Error&) {
        return std::nullopt;
      }
    });
    std::optional<MediaAsset> cameraAsset = co_await loading;
    if (handle->isCancelled()) {
      finish(ExportResult::failure(std::make_shared<ExportError>(ExportError::Kind::cancelled)));
      co_return;
    }
    AdvancedVideoExporter::exportVideo(std::move(source), ratio, std::move(cameraAsset), std::move(metadata),
                                       camera, stack, std::move(cursor), std::move(background),
                                       backgroundEnabled, look[0], look[1], look[2], look[3], look[4],
                                       look[5], std::move(output), std::move(finish), handle);
  }(*asset_, cameraURL_, effective, std::move(copy), cameraSettings, verticalStack, cursorOverlaySettings_,
                                               background, backgroundEnabled_,
                                               {videoPadding, videoCornerRadius, screenShadowOpacity,
                                                screenShadowRadius, cameraShadowOpacity, cameraShadowRadius},
                                               destination.url, handle, std::move(finish));
}

void VideoTrimmerViewModel::exportMergedVideo(
    MediaAsset asset, std::vector<VideoSegment> segments, std::filesystem::path fileURL,
    ZoomSegmentList zoomSegments, CursorOverlaySettings cursorOverlaySettings,
    std::optional<RecordingMetadata> metadata, bool backgroundEnabled, BackgroundSettings backgroundSettings,
    double videoPadding, double videoCornerRadius, double screenShadowOpacity, double screenShadowRadius,
    double cameraShadowOpacity, double cameraShadowRadius, ExportCompletion completion) {
  auto handle = std::make_shared<ExportSessionHandle>();
  setExportSession(handle);
  [](QPointer<VideoTrimmerViewModel> self, MediaAsset asset, std::vector<VideoSegment> segments,
     std::filesystem::path fileURL, ZoomSegmentList zoomSegments, CursorOverlaySettings cursor,
     std::optional<RecordingMetadata> metadata, bool backgroundEnabled, BackgroundSettings background,
     std::array<double, 6> look, std::shared_ptr<ExportSessionHandle> handle,
     ExportCompletion completion) -> QCoro::Task<void> {
    const auto fail = [&](std::shared_ptr<const Error> error) {
      if (self && self->exportSession() == handle) {
        self->setIsExporting(false);
        self->setExportSession(nullptr);
      }
      if (completion) completion(ExportResult::failure(std::move(error)));
    };
    // A source without sound (recorded with system audio and microphone off) merges without any.
    const MediaTrack* sourceVideo = asset.firstTrack(MediaKind::video);
    const MediaTrack* sourceAudio = asset.firstTrack(MediaKind::audio);
    if (!sourceVideo) co_return fail(trimmerError("Failed to load source tracks"));
    if (sourceVideo->width <= 0 || sourceVideo->height <= 0)
      co_return fail(trimmerError("Failed to load source tracks"));

    // Kept spans of no length add nothing and are skipped; the others are laid end to end.
    const MergedTimeline timeline(segments);
    auto composition = std::make_shared<MutableComposition>();
    CompositionTrack* videoTrack = composition->addMutableTrack(MediaKind::video);
    CompositionTrack* audioTrack = sourceAudio ? composition->addMutableTrack(MediaKind::audio) : nullptr;
    if (!videoTrack || (sourceAudio && !audioTrack))
      co_return fail(trimmerError("Failed to create composition tracks"));
    MediaTime at = MediaTime::zero();
    try {
      for (const auto& segment : segments) {
        const MediaTimeRange range{segment.startTime, segment.endTime - segment.startTime};
        if (!(range.duration > MediaTime::zero())) continue;
        videoTrack->insertTimeRange(range, asset.url(), *sourceVideo, at);
        if (audioTrack) audioTrack->insertTimeRange(range, asset.url(), *sourceAudio, at);
        at = at + range.duration;
      }
    } catch (const PlatformError& e) {
      co_return fail(std::make_shared<PlatformError>(e));
    }
    if (!(at > MediaTime::zero())) co_return fail(trimmerError("No active segments to export"));

    const std::string extension = lowerExtension(fileURL);
    auto destination = ExportDestination::reserve(fileURL, "Merged", extension);
    const bool hasZoom = !zoomSegments.empty();
    const bool hasCursorOverlay = cursor.enabled && metadata && !metadata->cursorPositions.empty();
    std::shared_ptr<VideoComposition> videoComposition;
    if (!(backgroundEnabled || hasZoom || hasCursorOverlay)) {
      Diagnostics::line("⚠️ No custom compositor needed (bgEnabled: " + boolText(backgroundEnabled) +
                        ", hasZoom: false, hasCursorOverlay: false)");
    } else {
      Diagnostics::line("🎨 Setting up custom compositor for export:");
      Diagnostics::line("   backgroundEnabled: " + boolText(backgroundEnabled));
      Diagnostics::line("   hasZoom: " + boolText(hasZoom));
      Diagnostics::line("   hasCursorOverlay: " + boolText(hasCursorOverlay));
      // This export's own settings: written and copied in one step, so another export cannot mix in.
      // Zoom, cursor and clicks move onto the merged movie's clock, where the compositor looks them up.
      auto own = RoundedCameraCompositorSettings::update([&](RoundedCameraCompositorSettings& shared) {
        shared.cameraSettings = CameraExportSettings{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::squircle};
        shared.zoomSegments = timeline.zoomSegments(zoomSegments);
        shared.cameraNaturalSize = QSizeF(0, 0);
        shared.cursorPositions =
            metadata ? timeline.cursorPositions(metadata->cursorPositions) : std::vector<CursorPosition>{};
        shared.cursorOverlaySettings = cursor;
        shared.clickEvents = metadata ? timeline.clicks(metadata->cursorClicks) : std::vector<CursorClick>{};
        shared.backgroundSettings = background;
        shared.backgroundEnabled = backgroundEnabled;
        shared.videoPadding = look[0];
        shared.videoCornerRadius = look[1];
        shared.screenShadowOpacity = look[2];
        shared.screenShadowRadius = look[3];
        shared.cameraShadowOpacity = look[4];
        shared.cameraShadowRadius = look[5];
      });
      videoComposition = std::make_shared<VideoComposition>();
      videoComposition->renderSize = QSize(sourceVideo->width, sourceVideo->height);
      videoComposition->frameDuration = MediaTime(1, 60);
      const std::vector<int32_t> trackIDs{videoTrack->trackID()};
      videoComposition->instructions = {std::make_shared<RoundedCameraCompositionInstruction>(
          MediaTimeRange{MediaTime::zero(), at}, trackIDs, std::move(own))};
      videoComposition->customVideoCompositor = RoundedCameraCompositor::factory();
      Diagnostics::line("   ✅ Video composition created with custom compositor");
    }

    auto session = std::make_shared<AssetExportSession>(composition);
    session->setOutputURL(destination.url);
    session->setOutputFileType(extension == "mp4" ? ContainerFormat::mp4 : ContainerFormat::mov);
    session->setShouldOptimizeForNetworkUse(true);
    session->setVideoComposition(videoComposition);
    handle->attach(session);

    if (self) {
      // Progress every 0.1 s while the session exports; the timer holds the model weakly.
      auto* timer = new QTimer();
      timer->setInterval(100);
      QObject::connect(timer, &QTimer::timeout, timer, [self, timer, session] {
        if (!self) return timer->stop();
        self->setExportProgress(session->progress());
        const auto status = session->status();
        if (status != AssetExportSession::Status::exporting &&
            status != AssetExportSession::Status::waiting) {
          timer->stop();
          QMetaObject::invokeMethod(
              self,
              [self, timer] {
                if (self && self->exportTimer() == timer) self->setExportTimer(nullptr);
              },
              Qt::QueuedConnection);
        }
      });
      self->setExportTimer(timer);
      timer->start();
    }

    Diagnostics::line("🚀 Starting merged export to " + destination.url.string());
    co_await session->exportAsync();

    const auto status = session->status();
    if (self && self->exportSession() == handle) {
      self->setExportTimer(nullptr);
      self->setIsExporting(false);
      if (status != AssetExportSession::Status::cancelled) self->setExportProgress(1.0);
      self->setExportSession(nullptr);
    }
    // Only a completed export is a success.
    if (status == AssetExportSession::Status::completed) {
      Diagnostics::line("✅ Merged video exported successfully");
      if (completion)
        completion(ExportResult::success(session->finalURL(), shortSourceNote(*session, at.seconds())));
    } else if (status == AssetExportSession::Status::cancelled) {
      if (completion) completion(ExportResult::failure(trimmerError("Export cancelled")));
    } else {
      auto error = session->error();
      if (completion)
        completion(ExportResult::failure(error ? std::make_shared<PlatformError>(*error)
                                               : trimmerError("The export did not complete")));
    }
  }(this, std::move(asset), std::move(segments), std::move(fileURL), std::move(zoomSegments),
                                  std::move(cursorOverlaySettings), std::move(metadata), backgroundEnabled,
                                  std::move(backgroundSettings),
                                  {videoPadding, videoCornerRadius, screenShadowOpacity, screenShadowRadius,
                                   cameraShadowOpacity, cameraShadowRadius},
                                  handle, std::move(completion));
}

}  // namespace tk
