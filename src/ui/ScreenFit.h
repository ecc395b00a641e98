#pragma once

#include <QObject>

class QWidget;

namespace tk {

// Keeps a top-level window's frame inside the usable area of its screen: the window is shrunk to
// that area (never below its least size) and moved in. The first opening puts it in the middle of
// the screen under the pointer; later openings leave it where it was, moved in as little as it
// takes. It is fitted as it opens, before it is mapped (the window manager keeps that place), and
// again once it has been framed and the real frame is known. Main thread only.
class ScreenFit : public QObject {
  Q_OBJECT
 public:
  // Owned by `window`.
  static void install(QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit ScreenFit(QWidget* window);
  void fit();

  QWidget* window_;
  bool fitPending_ = false;
  bool placed_ = false;
};

}  // namespace tk
