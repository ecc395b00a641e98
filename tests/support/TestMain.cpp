#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>

// Every test program runs with a QApplication, so main-thread posting, timers, coroutines and
// widgets behave as in the application. Without a display the offscreen platform stands in.
int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Outside the private desktop (which has a home of its own) the writers' lists of working files,
  // and whatever else goes to the data folder, stay out of the person's own; a child test program
  // shares its parent's.
  std::optional<QTemporaryDir> data;
  if (!std::getenv("TK_TEST_ENV") && !std::getenv("TK_TEST_DATA")) {
    data.emplace(QDir::tempPath() + "/tk-test-data.XXXXXX");
    setenv("XDG_DATA_HOME", data->path().toUtf8().constData(), 1);
    setenv("TK_TEST_DATA", "1", 1);
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
