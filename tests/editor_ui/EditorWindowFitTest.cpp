// The editor window at its default and its least size: every control the person can see is whole
// and stands clear of every other, and the preview takes the room that is left.

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <sstream>

#include "EditorWindowFixture.h"
#include "editor_ui/AspectBar.h"
#include "editor_ui/TrimmerPlayheadView.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "editor_ui/ZoomEditorHost.h"
#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"

namespace tk::test {
namespace {

// A widget shown to the person, with every ancestor up to the window shown too.
bool shown(const QWidget* widget) {
  return widget->isVisibleTo(widget->window()) && widget->isVisible();
}

// What the person reads or operates: labels with text, buttons, sliders, progress bars; the preview
// and each timeline row count as one control each (what they draw inside is their own).
bool isControl(const QWidget* widget) {
  if (qobject_cast<const QLabel*>(widget)) return !static_cast<const QLabel*>(widget)->text().isEmpty();
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
         qobject_cast<const QProgressBar*>(widget);
}

QString describe(const QWidget* widget) {
  QString name = QString::fromLatin1(widget->metaObject()->className());
  if (auto* label = qobject_cast<const QLabel*>(widget)) name += " \"" + label->text() + "\"";
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) name += " \"" + button->text() + "\"";
  for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
    if (!up->objectName().isEmpty()) return name + " in " + up->objectName();
  return name;
}

// A control's rectangle in the window, clipped to the scroll area viewport it sits in (a strip that
// scrolls sideways shows part of its row; that is not a cut).
struct Placed {
  const QWidget* widget;
  QRect rect;
  const QWidget* viewport;  // the scroll area viewport holding it, or null
};

// The controls of `root`; the player area and the timeline's rows stand for everything inside them,
// and the playhead, which stands over the tracks on purpose, is left out.
std::vector<Placed> controls(QWidget& root, const QWidget* playerArea, const QWidget* timeline,
                             const QWidget* playhead) {
  std::vector<Placed> found;
  const std::function<void(const QWidget*, const QWidget*)> walk = [&](const QWidget* widget,
                                                                       const QWidget* viewport) {
    for (QObject* child : widget->children()) {
      auto* w = qobject_cast<const QWidget*>(child);
      if (!w || w->isWindow() || !shown(w) || w == playhead) continue;
      const QWidget* inside = viewport;
      if (auto* area = qobject_cast<const QAbstractScrollArea*>(w->parentWidget());
          area && area->viewport() == w)
        inside = w;
      QRect rect(w->mapTo(root.window(), QPoint()), w->size());
      if (inside) rect &= QRect(inside->mapTo(root.window(), QPoint()), inside->size());
      const bool whole = w == playerArea || w->parentWidget() == timeline;
      if ((whole || isControl(w)) && !rect.isEmpty()) found.push_back({w, rect, inside});
      if (!whole) walk(w, inside);
    }
  };
  walk(&root, nullptr);
  return found;
}

// Width the text (and icon) of a button needs.
int textWidth(const QAbstractButton& button) {
  int width = button.fontMetrics().horizontalAdvance(button.text());
  if (!button.icon().isNull()) width += button.iconSize().width() + 4;
  return width;
}

// Every problem found, one per line: a control cut by an ancestor or the window, a text that does
// not fit its control, two controls that overlap.
std::string fitProblems(VideoTrimmerView& view) {
  std::ostringstream problems;
  const auto found = controls(view, &view.playerArea(), &view.timeline(), &view.timeline().playhead());
  for (const auto& [widget, rect, viewport] : found) {
    const std::string name = describe(widget).toStdString();
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
      const QRect room(up->mapTo(view.window(), QPoint()), up->size());
      // Inside a sideways strip only the height must fit.
      const bool fits = viewport && (viewport == up || viewport->isAncestorOf(up))
                            ? rect.top() >= room.top() && rect.bottom() <= room.bottom()
                            : room.contains(rect);
      if (!fits) {
        problems << name << " is cut off by " << describe(up).toStdString() << "\n";
        break;
      }
      if (up->isWindow()) break;
    }
    if (rect.height() < widget->height())
      problems << name << " is cut to " << rect.height() << " of " << widget->height() << " high\n";
    int needs = 0;
    if (auto* label = qobject_cast<const QLabel*>(widget); label && !label->wordWrap())
      needs = label->sizeHint().width();
    else if (auto* box = qobject_cast<const QCheckBox*>(widget))
      needs = box->sizeHint().width();
    else if (auto* button = qobject_cast<const QAbstractButton*>(widget); button && !button->text().isEmpty())
      needs = textWidth(*button) + 8;
    if (needs > widget->width())
      problems << name << " is cut: " << widget->width() << " wide, needs " << needs << "\n";
    const int least = std::min(widget->minimumSizeHint().height(), widget->sizeHint().height());
    if (widget->height() < least - 1) problems << name << " is squeezed to " << widget->height() << " high\n";
  }
  for (size_t i = 0; i < found.size(); ++i)
    for (size_t j = i + 1; j < found.size(); ++j) {
      const Placed& a = found[i];
      const Placed& b = found[j];
      if (a.widget->isAncestorOf(b.widget) || b.widget->isAncestorOf(a.widget)) continue;
      if (a.rect.intersects(b.rect))
        problems << describe(a.widget).toStdString() << " overlaps " << describe(b.widget).toStdString()
                 << "\n";
    }
  return problems.str();
}

