#pragma once

#include <QObject>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QMessageBox;

namespace tk {

class RecordingCoordinator;
class RecordingError;

// Tells the person when a recording that had started ends in failure (the stream or the disk gave
// out, a stop from the panel, the tray or the auto-stop timer failed): a non-blocking alert with
// the error's description and recovery suggestion, and what was saved shown in the file manager.
//
// Main thread only.
class RecordingFailureAlert : public QObject {
  Q_OBJECT
 public:
  using Revealer = std::function<void(const std::filesystem::path&)>;

  // `reveal` shows a saved file (tests replace the file manager).
  explicit RecordingFailureAlert(RecordingCoordinator& coordinator, Revealer reveal = {});
  ~RecordingFailureAlert() override;

  // `problems`: what the take had lost before it ended (RecordingCoordinator::takeProblems).
  void show(const RecordingError& error, const std::filesystem::path& saved,
            const std::vector<std::string>& problems = {});
  // The alert on screen, if any.
  QMessageBox* alert() const;

 private:
  Revealer reveal_;
  QPointer<QMessageBox> alert_;
};

}  // namespace tk
