#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// Every test program runs with a QApplication, so main-thread posting, timers, coroutines and
// widgets behave as in the application. Without a display the offscreen platform stands in.
int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
