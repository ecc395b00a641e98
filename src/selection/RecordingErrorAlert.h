#pragma once

#include <QString>

class QMessageBox;

namespace tk {

// The pickers' "Recording Error" alert: critical, the message as plain text, one "OK" button.
// Application-modal and not parented (the picker is often closed by then); deletes itself when
// dismissed. Main thread.
QMessageBox* showRecordingErrorAlert(const QString& message);

}  // namespace tk
