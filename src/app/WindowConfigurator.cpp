#include "app/WindowConfigurator.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tk {

namespace {
constexpr const char* kConfiguredProperty = "tkWindowConfigured";
}

QSize WindowConfigurator::contentSize(QSize fitting) {
  return {fitting.width() <= minimumContentSize.width() ? minimumContentSize.width() : fitting.width(),
          fitting.height() <= minimumContentSize.height() ? minimumContentSize.height() : fitting.height()};
}

bool WindowConfigurator::isConfigured(const QWidget* window) {
  return window && window->property(kConfiguredProperty).toBool();
}

bool WindowConfigurator::configure(QWidget* view) {
  if (!view) return false;
  QWidget* window = view->window();
  if (isConfigured(window)) return false;

  const bool wasVisible = window->isVisible();
  window->setProperty(kConfiguredProperty, true);
  window->setAttribute(Qt::WA_TranslucentBackground);
  window->setAttribute(Qt::WA_NoSystemBackground);
  window->setWindowFlags(window->windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
  window->installEventFilter(new WindowConfigurator(window));

  window->resize(contentSize(window->sizeHint().expandedTo(window->minimumSizeHint())));

  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
  }
  // Changing the window flags takes a shown window down; bring it back as it was.
  if (wasVisible) window->show();
  return true;
}

void WindowConfigurator::schedule(QWidget* view) {
  QTimer::singleShot(0, view, [guard = QPointer<QWidget>(view)] {
    if (guard) configure(guard);
  });
}

bool WindowConfigurator::eventFilter(QObject* watched, QEvent* event) {
  // A press that no control took reaches the window: drag the window with it.
  if (event->type() == QEvent::MouseButtonPress) {
    auto* press = static_cast<QMouseEvent*>(event);
    auto* window = qobject_cast<QWidget*>(watched);
    if (window && press->button() == Qt::LeftButton && window->windowHandle()) {
      if (window->windowHandle()->startSystemMove()) return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tk
