#include "app/CoordinatorRecordingControl.h"

#include "recording/RecordingCoordinator.h"

namespace tk {

QCoro::Task<void> CoordinatorRecordingControl::prepareRecording(RecordingMode mode,
                                                                RecordingConfiguration configuration) {
  co_await coordinator_.prepareRecording(std::move(mode), std::move(configuration));
}

QCoro::Task<void> CoordinatorRecordingControl::startRecording() {
  co_await coordinator_.startRecording();
}

QCoro::Task<void> CoordinatorRecordingControl::stopRecording() {
  co_await coordinator_.stopRecording();
}

QCoro::Task<void> CoordinatorRecordingControl::cancelStart() {
  co_await coordinator_.cancelStart();
}

RecordingControl::Activity CoordinatorRecordingControl::activity() const {
  switch (coordinator_.recordingState().kind()) {
    case RecordingState::Kind::recording:
    case RecordingState::Kind::paused:
      return Activity::recording;
    case RecordingState::Kind::preparing:
    case RecordingState::Kind::ready:
      return Activity::starting;
    case RecordingState::Kind::finalizing:
      return Activity::finishing;
    case RecordingState::Kind::completed:
    case RecordingState::Kind::failed:
    case RecordingState::Kind::idle:
      return Activity::idle;
  }
  return Activity::idle;
}

}  // namespace tk
