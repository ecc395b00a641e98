#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "model/CaseValue.h"
#include "model/RecordingError.h"

namespace tk {

namespace recording_state {
using Date = std::chrono::system_clock::time_point;
struct Recording {
  Date startTime;
};
struct Paused {
  Date pauseTime;
  double elapsed = 0;  // seconds recorded before the pause
};
struct Completed {
  std::filesystem::path fileURL;
};
struct Failed {
  RecordingError error;
};
struct Idle {};
struct Preparing {};
struct Ready {};
struct Finalizing {};
using Value = std::variant<Recording, Paused, Completed, Failed, Idle, Preparing, Ready, Finalizing>;
enum class Kind { recording, paused, completed, failed, idle, preparing, ready, finalizing };
}  // namespace recording_state

// The recording coordinator's published state. The alternatives keep the order of the cases:
//   0 recording, 1 paused, 2 completed, 3 failed, 4 idle, 5 preparing, 6 ready, 7 finalizing.
// Dates are wall-clock time points; the file URL is a local path.
class RecordingState : public CaseValue<recording_state::Value, recording_state::Kind> {
 public:
  using Date = recording_state::Date;
  using Recording = recording_state::Recording;
  using Paused = recording_state::Paused;
  using Completed = recording_state::Completed;
  using Failed = recording_state::Failed;
  using Idle = recording_state::Idle;
  using Preparing = recording_state::Preparing;
  using Ready = recording_state::Ready;
  using Finalizing = recording_state::Finalizing;
  using Value = recording_state::Value;
  using Kind = recording_state::Kind;
  using CaseValue::CaseValue;
  RecordingState() : CaseValue(Idle{}) {}

  static RecordingState recording(Date startTime) { return Recording{startTime}; }
  static RecordingState paused(Date pauseTime, double elapsed) { return Paused{pauseTime, elapsed}; }
  static RecordingState completed(std::filesystem::path fileURL) { return Completed{std::move(fileURL)}; }
  static RecordingState failed(RecordingError error) { return Failed{std::move(error)}; }
  static RecordingState idle() { return Idle{}; }
  static RecordingState preparing() { return Preparing{}; }
  static RecordingState ready() { return Ready{}; }
  static RecordingState finalizing() { return Finalizing{}; }

  // "Recording", "Paused", "Completed", "Failed", "Idle", "Preparing...", "Ready", "Finalizing...".
  std::string displayText() const;

  // Same case and equal payloads; two failures are equal when their descriptions are.
  bool operator==(const RecordingState& other) const;
};

}  // namespace tk
