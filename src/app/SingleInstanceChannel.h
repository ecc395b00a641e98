#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace tk {

// One running application per user and X display. The first launch listens on a local socket; a
// later launch finds it, asks it to reopen and exits. Main thread only.
class SingleInstanceChannel : public QObject {
  Q_OBJECT
 public:
  // `socketPath` empty: the socket of this user and display (see defaultSocketPath).
  explicit SingleInstanceChannel(QString socketPath = {}, QObject* parent = nullptr);
  ~SingleInstanceChannel() override;

  // In $XDG_RUNTIME_DIR (else the temporary folder), named after the user and the display.
  static QString defaultSocketPath();

  enum class Role { primary, secondary, failed };
  // Asks a running instance to reopen (secondary), or starts listening (primary). A stale socket
  // of a crashed instance is replaced. On failure the application runs on as its own instance.
  Role claim();

  const QString& socketPath() const { return socketPath_; }

 signals:
  // A later launch asked this instance to bring its main window back.
  void reopenRequested();

 private:
  bool askRunningInstance();
  bool listen();
  void acceptConnection();
  void readRequest(int connection);

  QString socketPath_;
  int listener_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tk
