#pragma once

#include <QString>
#include <QUuid>
#include <memory>

#include "editor/ExportResult.h"
#include "model/MetadataEvents.h"

namespace tk {

class ExportSessionHandle;
class VideoTrimmerView;

// What the editor window's controls do: playback, the zoom selection's add and delete, the zoom
// editors' callbacks and the two exports. Shared by the transport card, the zoom editor slot and
// the appearance panel, so a shortcut and a button run the same code. Main thread only; an export's
// completion is handled on the main thread.
class TrimmerActions {
 public:
  explicit TrimmerActions(VideoTrimmerView& view) : view_(view) {}

  // "mm:ss.hh"; minutes are not limited to two digits; negative, infinite or NaN give "00:00.00".
  static QString formatPlaybackTime(double seconds);
  // The playback player's item duration in seconds; 0 without a player or an item.
  double duration() const;

  void togglePlayback();
  void seekPlayer(double seconds);
  void addZoomSegmentAtPlayhead();
  void deleteSelectedZoomSegment(const QUuid& selected);
  void deleteZoomKeyframe(const QUuid& id);

  // The zoom editors' callbacks.
  // Take copies: selecting redraws the editor that reported the value.
  void zoomSegmentEdited(ZoomSegment segment);
  void zoomSegmentDeleted(const QUuid& id);
  void zoomKeyframeEdited(ZoomKeyframe keyframe);

  // "Export Merged": the kept cut segments joined. Refused while an export runs.
  void exportTrimmedVideo();
  // "Export": the whole movie with every appearance value. Refused while an export runs.
  void exportAdvanced();
  // Shows the outcome; a cancelled export shows nothing.
  void handleExportResult(const ExportResult& result, const std::shared_ptr<ExportSessionHandle>& session);

 private:
  std::shared_ptr<ExportSessionHandle> runningSession() const;
  void failLater(int code, const QString& message);

  VideoTrimmerView& view_;
};

}  // namespace tk
