#include "editor_ui/VideoTrimmerManager.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

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
