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
          [this](const RecordingError& error, const std::filesystem::path& saved) { show(error, saved); });
}

RecordingFailureAlert::~RecordingFailureAlert() {
  if (alert_) delete alert_.data();
}

QMessageBox* RecordingFailureAlert::alert() const {
  return alert_;
}

void RecordingFailureAlert::show(const RecordingError& error, const std::filesystem::path& saved) {
  // One alert at a time: a newer failure replaces the one still shown.
  if (alert_) delete alert_.data();
  auto* alert = new QMessageBox(QMessageBox::Warning, tr("Recording Error"),
                                QString::fromStdString(error.localizedDescription()), QMessageBox::Ok);
  QString details = QString::fromStdString(error.recoverySuggestion().value_or(""));
  if (!saved.empty()) {
    if (!details.isEmpty()) details += "\n\n";
    details += tr("Saved to: ") + QString::fromStdString(saved.string());
  }
  alert->setInformativeText(details);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  alert->setModal(false);
  alert->show();
  alert_ = alert;
  if (!saved.empty()) reveal_(saved);
}

}  // namespace tk
