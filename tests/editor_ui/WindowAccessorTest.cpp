#include "editor_ui/WindowAccessor.h"

#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "support/TestSupport.h"

namespace tk::test {
namespace {

class WindowAccessorTest : public ::testing::Test {
 protected:
  void SetUp() override { TK_REQUIRE_DESKTOP(); }

  // A view and the accessor on it, counting every callback.
  void attach(QWidget* view) {
    accessor = new WindowAccessor(view);
    accessor->onWindowOpen = [this](QWidget* w) {
      ++opened;
      found = w;
    };
    accessor->onWindowActive = [this](QWidget*) { ++activated; };
    accessor->onWindowDeactivate = [this](QWidget*) { ++deactivated; };
    accessor->onWindowClose = [this] { ++closed; };
  }

  WindowAccessor* accessor = nullptr;
  QWidget* found = nullptr;
  int opened = 0, activated = 0, deactivated = 0, closed = 0;
};

TEST_F(WindowAccessorTest, FindsItsWindowOnceAndReportsActivationAndTheClose) {
  QWidget window;
  auto* view = new QWidget(&window);
  attach(view);
  EXPECT_EQ(opened, 0);  // not before the next turn of the event loop
  ASSERT_TRUE(waitUntil([&] { return opened == 1; }));
  EXPECT_EQ(found, &window);
  EXPECT_EQ(accessor->attempts(), 1);

  window.show();
  window.activateWindow();
  EXPECT_TRUE(waitUntil([&] { return activated >= 1; }));
  QWidget other;
  other.show();
  other.activateWindow();
  EXPECT_TRUE(waitUntil([&] { return deactivated >= 1; }));
  window.close();
  EXPECT_EQ(closed, 1);
  pumpEvents(std::chrono::milliseconds(100));
  EXPECT_EQ(opened, 1);
}

TEST_F(WindowAccessorTest, AViewThatJoinsAWindowLaterIsFoundByARetry) {
  QWidget window;
  auto view = std::make_unique<QWidget>();
  attach(view.get());
  QTimer::singleShot(300, [&] { view.release()->setParent(&window); });
  ASSERT_TRUE(waitUntil([&] { return opened == 1; }, std::chrono::seconds(30)));
  EXPECT_EQ(found, &window);
  EXPECT_GT(accessor->attempts(), 1);
  EXPECT_LE(accessor->attempts(), WindowAccessor::kLastAttempt + 1);
}

TEST_F(WindowAccessorTest, AViewThatNeverJoinsAWindowStopsAfterElevenAttempts) {
  QWidget view;  // a top-level of its own: not in a window
  attach(&view);
  ASSERT_TRUE(waitUntil([&] { return accessor->attempts() == 11; }, std::chrono::seconds(30)));
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(accessor->attempts(), 11);
  EXPECT_EQ(opened, 0);
}

}  // namespace
}  // namespace tk::test