class EditorWindowFitTest : public EditorWindowFixture {
 protected:
  // A movie with a zoom segment, cursor samples and a camera layer: every card has rows to show.
  VideoTrimmerView& openFullEditor(QSize size) {
    writeCameraLayer();
    RecordingMetadata metadata;
    ZoomSegment segment;
    segment.startTime = 0.5;
    segment.endTime = 1.5;
    metadata.zoomSegments.push_back(segment);
    ZoomKeyframe keyframe;
    keyframe.time = 1.0;
    metadata.zoomKeyframes.push_back(keyframe);
    for (int i = 0; i < 20; ++i) {
      CursorPosition sample;
      sample.timestamp = i * 0.1;
      sample.position = QPointF(0.1 * (i % 10), 0.5);
      metadata.cursorPositions.push_back(sample);
    }
    auto& trimmer = open(writeMovie(".screen.mov", {}, metadata), size);
    EXPECT_TRUE(waitUntil([&] {
      return !trimmer.viewModel().zoomSegments().empty() && !trimmer.viewModel().zoomKeyframes().empty();
    }));
    trimmer.viewModel().setBackgroundEnabled(true);
    auto cursor = trimmer.viewModel().cursorOverlaySettings();
    cursor.enabled = true;
    cursor.motionBlurEnabled = true;
    trimmer.viewModel().setCursorOverlaySettings(cursor);
    trimmer.setIncludeCameraInExport(true);
    return trimmer;
  }

  // Lays the window out at `size` (never below its least size) and lists what does not fit.
  std::string problemsAt(QSize size) {
    window->resize(size);
    pumpEvents(std::chrono::milliseconds(50));
    return fitProblems(*view);
  }

  // At the ideal size and at the least the window allows, nothing is cut or overlaps and the
  // preview has the rest.
  void expectFitsAtTheDefaultAndTheLeastSize() {
    pumpEvents(std::chrono::milliseconds(50));
    const QSize least = window->minimumSize();
    for (const QSize size : {QSize(1200, 800), least}) {
      SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
      EXPECT_EQ(problemsAt(size), "");
      // A layout that settles late may still raise the least size by a pixel; never more.
      EXPECT_EQ(window->size(), size.expandedTo(window->minimumSize()));
      EXPECT_LE(window->height() - size.height(), 1);
      expectPreviewTakesTheRest();
    }
  }

  // The player area takes whatever the other regions leave: it ends where the next region begins.
  void expectPreviewTakesTheRest() {
    const QRect area(view->playerArea().mapTo(window.get(), QPoint()), view->playerArea().size());
    const QRect bar(view->aspectControls().mapTo(window.get(), QPoint()), view->aspectControls().size());
    EXPECT_GE(area.height(), TrimmerPlayerArea::kMinimumHeight);
    EXPECT_LE(bar.top() - area.bottom(), 12 + 1) << "room left unused between the preview and the aspect bar";
    EXPECT_LE(window->height() - (view->appearanceStrip()->geometry().bottom() + 1), 16 + 1)
        << "room left unused below the appearance strip";
  }
};

TEST_F(EditorWindowFitTest, EveryControlIsWholeAndClearAtTheDefaultAndTheLeastSize) {
  auto& trimmer = openFullEditor(QSize(1200, 800));
  ASSERT_FALSE(trimmer.loadFailed());
  const QSize least = window->minimumSize();
  EXPECT_LE(least.height(), VideoTrimmerView::kMinimumHeight);  // every card open still fits 1366 x 768
  EXPECT_LE(least.width(), 1366);
  expectFitsAtTheDefaultAndTheLeastSize();
}

TEST_F(EditorWindowFitTest, TheZoomSegmentEditorsAdvancedRowFitsToo) {
  auto& trimmer = openFullEditor(QSize(1200, 800));
  ASSERT_FALSE(trimmer.loadFailed());
  trimmer.setSelectedZoomSegmentId(trimmer.viewModel().zoomSegments().front().id);
  auto* editor = trimmer.zoomEditors().segmentEditor();
  ASSERT_NE(editor, nullptr);
  QTest::mouseClick(editor->disclosureButton(), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] {
    return editor->advancedRow()->isVisible() && editor->advancedRow()->maximumHeight() == QWIDGETSIZE_MAX;
  }));
  expectFitsAtTheDefaultAndTheLeastSize();
}

TEST_F(EditorWindowFitTest, TheZoomKeyframeEditorFitsToo) {
  auto& trimmer = openFullEditor(QSize(1200, 800));
  ASSERT_FALSE(trimmer.loadFailed());
  trimmer.setSelectedZoomKeyframeId(trimmer.viewModel().zoomKeyframes().front().id);
  ASSERT_NE(trimmer.zoomEditors().keyframeEditor(), nullptr);
  pumpEvents(std::chrono::milliseconds(50));
  expectFitsAtTheDefaultAndTheLeastSize();
}

}  // namespace
}  // namespace tk::test
