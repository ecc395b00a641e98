#include "editor_ui/ZoomEditorHost.h"

#include <QVBoxLayout>
#include <algorithm>

#include "editor_ui/TrimmerActions.h"
#include "editor_ui/VideoTrimmerView.h"
#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"

namespace tk {

namespace {

template <typename List>
auto findById(const List& items, const std::optional<QUuid>& id) -> const typename List::value_type* {
  if (!id) return nullptr;
  auto it = std::find_if(items.begin(), items.end(), [&](const auto& item) { return item.id == *id; });
  return it == items.end() ? nullptr : &*it;
}

}  // namespace

ZoomEditorHost::ZoomEditorHost(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent)
    : QWidget(parent), view_(view), actions_(actions) {
  setObjectName(QStringLiteral("zoomEditorHost"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  refresh();
}

void ZoomEditorHost::clear() {
  // Deleted later: the editor may be the caller (its delete or close button).
  if (segmentEditor_) segmentEditor_->deleteLater();
  if (keyframeEditor_) keyframeEditor_->deleteLater();
  if (segmentEditor_) segmentEditor_->hide();
  if (keyframeEditor_) keyframeEditor_->hide();
  segmentEditor_ = nullptr;
  keyframeEditor_ = nullptr;
}

void ZoomEditorHost::refresh() {
  auto& model = view_.viewModel();
  const double duration = model.videoDuration().seconds();
  const double known = std::isfinite(duration) ? duration : 0;
  if (const ZoomSegment* segment = findById(model.zoomSegments(), view_.selectedZoomSegmentId())) {
    if (segmentEditor_ && segmentEditor_->working().id == segment->id) {
      segmentEditor_->showLive(*segment, known);
    } else {
      clear();
      const QUuid id = segment->id;
      auto* editor = new ZoomSegmentEditor(*segment, known, this);
      // At most 600 wide, unless its advanced row needs more: then as wide as that row, so no
      // slider runs into its value.
      editor->setMaximumWidth(std::max(600, editor->advancedRow()->sizeHint().width() + 16));
      editor->onUpdate = [this](const ZoomSegment& s) { actions_.zoomSegmentEdited(s); };
      editor->onDelete = [this, id] { actions_.zoomSegmentDeleted(id); };
      editor->onClose = [this] { view_.setSelectedZoomSegmentId(std::nullopt); };
      editor->onSeekToSegment = [this](double t) { actions_.seekPlayer(t); };
      layout()->addWidget(editor);
      segmentEditor_ = editor;
    }
  } else if (const ZoomKeyframe* keyframe = findById(model.zoomKeyframes(), view_.selectedZoomKeyframeId())) {
    if (keyframeEditor_ && keyframeEditor_->working().id == keyframe->id) {
      keyframeEditor_->showLive(*keyframe, known);
    } else {
      clear();
      const QUuid id = keyframe->id;
      auto* editor = new ZoomKeyframeEditor(*keyframe, known, this);
      editor->onUpdate = [this](const ZoomKeyframe& k) { actions_.zoomKeyframeEdited(k); };
      editor->onDelete = [this, id] { actions_.deleteZoomKeyframe(id); };
      layout()->addWidget(editor);
      keyframeEditor_ = editor;
    }
  } else {
    clear();
  }
  setVisible(segmentEditor_ || keyframeEditor_);
}

}  // namespace tk
