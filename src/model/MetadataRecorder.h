#pragma once

#include <QPointF>
#include <QSizeF>
#include <chrono>
#include <filesystem>
#include <optional>

#include "model/RecordingMetadata.h"
#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"

namespace tk {

class MetadataRecorderError : public Error {
 public:
  enum class Kind { recordingStillActive, recordingNotStarted, invalidMetadata };

  explicit MetadataRecorderError(Kind kind) : kind_(kind) {}
  Kind kind() const { return kind_; }
  std::string localizedDescription() const override;
  bool operator==(const MetadataRecorderError& other) const { return kind_ == other.kind_; }

 private:
  Kind kind_;
};

// Gathers, during one recording, the zoom events (each with a matching zoom keyframe), clicks and
// sampled cursor positions the editor needs, and saves them as the metadata document.
//
// Times are seconds on the movie's clock: measured with a monotonic clock (injectable for tests)
// from startRecording, leaving paused intervals out, so they line up with the movie whatever the
// wall clock does. Events that arrive while paused, before start or after stop are dropped, and so
// are events carrying a number that is not finite (with a warning line), so a save never fails on
// them.
//
// Not thread-safe: the recording coordinator calls everything on the main thread.
class MetadataRecorder {
 public:
  using Date = std::chrono::system_clock::time_point;

  // `resolution`: the capture stream's size in pixels (0 x 0 without one).
  MetadataRecorder(QSizeF resolution, int frameRate, SecondsClock clock = monotonicSecondsClock());

  const RecordingMetadata& metadata() const { return metadata_; }
  // The wall-clock start handed to startRecording; kept after stop.
  std::optional<Date> recordingStartTime() const { return recordingStartTime_; }
  bool isRecording() const { return isRecording_; }
  bool isPaused() const { return pausedAt_.has_value(); }

  // Starts (or restarts) the clock at 0 and empties every list but the zoom segments.
  void startRecording(Date startTime);
  // Pausing stops the clock; resuming goes on from where it stopped. Ignored while not recording,
  // and pausing twice or resuming while running changes nothing.
  void pauseRecording();
  void resumeRecording();
  // `duration`: the movie's length as the coordinator counts it. Ends the recording and stamps the
  // duration; the zoom segments are emptied.
  void stopRecording(double duration);

  // `position` is normalised with y up from the bottom edge; the keyframe's centre flips it.
  void recordZoomEvent(QPointF position, double level, double duration, EasingFunction easing);
  // `position` is normalised with y down from the top edge.
  void recordClick(ClickType type, QPointF position);
  // `position` is normalised with y down from the top edge. A sample that neither moved by 0.001
  // nor came 0.02 s or more after the last one kept is skipped.
  void recordCursorPosition(QPointF position);

  // Writes the document (pretty-printed, keys sorted), replacing the file. Throws
  // MetadataRecorderError::recordingStillActive while recording, writing nothing; JsonError or
  // PlatformError from encoding or writing.
  void saveMetadata(const std::filesystem::path& file) const;

  // The document as it would be saved if the recording stopped now: duration so far, no zoom
  // segments. For saving while recording, so that a recording that never stops keeps its events.
  RecordingMetadata snapshot() const;

  // Seconds on the movie's clock since start (0 before).
  double currentTime() const;

 private:
  bool accepting() const { return isRecording_ && recordingStartTime_ && !pausedAt_; }

  RecordingMetadata metadata_;
  std::optional<Date> recordingStartTime_;
  bool isRecording_ = false;

  SecondsClock clock_;
  double startedAt_ = 0;            // clock reading at start
  double pausedTotal_ = 0;          // seconds spent paused since start
  std::optional<double> pausedAt_;  // clock reading when the current pause began
};

}  // namespace tk
