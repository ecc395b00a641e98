#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <thread>

#include "app/SingleInstanceChannel.h"
#include "support/TestSupport.h"

using namespace tk;

TEST(AppDelegateTest, ClosingTheLastWindowLeavesTheApplicationRunning) {
  AppDelegate delegate;
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
  bool quit = false;
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quit = true; });
  QWidget window;
  window.setWindowTitle("tavelkombrix");
  window.show();
  window.close();
  test::pumpEvents(std::chrono::milliseconds(20));
  EXPECT_FALSE(quit);
}

TEST(AppDelegateTest, ReopenBringsTheHeldMainWindowBackBesideOtherWindowsButNotDuringARecording) {
  AppDelegate delegate;
  QWidget main;
  main.setWindowTitle("tavelkombrix");
  QWidget other;
  other.setWindowTitle("Video Trimmer - Take.mov");

  // No main window held: the default handling.
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));

  // A recording under way: the other windows are raised, the bar stays closed.
  bool recording = true;
  delegate.setRecordingActivity([&] { return recording; });
  delegate.setMainWindow(&main);
  other.show();
  EXPECT_TRUE(AppDelegate::hasVisibleWindows());
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
  EXPECT_FALSE(main.isVisible());

  // An editor open: the bar shows beside it.
  recording = false;
  EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
  EXPECT_TRUE(main.isVisible());
  EXPECT_TRUE(other.isVisible());

  main.close();
  other.close();
  EXPECT_FALSE(AppDelegate::hasVisibleWindows());
  EXPECT_FALSE(delegate.applicationShouldHandleReopen(false));
  EXPECT_TRUE(main.isVisible());

  // Menus and tooltips are not windows a person returns to.
  main.close();
  QWidget popup(nullptr, Qt::Popup);
  popup.show();
  EXPECT_FALSE(AppDelegate::hasVisibleWindows());
  popup.close();
}

TEST(SingleInstanceChannelTest, ALaterLaunchAsksTheRunningOneToReopenAndStandsDown) {
  QTemporaryDir dir;
  const QString path = dir.filePath("instance.socket");
  SingleInstanceChannel first(path);
  ASSERT_EQ(first.claim(), SingleInstanceChannel::Role::primary);
  int reopens = 0;
  QObject::connect(&first, &SingleInstanceChannel::reopenRequested, [&] { ++reopens; });

  // The later launch waits for the answer, which the first gives from its event loop.
  std::atomic<int> role{-1};
  std::thread later([&] { role = static_cast<int>(SingleInstanceChannel(path).claim()); });
  ASSERT_TRUE(test::waitUntil([&] { return role != -1; }));
  later.join();
  EXPECT_EQ(role, static_cast<int>(SingleInstanceChannel::Role::secondary));
  EXPECT_EQ(reopens, 1);
}

TEST(SingleInstanceChannelTest, ASocketLeftByAnInstanceThatIsGoneIsTakenOver) {
  QTemporaryDir dir;
  const QString path = dir.filePath("instance.socket");
  QFile stale(path);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  SingleInstanceChannel channel(path);
  EXPECT_EQ(channel.claim(), SingleInstanceChannel::Role::primary);

  // Two displays, two instances: the paths differ by display.
  const QByteArray display = qgetenv("DISPLAY");
  qputenv("DISPLAY", ":41");
  const QString a = SingleInstanceChannel::defaultSocketPath();
  qputenv("DISPLAY", ":42");
  EXPECT_NE(a, SingleInstanceChannel::defaultSocketPath());
  if (display.isEmpty())
    qunsetenv("DISPLAY");
  else
    qputenv("DISPLAY", display);
}
