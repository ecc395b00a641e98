#pragma once

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"

namespace tk {

class TrimmerActions;
class VideoTrimmerView;

// The zoom editor's place: the segment editor while a zoom segment that exists is selected, else
// the keyframe editor while a keyframe that exists is selected, else nothing (and no room). An
// editor belongs to one id: selecting another item makes a fresh one; the same item changed
// elsewhere is shown in the editor that is there. Main thread only.
class ZoomEditorHost : public QWidget {
  Q_OBJECT

 public:
  ZoomEditorHost(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent = nullptr);

  void refresh();

  ZoomSegmentEditor* segmentEditor() const { return segmentEditor_; }
  ZoomKeyframeEditor* keyframeEditor() const { return keyframeEditor_; }

 private:
  void clear();

  VideoTrimmerView& view_;
  TrimmerActions& actions_;
  QPointer<ZoomSegmentEditor> segmentEditor_;
  QPointer<ZoomKeyframeEditor> keyframeEditor_;
};

}  // namespace tk
