// The pointer ring as a recording shows it, on a desktop without a compositing manager: its shape,
// not the square of its window, over whatever lies beneath it.

#include <gtest/gtest.h>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "overlays/CursorOverlayController.h"
#include "overlays/DesktopDriver.h"
#include "overlays/OverlayWindow.h"
#include "platform/x11/NeverCapture.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::waitUntil;

class OverlayRecordingTest : public test::CoordinatorTest {};

TEST_F(OverlayRecordingTest, TheRingIsRecordedInItsShapeOverWhatLiesBeneath) {
  // The recorded area in root coordinates: a green window on the left, a window the recording
  // leaves out on the right, the white background everywhere else.
  const QRect area(200, 200, 800, 400);
  test::ForeignClient desktop;
  desktop.window(QRect(260, 260, 300, 280), QColor(40, 160, 90));
  const uint32_t left = desktop.window(QRect(640, 260, 300, 280), QColor(200, 40, 40));
  markNeverCapture(left);
  desktop.movePointer(100, 100);

  RecordingMode mode = RecordingMode::screenArea(
      display, QRectF(area.x(), display->frame.height() - area.bottom() - 1, area.width(), area.height()));
  auto configuration = config(mode);
  configuration.highlightCursor = true;
  configuration.showCursor = false;
  configuration.backgroundColor = BackgroundType::white;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  OverlayWindow& ring = harness.coordinator.cursorOverlayController().mousePointerWindow();
  ASSERT_FALSE(ring.isTranslucent()) << "this desktop has a compositing manager";

  // The pointer rests a while over each window; the frames of those whiles are read back.
  struct Stay {
    QPoint at;
    QColor beneath;
    double from = 0, to = 0;
  };
  std::vector<Stay> stays{{{410, 400}, QColor(40, 160, 90)}, {{790, 400}, QColor(Qt::white)}};
  for (Stay& stay : stays) {
    desktop.movePointer(stay.at.x(), stay.at.y());
    ASSERT_TRUE(waitUntil([&] {
      return ring.isOrderedIn() && ring.geometry() == QRect(stay.at - QPoint(35, 35), QSize(70, 70));
    }));
    stay.from = harness.coordinator.recordingDuration() + 0.2;
    ASSERT_TRUE(harness.recordFor(stay.from + 0.6));
    stay.to = harness.coordinator.recordingDuration();
  }
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;

  const int w = area.width(), h = area.height();
  for (const Stay& stay : stays) {
    SCOPED_TRACE("pointer at " + std::to_string(stay.at.x()));
    const auto frame = test::frameAt(*movie, (stay.from + stay.to) / 2, w, h);
    ASSERT_EQ(frame.size(), size_t(w) * h * 4);
    auto pixel = [&](QPoint root) {
      const QPoint p = root - area.topLeft();
      const uint8_t* bgra = &frame[(size_t(p.y()) * w + p.x()) * 4];
      return QColor(bgra[2], bgra[1], bgra[0]);
    };
    auto near = [](QColor a, QColor b) {
      return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
             std::abs(a.blue() - b.blue()) < 40;
    };
    // The corners of the ring's square, and its middle, show what lies beneath; its outer ring is
    // drawn (black).
    for (QPoint corner : {QPoint(33, 33), QPoint(-34, -34), QPoint(33, -34), QPoint(-34, 33)}) {
      const QColor seen = pixel(stay.at + corner);
      EXPECT_TRUE(near(seen, stay.beneath))
          << "corner " << corner.x() << "," << corner.y() << ": " << seen.name().toStdString();
    }
    EXPECT_TRUE(near(pixel(stay.at), stay.beneath)) << pixel(stay.at).name().toStdString();
    EXPECT_TRUE(near(pixel(stay.at + QPoint(31, 0)), Qt::black))
        << pixel(stay.at + QPoint(31, 0)).name().toStdString();
  }
}

}  // namespace
}  // namespace tk
