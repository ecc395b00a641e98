#pragma once

#include <QColor>
#include <QCoroTask>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "model/RecordingConfiguration.h"
#include "model/RecordingMode.h"
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

// A 440 Hz tone playing into the private sound server's null sink while it lives.
class ToneInNullSink {
 public:
  ToneInNullSink();
  ~ToneInNullSink();
  bool playing() const { return !module_.isEmpty(); }

 private:
  QString module_;
};

// Counts the runs of equal colour along one row of a BGRA frame and returns the median run length.
double medianRunLength(const std::vector<uint8_t>& bgra, int width, int row, int from, int to);

}  // namespace tk::test
