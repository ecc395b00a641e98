#include "selection/AreaOverlayWindow.h"

#include <QVBoxLayout>

#include "platform/qt/Diagnostics.h"
#include "platform/x11/NeverCapture.h"
#include "selection/AreaOverlayView.h"

namespace tk {

AreaOverlayWindow::AreaOverlayWindow(QRect frame, QSize initialSize, AreaSelectionStorage& storage,
                                     bool translucent)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint |
                           Qt::WindowDoesNotAcceptFocus),
      frame_(frame),
      translucent_(translucent) {
  setWindowTitle(QStringLiteral("Area Selector"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  if (translucent_) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  overlayView_ = new AreaOverlayView(frame.size(), initialSize, storage, this);
  layout->addWidget(overlayView_);
  setGeometry(frame_);
}

void AreaOverlayWindow::present() {
  // Marked before it is mapped: it would hide what is recorded and catch every click.
  try {
    markNeverCapture(winId());
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("⚠️ Area overlay may appear in recordings: ") + error.what());
  }
  setGeometry(frame_);
  show();
  raise();
}

}  // namespace tk
