#pragma once

#include "recording/RecordingServices.h"

namespace tk {

class RecordingCoordinator;

// The recording coordinator behind the main window's RecordingControl. Main thread only.
class CoordinatorRecordingControl : public RecordingControl {
 public:
  explicit CoordinatorRecordingControl(RecordingCoordinator& coordinator) : coordinator_(coordinator) {}

  QCoro::Task<void> prepareRecording(RecordingMode mode, RecordingConfiguration configuration) override;
  QCoro::Task<void> startRecording() override;
  QCoro::Task<void> stopRecording() override;
  QCoro::Task<void> cancelStart() override;
  Activity activity() const override;

 private:
  RecordingCoordinator& coordinator_;
};

}  // namespace tk
