#include "app/WindowConfigurator.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "support/TestSupport.h"

using namespace tk;

namespace {

// Content with a given fitting size.
class Content : public QWidget {
 public:
  explicit Content(QSize fitting) : fitting_(fitting) { setWindowTitle("content"); }
  QSize sizeHint() const override { return fitting_; }

 private:
  QSize fitting_;
};

}  // namespace

TEST(WindowConfiguratorTest, ContentSizeIsAtLeastTheBarElseTheContentsOwn) {
  EXPECT_EQ(WindowConfigurator::contentSize({300, 40}), QSize(480, 56));
  EXPECT_EQ(WindowConfigurator::contentSize({640, 80}), QSize(640, 80));
  EXPECT_EQ(WindowConfigurator::contentSize({480, 57}), QSize(480, 57));
  EXPECT_EQ(WindowConfigurator::contentSize({481, 56}), QSize(481, 56));
}

TEST(WindowConfiguratorTest, MakesABorderlessClearBarCentredOnItsScreen) {
  Content window({300, 40});
  window.show();
  EXPECT_TRUE(WindowConfigurator::configure(&window));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::NoDropShadowWindowHint));
  EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.size(), QSize(480, 56));
  const QRect area = window.screen()->availableGeometry();
  EXPECT_LE(std::abs(window.geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(window.geometry().center().y() - area.center().y()), 1);
}

TEST(WindowConfiguratorTest, ConfiguresOnceAndLeavesAMovedWindowAlone) {
  Content window({640, 80});
  QWidget child(&window);
  WindowConfigurator::schedule(&child);  // configures the child's window, on the next turn
  ASSERT_TRUE(test::waitUntil([&] { return WindowConfigurator::isConfigured(&window); }));
  EXPECT_EQ(window.size(), QSize(640, 80));

  window.move(10, 20);
  window.resize(700, 90);
  EXPECT_FALSE(WindowConfigurator::configure(&window));
  EXPECT_EQ(window.pos(), QPoint(10, 20));
  EXPECT_EQ(window.size(), QSize(700, 90));
}
