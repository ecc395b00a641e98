#include "selection/RecordingErrorAlert.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>

namespace tk {

QMessageBox* showRecordingErrorAlert(const QString& message) {
  auto* alert = new QMessageBox();
  alert->setAttribute(Qt::WA_DeleteOnClose);
  alert->setWindowTitle(QCoreApplication::translate("RecordingErrorAlert", "Recording Error"));
  alert->setTextFormat(Qt::PlainText);
  alert->setText(QCoreApplication::translate("RecordingErrorAlert", "Recording Error"));
  alert->setInformativeText(message);
  // Error texts can quote window titles and file names: never markup.
  if (auto* informative = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
    informative->setTextFormat(Qt::PlainText);
  alert->setIcon(QMessageBox::Critical);
  alert->addButton(QMessageBox::Ok);
  alert->setWindowModality(Qt::ApplicationModal);
  alert->open();
  return alert;
}

}  // namespace tk
