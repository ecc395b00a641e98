#include "editor_ui/TrimmerActions.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "editor_ui/VideoTrimmerView.h"
#include "export/ExportSessionHandle.h"
#include "platform/media/Error.h"

namespace tk {

namespace {

// Every item of `items` but those with `id`, in their order.
template <typename T>
std::vector<T> withoutId(std::vector<T> items, const QUuid& id) {
  std::erase_if(items, [&](const T& item) { return item.id == id; });
  return items;
}

}  // namespace

QString TrimmerActions::formatPlaybackTime(double t) {
  if (!std::isfinite(t) || t < 0) return QStringLiteral("00:00.00");
  const long long whole = static_cast<long long>(t);
  const long long minutes = whole / 60;
  const long long seconds = whole - 60 * minutes;
  const long long hundredths = static_cast<long long>((t - std::floor(t)) * 100);
  return QString::asprintf("%02lld:%02lld.%02lld", minutes, seconds, hundredths);
}

double TrimmerActions::duration() const {
  MediaPlayer* player = view_.viewModel().player();
  if (!player || !player->hasItem()) return 0;
  const double seconds = player->itemDuration().seconds();
  return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

void TrimmerActions::togglePlayback() {
  MediaPlayer* player = view_.viewModel().player();
  if (!player) return;
  if (!view_.isPlaying()) {
    player->play();
    view_.setIsPlaying(true);
  } else {
    player->pause();
    view_.setIsPlaying(false);
  }
}

void TrimmerActions::seekPlayer(double seconds) {
  MediaPlayer* player = view_.viewModel().player();
  if (!player || !std::isfinite(seconds)) return;
  player->seek(MediaTime::fromSeconds(seconds, 600));  // exact: no tolerance either side
}

void TrimmerActions::addZoomSegmentAtPlayhead() {
  auto& model = view_.viewModel();
  // The segment just added is the one selected, wherever it falls in start order.
  view_.setSelectedZoomSegmentId(model.addZoomSegment(view_.currentTime(), 3.0, 2.0));
}

void TrimmerActions::deleteSelectedZoomSegment(const QUuid& selected) {
  auto& model = view_.viewModel();
  const ZoomSegmentList& before = model.zoomSegments();
  const auto found =
      std::find_if(before.begin(), before.end(), [&](const auto& s) { return s.id == selected; });
  const std::optional<size_t> index =
      found == before.end() ? std::nullopt : std::optional(static_cast<size_t>(found - before.begin()));
  model.setZoomSegments(withoutId(before.items(), selected));
  model.syncZoomSegmentsToMetadata();
  const ZoomSegmentList& segments = model.zoomSegments();
  if (!index) return;
  const size_t n = segments.size();
  if (*index < n)
    view_.setSelectedZoomSegmentId(segments[*index].id);
  else if (n > 0)
    view_.setSelectedZoomSegmentId(segments[n - 1].id);
  else
    view_.setSelectedZoomSegmentId(std::nullopt);
}

void TrimmerActions::deleteZoomKeyframe(const QUuid& id) {
  auto& model = view_.viewModel();
  model.setZoomKeyframes(withoutId(model.zoomKeyframes(), id));
  model.syncZoomKeyframesToMetadata();
  view_.setSelectedZoomKeyframeId(std::nullopt);
}

void TrimmerActions::zoomSegmentEdited(ZoomSegment segment) {
  view_.setSelectedZoomSegmentId(segment.id);
  view_.viewModel().updateZoomSegment(segment);
}

void TrimmerActions::zoomSegmentDeleted(const QUuid& id) {
  auto& model = view_.viewModel();
  model.setZoomSegments(withoutId(model.zoomSegments().items(), id));
  model.syncZoomSegmentsToMetadata();
  view_.setSelectedZoomSegmentId(std::nullopt);
}

void TrimmerActions::zoomKeyframeEdited(ZoomKeyframe keyframe) {
  view_.setSelectedZoomKeyframeId(keyframe.id);
  view_.viewModel().updateZoomKeyframe(keyframe);
}

// ---- exports ----

std::shared_ptr<ExportSessionHandle> TrimmerActions::runningSession() const {
  return std::dynamic_pointer_cast<ExportSessionHandle>(view_.viewModel().exportSession());
}

void TrimmerActions::failLater(int code, const QString& message) {
  QPointer<VideoTrimmerView> view(&view_);
  auto error = std::make_shared<PlatformError>("VideoTrimmer", code, message.toStdString());
  QTimer::singleShot(0, &view_, [this, view, error] {
    if (view) handleExportResult(ExportResult::failure(error), nullptr);
  });
}

void TrimmerActions::exportTrimmedVideo() {
  auto& model = view_.viewModel();
  if (model.isExporting()) return;  // one export at a time
  if (!model.asset() || !model.fileURL()) return failLater(-5, QStringLiteral("Missing video data"));
  std::vector<VideoSegment> kept;
  for (const auto& segment : model.segments())
    if (!segment.isMarkedForDeletion) kept.push_back(segment);
  if (kept.empty()) return failLater(-6, QStringLiteral("No active segments to export"));

  model.setIsExporting(true);
  model.setExportProgress(0);
  const auto& look = view_.appearance();
  QPointer<VideoTrimmerView> view(&view_);
  // The session is known once the call returns; the completion runs later, on the main thread.
  auto session = std::make_shared<std::shared_ptr<ExportSessionHandle>>();
  model.exportMergedVideo(*model.asset(), std::move(kept), *model.fileURL(), model.zoomSegments(),
                          model.cursorOverlaySettings(), model.metadata(), model.backgroundEnabled(),
                          model.backgroundSettings(), look.paddingPixels, look.backgroundCornerRadius,
                          look.screenShadowOpacity, look.screenShadowRadius, look.cameraShadowOpacity,
                          look.cameraShadowRadius, [this, view, session](ExportResult result) {
                            if (view) handleExportResult(result, *session);
                          });
  *session = runningSession();
}

void TrimmerActions::exportAdvanced() {
  auto& model = view_.viewModel();
  if (model.isExporting() || !view_.canEdit()) return;  // one export at a time, of a picture
  const auto& look = view_.appearance();
  const CameraExportSettings camera{look.pipCenterNormalized, look.pipWidthFraction, look.shrinkFactor,
                                    look.easeDuration, look.cameraShape};
  QPointer<VideoTrimmerView> view(&view_);
  auto session = std::make_shared<std::shared_ptr<ExportSessionHandle>>();
  // The model exports the camera layer it names, which the camera switch decides (see the view).
  model.exportAdvancedVideo(
      camera, look.paddingPixels, look.backgroundCornerRadius, view_.selectedAspect(), view_.verticalStack(),
      look.screenShadowOpacity, look.screenShadowRadius, look.cameraShadowOpacity, look.cameraShadowRadius,
      [this, view, session](ExportResult result) {
        // Hops to the main thread whichever thread reports.
        QTimer::singleShot(0, QCoreApplication::instance(), [this, view, session, result] {
          if (view) handleExportResult(result, *session);
        });
      });
  *session = runningSession();
}

void TrimmerActions::handleExportResult(const ExportResult& result,
                                        const std::shared_ptr<ExportSessionHandle>& session) {
  if (session && session->isCancelled()) return;  // the person stopped it: nothing to report
  if (result.succeeded()) {
    view_.presentExportSuccess(result.url, result.note);
  } else {
    view_.presentError(result.error ? result.error->localizedDescription() : std::string("Export failed"));
  }
}

}  // namespace tk
