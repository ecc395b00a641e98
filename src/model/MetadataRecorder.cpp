#include "model/MetadataRecorder.h"

#include <cmath>
#include <initializer_list>

#include "model/TimeText.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

std::string MetadataRecorderError::localizedDescription() const {
  switch (kind_) {
    case Kind::recordingStillActive:
      return "Cannot save metadata while recording is still active";
    case Kind::recordingNotStarted:
      return "Recording has not been started";
    case Kind::invalidMetadata:
      return "Metadata is invalid or corrupted";
  }
  return {};
}

namespace {

// JSON has no form for NaN or infinity, so one such value would make the whole save fail at the
// end of the recording. Such an event is dropped when it arrives instead.
bool allFinite(const char* what, std::initializer_list<double> values) {
  for (double value : values) {
    if (!std::isfinite(value)) {
      Diagnostics::line(std::string("⚠️ Ignored ") + what + " - a value is not a finite number");
      return false;
    }
  }
  return true;
}

// "(x, y)" with the whole-number parts of the coordinates, as the event lines print them ("-0"
// never appears).
std::string positionText(QPointF position) {
  char text[128];
  std::snprintf(text, sizeof text, "(%.0f, %.0f)", std::trunc(position.x()) + 0.0,
                std::trunc(position.y()) + 0.0);
  return text;
}

}  // namespace

MetadataRecorder::MetadataRecorder(QSizeF resolution, int frameRate, SecondsClock clock)
    : clock_(clock ? std::move(clock) : monotonicSecondsClock()) {
  metadata_.resolution = resolution;
  metadata_.frameRate = frameRate;
}

double MetadataRecorder::currentTime() const {
  if (!recordingStartTime_) return 0;
  const double now = pausedAt_ ? *pausedAt_ : clock_();
  return std::max(0.0, now - startedAt_ - pausedTotal_);
}

void MetadataRecorder::startRecording(Date startTime) {
  recordingStartTime_ = startTime;
  isRecording_ = true;
  startedAt_ = clock_();
  pausedTotal_ = 0;
  pausedAt_.reset();
  metadata_.zoomEvents.clear();
  metadata_.zoomKeyframes.clear();
  metadata_.cameraPositions.clear();
  metadata_.cursorClicks.clear();
  metadata_.cursorPositions.clear();
  Diagnostics::line("📝 MetadataRecorder started");
}

void MetadataRecorder::pauseRecording() {
  if (!isRecording_ || pausedAt_) return;
  pausedAt_ = clock_();
}

void MetadataRecorder::resumeRecording() {
  if (!isRecording_ || !pausedAt_) return;
  pausedTotal_ += std::max(0.0, clock_() - *pausedAt_);
  pausedAt_.reset();
}

void MetadataRecorder::stopRecording(double duration) {
  isRecording_ = false;
  pausedAt_.reset();
  if (allFinite("duration", {duration})) metadata_.duration = duration;
  metadata_.zoomSegments.clear();
  Diagnostics::line("📝 MetadataRecorder stopped - Duration: " + minutesAndSeconds(metadata_.duration));
  Diagnostics::line("   Zoom events: " + formatInt(static_cast<long long>(metadata_.zoomEvents.size())));
  Diagnostics::line("   Camera positions: " +
                    formatInt(static_cast<long long>(metadata_.cameraPositions.size())));
  Diagnostics::line("   Cursor clicks: " + formatInt(static_cast<long long>(metadata_.cursorClicks.size())));
  Diagnostics::line("   Cursor positions: " +
                    formatInt(static_cast<long long>(metadata_.cursorPositions.size())));
}

RecordingMetadata MetadataRecorder::snapshot() const {
  RecordingMetadata copy = metadata_;
  if (isRecording_) copy.duration = currentTime();
  copy.zoomSegments.clear();
  return copy;
}

void MetadataRecorder::recordZoomEvent(QPointF position, double level, double duration,
                                       EasingFunction easing) {
  if (!accepting()) {
    Diagnostics::line("⚠️ Cannot record zoom event - recording not active");
    return;
  }
  if (!allFinite("zoom event", {position.x(), position.y(), level, duration})) return;
  const double t = currentTime();
  metadata_.zoomEvents.push_back({newRecordId(), t, position, level, duration, easing});
  metadata_.zoomKeyframes.push_back(
      {newRecordId(), t, QPointF(position.x(), 1 - position.y()), level, duration, duration, easing});
  Diagnostics::line("🔍 Recorded zoom event at " + minutesAndSeconds(t) + " - Level: " + formatDouble(level) +
                    "x, Position: " + positionText(position));
}

void MetadataRecorder::recordClick(ClickType type, QPointF position) {
  if (!accepting()) {
    Diagnostics::line("⚠️ Cannot record cursor click - recording not active");
    return;
  }
  if (!allFinite("cursor click", {position.x(), position.y()})) return;
  const double t = currentTime();
  metadata_.cursorClicks.push_back({newRecordId(), t, position, type});
  Diagnostics::line("🖱️ Recorded " + std::string(rawValue(type)) + " at " + minutesAndSeconds(t) +
                    " - Position: " + positionText(position));
}

void MetadataRecorder::recordCursorPosition(QPointF position) {
  if (!accepting()) return;
  if (!allFinite("cursor position", {position.x(), position.y()})) return;
  const double t = currentTime();
  auto& positions = metadata_.cursorPositions;
  if (!positions.empty()) {
    const CursorPosition& last = positions.back();
    const bool still = std::fabs(position.x() - last.position.x()) < 0.001 &&
                       std::fabs(position.y() - last.position.y()) < 0.001;
    if (still && t - last.timestamp < 0.02) return;
  }
  positions.push_back({newRecordId(), t, position});
  if (positions.size() <= 3) {
    Diagnostics::linef("📍 Cursor sample #%zu: t=%.2fs pos=(%.3f, %.3f)", positions.size(), t, position.x(),
                       position.y());
  }
}

void MetadataRecorder::saveMetadata(const std::filesystem::path& file) const {
  if (isRecording_) throw MetadataRecorderError(MetadataRecorderError::Kind::recordingStillActive);
  const std::string bytes = encodeRecordingMetadata(metadata_);
  writeFileBytes(file, bytes);
  Diagnostics::line("💾 Metadata saved to: " + file.filename().string());
  Diagnostics::line("   File size: " + formatInt(static_cast<long long>(bytes.size())) + " bytes");
}

}  // namespace tk
