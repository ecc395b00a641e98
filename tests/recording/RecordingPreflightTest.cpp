#include "recording/RecordingPreflight.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <fstream>

#include "model/RecordingError.h"

namespace tk {
namespace {

RecordingConfiguration validConfiguration(const std::filesystem::path& folder) {
  RecordingConfiguration configuration;
  configuration.mode = RecordingMode::screen(nullptr);
  configuration.outputDirectory = folder;
  configuration.frameRate = 60;
  return configuration;
}

std::string reasonOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RecordingError& error) {
    return error.kind() == RecordingError::Kind::invalidConfiguration ? error.reason()
                                                                      : error.localizedDescription();
  }
  return "";
}

TEST(RecordingPreflightTest, ValidationNamesTheFirstBrokenRule) {
  auto configuration = validConfiguration("/tmp");
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }), "");
  configuration.frameRate = 25;
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }),
            "Invalid frame rate: 25");
  configuration.frameRate = 240;
  configuration.outputDirectory = "relative/folder";
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }),
            "Output directory must be a file URL");
  configuration.outputDirectory = "/tmp";
  configuration.recordMicrophone = true;
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }),
            "Microphone device not specified");
  // Echo cancellation is checked only for a microphone that is recorded.
  configuration.recordMicrophone = false;
  configuration.enableAEC = true;
  configuration.microphoneDevice = "USB Mic";
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }), "");
  configuration.recordMicrophone = true;
  configuration.microphoneDevice = "default";
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }), "");
  configuration.microphoneDevice = "USB Mic";
  EXPECT_EQ(reasonOf([&] { RecordingPreflight::validateConfiguration(configuration); }),
            "AEC only works with default microphone");
}

TEST(RecordingPreflightTest, OutputFolderIsCreatedOrRefused) {
  QTemporaryDir dir;
  std::filesystem::path root = dir.path().toStdString();
  auto nested = root / "a" / "b";
  // A folder still to be created is measured on the file system it will live on.
  EXPECT_TRUE(RecordingPreflight::availableCapacity(nested).has_value());
  RecordingPreflight::checkOutputDirectory(nested);
  EXPECT_TRUE(std::filesystem::is_directory(nested));

  auto file = root / "plain-file";
  std::ofstream(file) << "x";
  try {
    RecordingPreflight::checkOutputDirectory(file);
    FAIL() << "a regular file was accepted as the output folder";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.kind(), RecordingError::Kind::outputDirectoryNotWritable);
  }
  // Below a regular file nothing can be created.
  try {
    RecordingPreflight::checkOutputDirectory(file / "inside");
    FAIL() << "a folder below a regular file was accepted";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.kind(), RecordingError::Kind::fileWriteError);
  }
}

TEST(RecordingPreflightTest, OutputNamesCarryDateModeAndFormat) {
  auto configuration = validConfiguration("/rec");
  QDateTime when(QDate(2026, 3, 7), QTime(14, 5, 9));
  auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
  EXPECT_EQ(RecordingPreflight::outputURL(configuration, time), "/rec/Recording at 2026-03-07 14.05.09.mov");
  configuration.outputFormat = OutputFormat::mp4;
  configuration.mode = RecordingMode::systemAudio();
  EXPECT_EQ(RecordingPreflight::outputURL(configuration, time),
            "/rec/Audio Recording at 2026-03-07 14.05.09.mp4");
}

TEST(RecordingPreflightTest, DurationTextIsMinutesAndSecondsWithoutHours) {
  EXPECT_EQ(RecordingPreflight::durationText(0), "00:00");
  EXPECT_EQ(RecordingPreflight::durationText(65.3), "01:05");
  EXPECT_EQ(RecordingPreflight::durationText(75 * 60), "75:00");
  EXPECT_EQ(RecordingPreflight::durationText(-3), "00:00");
}

}  // namespace
}  // namespace tk
