#include "export/AdvancedVideoExporter.h"

#include <QtConcurrent/QtConcurrentRun>
#include <cmath>

#include "export/ExportError.h"
#include "export/ExportZoomTransforms.h"
#include "export/RoundedCameraCompositionInstruction.h"
#include "export/RoundedCameraCompositor.h"
#include "platform/qt/Diagnostics.h"

namespace tk {
namespace {

std::string sizeText(QSizeF s) {
  return "(" + formatDouble(s.width()) + ", " + formatDouble(s.height()) + ")";
}

struct Inputs {
  MediaAsset source;
  OutputAspectRatio ratio;
  std::optional<MediaAsset> camera;
  std::optional<RecordingMetadata> metadata;
  CameraExportSettings cameraSettings;
  bool verticalStack;
  CursorOverlaySettings cursor;
  std::optional<BackgroundSettings> background;
  bool backgroundEnabled;
  double padding, cornerRadius, screenShadowOpacity, screenShadowRadius, cameraShadowOpacity,
      cameraShadowRadius;
  std::filesystem::path outputURL;
};

// What the person is told when the canvas was made smaller than the look asked for.
std::optional<std::string> scaledCanvasNote(QSize wanted, QSize made) {
  return "The movie is " + std::to_string(made.width()) + " × " + std::to_string(made.height()) +
         " pixels rather than " + std::to_string(wanted.width()) + " × " + std::to_string(wanted.height()) +
         ": an H.264 movie holds at most " + std::to_string(AdvancedVideoExporter::kMaxCanvasSide) +
         " pixels on a side and " + std::to_string(AdvancedVideoExporter::kMaxCanvasMacroblocks) +
         " blocks of 16 × 16 pixels, so the picture was scaled down, keeping its shape.";
}

std::optional<std::string> joinedNotes(std::optional<std::string> first, std::optional<std::string> second) {
  if (!first) return second;
  if (second) *first += "\n\n" + *second;
  return first;
}

std::shared_ptr<const Error> failure(ExportError::Kind kind,
                                     std::shared_ptr<const Error> underlying = nullptr) {
  return std::make_shared<ExportError>(kind, std::move(underlying));
}

ExportResult runExport(const Inputs& in, ExportSessionHandle& handle) {
  auto composition = std::make_shared<MutableComposition>();
  const MediaTrack* sourceVideo = in.source.firstTrack(MediaKind::video);
  if (!sourceVideo) return ExportResult::failure(failure(ExportError::Kind::invalidAssets));
  // A recording made without system audio or microphone has no sound: it exports without any.
  const MediaTrack* sourceAudio = in.source.firstTrack(MediaKind::audio);
  MediaTime duration = in.source.duration();
  // The container's duration is rounded on its own clock while the picture's end is exact: within a
  // frame of each other, the picture's end is the movie's (or a two-frame movie gains a third).
  const MediaTime pictureEnd = sourceVideo->start + sourceVideo->duration;
  if (pictureEnd > MediaTime::zero() && pictureEnd < duration &&
      (duration - pictureEnd).seconds() < 1.0 / std::max(sourceVideo->nominalFrameRate, 1.0))
    duration = pictureEnd;
  const QSizeF source(sourceVideo->width, sourceVideo->height);
  // A picture without a size has no canvas: refuse it before one is computed.
  if (!(source.width() > 0) || !(source.height() > 0) || !std::isfinite(source.width()) ||
      !std::isfinite(source.height()) || !(duration > MediaTime::zero()))
    return ExportResult::failure(failure(ExportError::Kind::invalidAssets));
  // A canvas past the encoder's limits is made smaller, and every picture read at that scale, so the
  // rest of the export works at the size it writes.
  const double scale = AdvancedVideoExporter::encoderFitScale(in.ratio, source);
  const QSizeF natural(VideoComposition::scaledSourceSize(source.toSize(), scale));
  const QSize canvas = AdvancedVideoExporter::evenCanvasSize(in.ratio, natural);
  const MediaTimeRange whole{MediaTime::zero(), duration};

  CompositionTrack* screenTrack = composition->addMutableTrack(MediaKind::video);
  screenTrack->insertTimeRange(whole, in.source.url(), *sourceVideo, MediaTime::zero());
  if (sourceAudio)
    if (CompositionTrack* audioTrack = composition->addMutableTrack(MediaKind::audio))
      audioTrack->insertTimeRange(whole, in.source.url(), *sourceAudio, MediaTime::zero());

  CompositionTrack* cameraTrack = nullptr;
  if (in.camera) {
    if (const MediaTrack* cameraVideo = in.camera->firstTrack(MediaKind::video)) {
      cameraTrack = composition->addMutableTrack(MediaKind::video);
      const MediaTime cameraDuration = in.camera->duration();
      const MediaTime d = cameraDuration < duration ? cameraDuration : duration;
      if (cameraTrack)
        cameraTrack->insertTimeRange({MediaTime::zero(), d}, in.camera->url(), *cameraVideo,
                                     MediaTime::zero());
      if (cameraTrack && cameraTrack->segments().empty()) cameraTrack = nullptr;
    }
  }

  auto videoComposition = std::make_shared<VideoComposition>();
  videoComposition->renderSize = canvas;
  videoComposition->frameDuration = MediaTime(1, 60);
  videoComposition->sourceScale = scale;
  auto instruction = std::make_shared<VideoCompositionInstruction>();
  instruction->timeRange = whole;
  VideoCompositionLayerInstruction layer(screenTrack->trackID());
  if (canvas.width() != natural.width() || canvas.height() != natural.height())
    layer.setTransform(AffineTransform::translation((canvas.width() - natural.width()) * 0.5,
                                                    (canvas.height() - natural.height()) * 0.5),
                       MediaTime::zero());
  const RecordingMetadata* meta = in.metadata ? &*in.metadata : nullptr;
  // The zoom works on the picture at its own size and keeps it centred on a larger canvas.
  if (meta && meta->zoomSegments.empty()) {
    if (!meta->zoomKeyframes.empty())
      ExportZoomTransforms::applyZoomKeyframesForExport(layer, meta->zoomKeyframes, &meta->cursorPositions,
                                                        duration.seconds(), QSizeF(canvas), natural);
    else
      ExportZoomTransforms::applyZoomEventsForExport(layer, meta->zoomEvents, duration.seconds(),
                                                     QSizeF(canvas), natural);
  }

  // A backdrop around a widened picture needs the compositor too, unless a zoom is baked into the layer.
  const bool bakedZoom = meta && (!meta->zoomKeyframes.empty() || !meta->zoomEvents.empty());
  const bool backdrop = in.background && canvas != natural.toSize() && !bakedZoom;
  const bool useCompositor = cameraTrack || (meta && !meta->zoomSegments.empty()) || in.backgroundEnabled ||
                             (in.cursor.enabled && meta && !meta->cursorPositions.empty()) || backdrop;
  if (!useCompositor) {
    instruction->layerInstructions = {layer};
    videoComposition->instructions = {instruction};
  } else {
    std::vector<int32_t> trackIDs{screenTrack->trackID()};
    QSizeF cameraSize(0, 0);
    if (cameraTrack) {
      cameraSize = QSizeF(VideoComposition::scaledSourceSize(cameraTrack->naturalSize(), scale));
      Diagnostics::line("📹 Camera track setup:");
      Diagnostics::line("   camNaturalSize=" + sizeText(cameraSize));
      Diagnostics::line("   screenTrackID=" + std::to_string(screenTrack->trackID()));
      Diagnostics::line("   cameraTrackID=" + std::to_string(cameraTrack->trackID()));
      Diagnostics::line("   cameraSettings: center=(" + formatDouble(in.cameraSettings.centerNormalized.x()) +
                        ", " + formatDouble(in.cameraSettings.centerNormalized.y()) +
                        ") width=" + formatDouble(in.cameraSettings.widthFraction));
      Diagnostics::line("   renderSize=" + sizeText(QSizeF(canvas)) + ", originalSize=" + sizeText(natural));
      Diagnostics::line("   verticalStack=" + boolText(in.verticalStack));
      trackIDs.push_back(cameraTrack->trackID());
      Diagnostics::line("   trackIDs for compositor: [" + std::to_string(trackIDs[0]) + ", " +
                        std::to_string(trackIDs[1]) + "]");
    }
    // This export's own settings: written and copied in one step, so another export cannot mix in.
    auto own = RoundedCameraCompositorSettings::update([&](RoundedCameraCompositorSettings& shared) {
      shared.cameraNaturalSize = cameraSize;
      if (cameraTrack) {
        shared.outputAspectRatio = in.ratio;
        shared.originalVideoSize = natural;
        shared.verticalStack = in.verticalStack;
      }
      shared.cameraSettings = in.cameraSettings;
      shared.zoomSegments = meta ? meta->zoomSegments : ZoomSegmentList{};
      shared.cursorPositions = meta ? meta->cursorPositions : std::vector<CursorPosition>{};
      shared.cursorOverlaySettings = in.cursor;
      shared.clickEvents = meta ? meta->cursorClicks : std::vector<CursorClick>{};
      shared.backgroundSettings = in.background;
      shared.backgroundEnabled = in.backgroundEnabled;
      shared.videoPadding = in.padding;
      shared.videoCornerRadius = in.cornerRadius;
      shared.screenShadowOpacity = in.screenShadowOpacity;
      shared.screenShadowRadius = in.screenShadowRadius;
      shared.cameraShadowOpacity = in.cameraShadowOpacity;
      shared.cameraShadowRadius = in.cameraShadowRadius;
    });
    videoComposition->instructions = {
        std::make_shared<RoundedCameraCompositionInstruction>(whole, trackIDs, std::move(own))};
    videoComposition->customVideoCompositor = RoundedCameraCompositor::factory();
  }

  auto session = std::make_shared<AssetExportSession>(composition);
  session->setOutputURL(in.outputURL);
  session->setOutputFileType(ContainerFormat::mp4);
  session->setVideoComposition(videoComposition);
  handle.attach(session);
  session->exportSynchronously();
  switch (session->status()) {
    case AssetExportSession::Status::completed:
      return ExportResult::success(
          session->finalURL(),
          joinedNotes(scale < 1
                          ? scaledCanvasNote(AdvancedVideoExporter::evenCanvasSize(in.ratio, source), canvas)
                          : std::nullopt,
                      shortSourceNote(*session, duration.seconds())));
    case AssetExportSession::Status::cancelled:
      return ExportResult::failure(failure(ExportError::Kind::cancelled));
    default: {
      auto error = session->error();
      return ExportResult::failure(failure(ExportError::Kind::exportFailed,
                                           error ? std::make_shared<PlatformError>(*error) : nullptr));
    }
  }
}

}  // namespace

QSize AdvancedVideoExporter::evenCanvasSize(OutputAspectRatio ratio, QSizeF natural) {
  const QSizeF canvas = AspectRatio::outputCanvasSize(ratio, natural);
  const auto even = [](double v) { return 2 * static_cast<int>(std::ceil(v / 2 - 1e-9)); };
  return {even(canvas.width()), even(canvas.height())};
}

bool AdvancedVideoExporter::fitsEncoder(QSize canvas) {
  const int64_t blocks = int64_t{(canvas.width() + 15) / 16} * ((canvas.height() + 15) / 16);
  return canvas.width() <= kMaxCanvasSide && canvas.height() <= kMaxCanvasSide &&
         blocks <= kMaxCanvasMacroblocks;
}

double AdvancedVideoExporter::encoderFitScale(OutputAspectRatio ratio, QSizeF natural) {
  const QSize canvas = evenCanvasSize(ratio, natural);
  if (fitsEncoder(canvas)) return 1;
  const double w = canvas.width(), h = canvas.height();
  double scale =
      std::min(kMaxCanvasSide / std::max(w, h), std::sqrt(kMaxCanvasMacroblocks * 256.0 / (w * h)));
  // The picture's sides round down to even pixels and the canvas's up: step down until it fits.
  const auto fits = [&](double s) {
    return fitsEncoder(
        evenCanvasSize(ratio, QSizeF(VideoComposition::scaledSourceSize(natural.toSize(), s))));
  };
  while (scale > 0.001 && !fits(scale)) scale *= 0.999;
  return scale;
}

std::shared_ptr<ExportSessionHandle> AdvancedVideoExporter::exportVideo(
    MediaAsset sourceAsset, OutputAspectRatio outputAspectRatio, std::optional<MediaAsset> cameraAsset,
    std::optional<RecordingMetadata> metadata, CameraExportSettings cameraSettings, bool verticalStack,
    CursorOverlaySettings cursorOverlaySettings, std::optional<BackgroundSettings> backgroundSettings,
    bool backgroundEnabled, double videoPadding, double videoCornerRadius, double screenShadowOpacity,
    double screenShadowRadius, double cameraShadowOpacity, double cameraShadowRadius,
    std::filesystem::path outputURL, ExportCompletion completion,
    std::shared_ptr<ExportSessionHandle> handle) {
  if (!handle) handle = std::make_shared<ExportSessionHandle>();
  auto inputs = std::make_shared<Inputs>(
      Inputs{std::move(sourceAsset), outputAspectRatio, std::move(cameraAsset), std::move(metadata),
             cameraSettings, verticalStack, std::move(cursorOverlaySettings), std::move(backgroundSettings),
             backgroundEnabled, videoPadding, videoCornerRadius, screenShadowOpacity, screenShadowRadius,
             cameraShadowOpacity, cameraShadowRadius, std::move(outputURL)});
  (void)QtConcurrent::run([inputs, handle, completion = std::move(completion)] {
    ExportResult result;
    try {
      result = runExport(*inputs, *handle);
    } catch (const PlatformError& e) {
      result = ExportResult::failure(std::make_shared<PlatformError>(e));
    } catch (const std::exception& e) {
      result = ExportResult::failure(std::make_shared<PlatformError>("AdvancedVideoExporter", -1, e.what()));
    }
    if (completion) completion(std::move(result));
  });
  return handle;
}

}  // namespace tk
