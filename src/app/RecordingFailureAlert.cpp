#include "app/RecordingFailureAlert.h"

#include <QMessageBox>

#include "model/RecordingError.h"
#include "platform/qt/FileManager.h"
#include "recording/RecordingCoordinator.h"

namespace tk {

RecordingFailureAlert::RecordingFailureAlert(RecordingCoordinator& coordinator, Revealer reveal)
    : reveal_(reveal ? std::move(reveal)
                     : Revealer([](const std::filesystem::path& item) { FileManager::reveal(item); })) {
  connect(&coordinator, &RecordingCoordinator::recordingFailed, this,
          [this, &coordinator](const RecordingError& error, const std::filesystem::path& saved) {
            show(error, saved, coordinator.takeProblems());
          });
}

RecordingFailureAlert::~RecordingFailureAlert() {
  if (alert_) delete alert_.data();
}

QMessageBox* RecordingFailureAlert::alert() const {
  return alert_;
}

void RecordingFailureAlert::show(const RecordingError& error, const std::filesystem::path& saved,
                                 const std::vector<std::string>& problems) {
  // One alert at a time: a newer failure replaces the one still shown.
  if (alert_) delete alert_.data();
  auto* alert = new QMessageBox(QMessageBox::Warning, tr("Recording Error"),
                                QString::fromStdString(error.localizedDescription()), QMessageBox::Ok);
  QString details;
  auto add = [&details](const QString& text) {
    if (text.isEmpty()) return;
    if (!details.isEmpty()) details += "\n\n";
    details += text;
  };
  add(QString::fromStdString(error.recoverySuggestion().value_or("")));
  if (!saved.empty()) add(tr("Saved to: ") + QString::fromStdString(saved.string()));
  // What the take had lost before it ended.
  for (const std::string& problem : problems) add(QString::fromStdString(problem));
  alert->setInformativeText(details);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  alert->setModal(false);
  alert->show();
  alert_ = alert;
  if (!saved.empty()) reveal_(saved);
}

}  // namespace tk
