#include "editor_ui/VideoTrimmerManager.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <fstream>

#include "editor_ui/AppearancePanel.h"
#include "editor_ui/VideoTrimmerView.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

TEST(VideoTrimmerManagerTest, OpensOneTitledWindowPerMovieAndForgetsItWhenClosed) {
  QTemporaryDir dir;
  fs::path movie = fs::path(dir.path().toStdString()) / "Take 1.MOV";
  std::ofstream(movie) << "not decoded by the placeholder";
  VideoTrimmerManager manager;
  manager.openTrimmer(movie);
  QWidget* window = manager.openTrimmerWindow(movie);
  ASSERT_TRUE(window);
  EXPECT_EQ(window->windowTitle(), "Video Trimmer - Take 1.MOV");
  EXPECT_GE(window->width(), 1200);  // the ideal size, or more when the content needs it
  EXPECT_GE(window->height(), 800);
  EXPECT_GE(window->minimumWidth(), 1000);
  EXPECT_GE(window->minimumHeight(), 720);
  manager.openTrimmer(movie);  // the same movie again: the same window
  EXPECT_EQ(manager.openTrimmerCount(), 1u);
  EXPECT_EQ(manager.openTrimmerWindow(movie), window);
  window->close();
  EXPECT_TRUE(test::waitUntil([&] { return manager.openTrimmerCount() == 0; }));
}

// Runs xrandr on the private desktop; true when it succeeded.
bool xrandr(const QStringList& arguments) {
  QProcess process;
  process.start("xrandr", arguments);
  return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

TEST(VideoTrimmerManagerTest, OnAScreenSmallerThanItsIdealSizeTheWindowOpensWhollyInsideTheUsableArea) {
  TK_REQUIRE_DESKTOP();
  // The private desktop's screen becomes 1024x768, as on a small laptop.
  ASSERT_TRUE(
      xrandr({"--newmode", "tk1024", "63.50", "1024", "1072", "1176", "1328", "768", "771", "775", "798"}));
  ASSERT_TRUE(xrandr({"--addmode", "screen", "tk1024"}));
  ASSERT_TRUE(xrandr({"--output", "screen", "--mode", "tk1024", "--fb", "1024x768"}));
  struct Restore {
    ~Restore() { xrandr({"--output", "screen", "--mode", "1920x1080", "--fb", "1920x1080"}); }
  } restore;
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_TRUE(test::waitUntil([&] {
    return screen->geometry().size() == QSize(1024, 768) && screen->availableGeometry().width() <= 1024;
  }));

  QTemporaryDir dir;
  const fs::path movie = fs::path(dir.path().toStdString()) / "Small Screen.mov";
  test::writeTestMovie(movie, {});
  VideoTrimmerManager manager;
  manager.openTrimmer(movie);
  QWidget* window = manager.openTrimmerWindow(movie);
  ASSERT_TRUE(window);
  // Framed by the window manager, title bar included, and no smaller than its least size.
  const auto inside = [&] {
    const QRect frame = window->frameGeometry();
    return frame != window->geometry() && screen->availableGeometry().contains(frame);
  };
  EXPECT_TRUE(test::waitUntil(inside))
      << "frame " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
      << window->frameGeometry().width() << "x" << window->frameGeometry().height();
  EXPECT_GE(window->width(), window->minimumSizeHint().width());
  EXPECT_GE(window->height(), window->minimumSizeHint().height());
  window->close();
  EXPECT_TRUE(test::waitUntil([&] { return manager.openTrimmerCount() == 0; }));
}

// Closing them all (as a quit does) asks the window with unsaved edits before any other goes, also
// one that comes later in the registry: kept, the edits leave every editor open.
TEST(VideoTrimmerManagerTest, ClosingAllAsksTheEditedWindowFirstAndKeptLeavesEveryWindowOpen) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir dir;
  const fs::path plain = fs::path(dir.path().toStdString()) / "A plain take.mov";
  const fs::path edited = fs::path(dir.path().toStdString()) / "B edited take.mov";
  test::writeTestMovie(plain, {});
  test::writeTestMovie(edited, {});
  VideoTrimmerManager manager;
  manager.openTrimmer(plain);
  manager.openTrimmer(edited);
  const auto viewOf = [&](const fs::path& movie) {
    return manager.openTrimmerWindow(movie)->findChild<VideoTrimmerView*>();
  };
  ASSERT_TRUE(test::waitUntil(
      [&] { return !viewOf(plain)->viewModel().isLoading() && !viewOf(edited)->viewModel().isLoading(); }));
  viewOf(edited)->appearancePanel().backgroundSwitch()->click();
  ASSERT_TRUE(viewOf(edited)->hasUnsavedEdits());

  EXPECT_FALSE(manager.closeAll());
  QMessageBox* prompt = viewOf(edited)->discardPrompt();
  ASSERT_NE(prompt, nullptr) << "the edited window did not ask";
  EXPECT_TRUE(manager.openTrimmerWindow(plain)->isVisible())
      << "a window went before the edited one answered";
  EXPECT_TRUE(manager.openTrimmerWindow(edited)->isVisible());
  for (QAbstractButton* button : prompt->buttons())
    if (button->text() == "Cancel") button->click();
  ASSERT_TRUE(test::waitUntil([&] { return viewOf(edited)->discardPrompt() == nullptr; }));
  EXPECT_EQ(manager.openTrimmerCount(), 2u);

  // Discarded, the next round closes them all.
  EXPECT_FALSE(manager.closeAll());
  for (QAbstractButton* button : viewOf(edited)->discardPrompt()->buttons())
    if (button->text() == "Discard") button->click();
  ASSERT_TRUE(test::waitUntil([&] { return manager.openTrimmerCount() == 1; }));
  EXPECT_TRUE(manager.closeAll());
  EXPECT_TRUE(test::waitUntil([&] { return manager.openTrimmerCount() == 0; }));
}

TEST(VideoTrimmerManagerTest, MissingOrUnsupportedFilesOpenNothingAndSaySo) {
  QTemporaryDir dir;
  fs::path folder = dir.path().toStdString();
  std::ofstream(folder / "sound.m4a") << "x";
  VideoTrimmerManager manager;
  test::CapturedLines lines;
  manager.openTrimmer(folder / "gone.mov");
  manager.openTrimmer(folder / "sound.m4a");
  EXPECT_EQ(manager.openTrimmerCount(), 0u);
  EXPECT_TRUE(lines.contains("Video file not found: " + (folder / "gone.mov").string()));
  EXPECT_TRUE(lines.contains("Unsupported video format: m4a"));
}

}  // namespace
}  // namespace tk
