#include "ui/ScreenFit.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tk {

void ScreenFit::install(QWidget* window) {
  window->installEventFilter(new ScreenFit(window));
}

ScreenFit::ScreenFit(QWidget* window) : QObject(window), window_(window) {}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_) return false;
  // An opening, not the desktop showing the window again (un-minimising).
  if (event->type() == QEvent::Show && !event->spontaneous()) {
    fit();
    fitPending_ = true;
  } else if (fitPending_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
             window_->frameGeometry() != window_->geometry()) {
    fitPending_ = false;
    fit();
  }
  return false;
}

void ScreenFit::fit() {
  QWidget& window = *window_;
  QScreen* shownOn = placed_ ? window.screen() : QGuiApplication::screenAt(QCursor::pos());
  if (!shownOn) shownOn = window.screen();
  if (!shownOn) return;
  const QRect usable = shownOn->availableGeometry();
  // Before the window manager framed the window its frame is unknown: room is kept for a title
  // bar and borders, and the window is fitted again once framed.
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  const QMargins margins = frame != inner
                               ? QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                                          frame.right() - inner.right(), frame.bottom() - inner.bottom())
                               : QMargins(8, 32, 8, 8);
  const QSize room = usable.size().shrunkBy(margins);
  const QSize fitted = window.size().boundedTo(room).expandedTo(window.minimumSizeHint().boundedTo(room));
  if (fitted != window.size()) window.resize(fitted);
  QRect outer(frame.topLeft(), fitted.grownBy(margins));
  if (!placed_) outer.moveCenter(usable.center());
  if (outer.right() > usable.right()) outer.moveRight(usable.right());
  if (outer.bottom() > usable.bottom()) outer.moveBottom(usable.bottom());
  if (outer.left() < usable.left()) outer.moveLeft(usable.left());
  if (outer.top() < usable.top()) outer.moveTop(usable.top());
  placed_ = true;
  if (outer.topLeft() != frame.topLeft()) window.move(outer.topLeft());
}

}  // namespace tk
