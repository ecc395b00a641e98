#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/media/GlobalCoordinates.h"
#include "platform/qt/Diagnostics.h"
#include "support/TestSupport.h"

TEST(GlobalCoordinatesTest, FlipsAroundThePrimaryDisplaysBottomEdge) {
  // Primary display 1920x1080 at the root's origin; a second one to its right, taller.
  tk::GlobalCoordinates space(QRectF(0, 0, 1920, 1080));
  EXPECT_EQ(space.fromX11(QPointF(10, 20)), QPointF(10, 1060));
  EXPECT_EQ(space.toX11(space.fromX11(QPointF(2500, 1300))), QPointF(2500, 1300));
  const QRectF window(100, 50, 200, 100);  // top-left corner at y 50
  EXPECT_EQ(space.fromX11(window), QRectF(100, 930, 200, 100));
  EXPECT_EQ(space.toX11(space.fromX11(window)), window);
  // A primary display that is not at the root's origin.
  tk::GlobalCoordinates offset(QRectF(1920, 200, 1280, 1024));
  EXPECT_EQ(offset.fromX11(QPointF(1920, 1224)), QPointF(0, 0));
}

TEST(DiagnosticsTest, NumbersPrintShortestWithAPoint) {
  EXPECT_EQ(tk::formatDouble(2.0), "2.0");
  EXPECT_EQ(tk::formatDouble(0.5), "0.5");
  EXPECT_EQ(tk::formatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(tk::formatDouble(-3.0), "-3.0");
  EXPECT_EQ(tk::formatDouble(1920.0), "1920.0");
}

TEST(DiagnosticsTest, LinesFromManyThreadsArriveWhole) {
  tk::test::CapturedLines captured;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) tk::Diagnostics::linef("thread %d line %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  const auto lines = captured.lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
}
