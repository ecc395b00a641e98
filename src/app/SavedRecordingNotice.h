#pragma once

#include <QDialog>
#include <QPointer>
#include <filesystem>
#include <string>
#include <vector>

#include "recording/RecordingShell.h"

class QLabel;
class QPushButton;

namespace tk {

// The window that says where a finished recording was saved, for a desktop that could not open
// the movie or its folder, or for a take that lost something on the way: "Recording Saved", the
// full path as selectable text, what the take lost (one line each), "Copy Path" (to the clipboard)
// and "Close". Not modal: the person may go on at once.
class SavedRecordingWindow : public QDialog {
  Q_OBJECT
 public:
  SavedRecordingWindow(const std::filesystem::path& saved, const std::vector<std::string>& problems);

  QString path() const { return path_; }
  // The lines on what the take lost, as shown.
  QStringList problems() const { return problems_; }
  QPushButton* copyButton() const { return copy_; }

 private:
  QString path_;
  QStringList problems_;
  QPushButton* copy_ = nullptr;
};

// Shows one `SavedRecordingWindow` at a time for the coordinator's hand-off; a newer recording
// replaces the window still shown. Installed for the coordinator while it lives. Main thread.
class SavedRecordingNotice : public RecordingShell::SavedNotice {
 public:
  SavedRecordingNotice();
  ~SavedRecordingNotice() override;

  void showSaved(const std::filesystem::path& saved, const std::vector<std::string>& problems) override;
  SavedRecordingWindow* window() const { return window_; }

 private:
  QPointer<SavedRecordingWindow> window_;
};

}  // namespace tk
