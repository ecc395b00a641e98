#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace tk {

// Finds the top-level window a view is shown in and reports its events: once found it calls
// onWindowOpen, then watches the window (as an event filter) for activation, deactivation and the
// close. The search starts on the next turn of the event loop and retries every 50 ms, eleven
// attempts in all; a view that never joins a window gets no callback. The retries are children of
// the accessor, so none outlives it. Main thread only.
class WindowAccessor : public QObject {
  Q_OBJECT

 public:
  static constexpr int kLastAttempt = 10;

  explicit WindowAccessor(QWidget* view);

  std::function<void(QWidget*)> onWindowOpen;
  std::function<void(QWidget*)> onWindowActive;
  std::function<void(QWidget*)> onWindowDeactivate;
  std::function<void()> onWindowClose;
  // Asked before a close; false keeps the window open (the close is ignored, onWindowClose not called).
  std::function<bool()> shouldClose;

  QWidget* window() const { return window_; }
  int attempts() const { return attempts_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void attempt(int n);

  QPointer<QWidget> view_;
  QPointer<QWidget> window_;
  int attempts_ = 0;
};

}  // namespace tk
