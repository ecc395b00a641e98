#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QCoroTask>
#include <QRect>
#include <QTemporaryDir>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "model/RecordingConfiguration.h"
#include "model/RecordingMode.h"
#include "platform/pulse/PulseRecordStream.h"
#include "recording/RecordingCoordinator.h"

namespace tk::test {

// Runs a task to its end in a nested event loop and rethrows what it threw (QCoro::waitFor alone
// never returns from a task that throws).
template <typename T>
T awaitTask(QCoro::Task<T> task) {
  std::exception_ptr error;
  std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> result;
  auto run = [&]() -> QCoro::Task<void> {
    try {
      if constexpr (std::is_void_v<T>) {
        co_await std::move(task);
        result = true;
      } else {
        result = co_await std::move(task);
      }
    } catch (...) {
      error = std::current_exception();
    }
  };
  QCoro::waitFor(run());
  if (error) std::rethrow_exception(error);
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

// A top-level window of one colour, or of vertical stripes `stripe` pixels wide (black and white),
// at a known place in X11 root coordinates.
class PatternWindow : public QWidget {
 public:
  PatternWindow(QRect geometry, QColor colour, int stripe = 0);
  // Waits until the window manager shows it where asked and the screen shows its pattern.
  bool showAndWait();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor colourAt(int x) const;

  QRect geometry_;
  QColor colour_;
  int stripe_;
};

// What the desktop offers now, read fresh.
CaptureDisplayRef firstDisplay();
CaptureWindowRef windowFor(const QWidget& window);

RecordingConfiguration baseConfiguration(const RecordingMode& mode, const std::filesystem::path& folder);

// A coordinator whose hand-off only notes what would have opened.
struct RecordingHarness {
  RecordingHarness();
  ~RecordingHarness();

  // Prepares and starts; false (with the error in `error`) when either fails.
  bool start(const RecordingMode& mode, const RecordingConfiguration& configuration);
  // Records until the coordinator counts `seconds` of recorded time.
  bool recordFor(double seconds);
  // Stops; the completed result, or none (with the error in `error`).
  std::optional<std::filesystem::path> stop();
  bool waitForIdle();

  RecordingCoordinator coordinator;
  std::vector<std::filesystem::path> opened;
  std::string error;
};

// A tone playing into the private sound server's null sink while it lives.
class ToneInNullSink {
 public:
  explicit ToneInNullSink(int frequency = 440);
  ~ToneInNullSink();
  ToneInNullSink(const ToneInNullSink&) = delete;
  ToneInNullSink& operator=(const ToneInNullSink&) = delete;
  bool playing() const { return !module_.isEmpty(); }

 private:
  QString module_;
};

// Reads a sink's monitor with a small latency while it lives. A null sink renders two seconds at
// a time until a stream asks for less, and a monitor stream that joins meanwhile hears nothing of
// those seconds; with this one running, the sink renders in small steps, as a sound card plays.
class MonitorListener {
 public:
  explicit MonitorListener(const std::string& sink);
  ~MonitorListener();
  // Waits until the monitor delivers, that is until the sink renders in small steps.
  bool waitUntilFlowing();
  // When the sink played its first sound (a sample above a twentieth of full scale), on the
  // capture clock; nothing before.
  std::optional<MediaTime> firstSound() const;

 private:
  std::shared_ptr<std::atomic<bool>> delivered_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<int64_t>> firstSoundNs_ = std::make_shared<std::atomic<int64_t>>(0);
  std::unique_ptr<PulseRecordStream> stream_;
};

// A microphone that hums at `frequency` while it lives: a null sink fed a tone, its monitor offered
// as an input source named `name` ("Test microphone" to people). It delivers in small steps, as a
// real microphone does.
class VirtualMicrophone {
 public:
  VirtualMicrophone(const std::string& name, int frequency);
  ~VirtualMicrophone();
  VirtualMicrophone(const VirtualMicrophone&) = delete;
  VirtualMicrophone& operator=(const VirtualMicrophone&) = delete;
  // Loaded and delivering.
  bool ready();
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::vector<QString> modules_;
  std::unique_ptr<MonitorListener> listener_;
};

// A coordinator on the private desktop, with a folder of its own and the first display.
class CoordinatorTest : public ::testing::Test {
 protected:
  void SetUp() override;

  std::filesystem::path out() const { return dir() / "out"; }
  std::filesystem::path dir() const { return folder.path().toStdString(); }
  RecordingConfiguration config(const RecordingMode& mode) const { return baseConfiguration(mode, out()); }
  RecordingConfiguration systemAudioConfig(const RecordingMode& mode) const {
    auto configuration = config(mode);
    configuration.recordSystemAudio = true;
    return configuration;
  }
  // A window alone, not over the wallpaper (which records the whole display around it).
  RecordingConfiguration windowConfig(const RecordingMode& mode) const;
  // Prepares, starts, records `seconds` and stops, each recording into a folder of its own (several
  // may start within one second); the result, or none with the error in harness.error.
  std::optional<std::filesystem::path> record(RecordingConfiguration configuration, double seconds = 1.0);

  QTemporaryDir folder;
  CaptureDisplayRef display;
  RecordingHarness harness;

 private:
  int recordings_ = 0;
};

// Counts the runs of equal colour along one row of a BGRA frame and returns the median run length.
double medianRunLength(const std::vector<uint8_t>& bgra, int width, int row, int from, int to);

}  // namespace tk::test
