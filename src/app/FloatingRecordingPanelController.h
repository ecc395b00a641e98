#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recording/RecordingShell.h"

namespace tk {

class FloatingRecordingPanel;
class RecordingCoordinator;

// Owns the floating recording panel and shows the recording's duration (the coordinator's, read
// every tenth of a second while not paused). Its buttons call the coordinator's stop, pause and resume.
//
// Main thread only. show, hide and setPaused take effect on the next turns of the event loop, all
// of each call's changes at once and in call order: a hide followed at once by a show leaves a
// shown panel that controls the new recording.
class FloatingRecordingPanelController : public RecordingShell::Panel {
 public:
  static FloatingRecordingPanelController& shared();

  FloatingRecordingPanelController();
  ~FloatingRecordingPanelController() override;

  void show(RecordingCoordinator& coordinator) override;
  void hide() override;
  void setPaused(bool paused) override;
  // Shows the first (the gravest) and how many more there are.
  void showProblems(const std::vector<std::string>& problems) override;

  bool isVisible() const { return isVisible_; }
  bool isRecording() const { return isRecording_; }
  bool isPaused() const { return isPaused_; }
  double recordingDuration() const { return recordingDuration_; }
  const std::string& problem() const { return problem_; }
  RecordingCoordinator* recordingCoordinator() const;
  FloatingRecordingPanel* panel() const { return panel_.get(); }

  // The panel's buttons.
  void stopClicked();
  void pauseResumeClicked();

  // Whole seconds as "%02d:%02d" minutes and seconds; minutes are not limited (3725 s: "62:05").
  static std::string formatDuration(double seconds);

 private:
  void defer(std::function<void()> work);
  void showPanel();
  void startTimer();
  void stopTimer();
  void changed();

  QObject context_;
  std::unique_ptr<FloatingRecordingPanel> panel_;
  std::unique_ptr<QTimer> durationTimer_;
  QPointer<RecordingCoordinator> coordinator_;
  bool isVisible_ = false;
  double recordingDuration_ = 0;
  bool isPaused_ = false;
  bool isRecording_ = false;
  std::string problem_;
};

}  // namespace tk
