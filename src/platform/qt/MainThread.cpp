#include "platform/qt/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace tk {

void postToMainThread(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

bool isMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace tk
