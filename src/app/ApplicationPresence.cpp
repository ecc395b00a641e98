#include "app/ApplicationPresence.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "app/AppDelegate.h"
#include "platform/qt/MemoryRelease.h"
#include "platform/x11/TaskbarPresence.h"

namespace tk {

namespace {

// The application's icon (data/tavelkombrix.svg), drawn here so the tray needs no image loader:
// a dark tile with a screen and the red record dot.
QIcon applicationIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(0.5, 0.5);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x24, 0x30));
  painter.drawRoundedRect(QRectF(8, 8, 112, 112), 26, 26);
  QPen light(QColor(0xe8, 0xec, 0xf4), 6, Qt::SolidLine, Qt::RoundCap);
  painter.setPen(light);
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(22, 30, 84, 56), 8, 8);
  painter.drawLine(QPointF(50, 100), QPointF(78, 100));
  painter.drawLine(QPointF(64, 88), QPointF(64, 100));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xe6, 0x33, 0x59));
  painter.drawEllipse(QPointF(64, 58), 15, 15);
  return QIcon(pixmap);
}

}  // namespace

ApplicationPresence::ApplicationPresence(AppDelegate& delegate) : delegate_(delegate) {
  qApp->installEventFilter(this);
  scheduleUpdate();
}

ApplicationPresence::~ApplicationPresence() {
  if (qApp) qApp->removeEventFilter(this);
}

QSystemTrayIcon* ApplicationPresence::icon() const {
  return icon_.get();
}

bool ApplicationPresence::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::Show || type == QEvent::Hide) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->isWindow()) {
    if (type == QEvent::Hide && qobject_cast<QMessageBox*>(watched)) alertDismissed_ = true;
    // A picker or other window that goes with its close gives its memory back once it is gone.
    if (type == QEvent::Hide && static_cast<QWidget*>(watched)->testAttribute(Qt::WA_DeleteOnClose))
      connect(watched, &QObject::destroyed, this, &ApplicationPresence::releaseMemory, Qt::UniqueConnection);
    scheduleUpdate();
  }
  return false;
}

void ApplicationPresence::releaseMemory() {
  MemoryRelease::trim();
}

void ApplicationPresence::scheduleUpdate() {
  if (updateScheduled_) return;
  updateScheduled_ = true;
  QMetaObject::invokeMethod(
      this, [this] { update(); }, Qt::QueuedConnection);
}

void ApplicationPresence::update() {
  updateScheduled_ = false;
  const bool alertDismissed = std::exchange(alertDismissed_, false);
  if (!AppDelegate::hasVisibleWindows() && alertDismissed) {
    // The alert was the last thing on screen (a start that failed): back to the bar.
    delegate_.reopen();
    return;
  }
  const bool wanted = !AppDelegate::hasVisibleWindows() && TaskbarPresence::shared().isShown() &&
                      QSystemTrayIcon::isSystemTrayAvailable();
  if (wanted && !icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>(applicationIcon());
    icon_->setToolTip(QApplication::applicationName());
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason) {
      // Queued: the icon goes away as the bar shows, and must not be deleted in its own signal.
      QMetaObject::invokeMethod(
          this, [this] { delegate_.reopen(); }, Qt::QueuedConnection);
    });
    icon_->show();
  } else if (!wanted && icon_) {
    icon_->hide();
    icon_.reset();
  }
}

}  // namespace tk
