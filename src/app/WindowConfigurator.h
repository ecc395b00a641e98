#pragma once

#include <QObject>
#include <QSize>

class QWidget;

namespace tk {

// Turns the main window into a small bar: borderless, clear (its content paints its own shape),
// without shadow, movable by dragging its background, at least 480 x 56, centred on its screen.
// A window is configured once; later calls leave a window the user moved or resized alone.
// Main thread only.
class WindowConfigurator : public QObject {
  Q_OBJECT
 public:
  static constexpr QSize minimumContentSize{480, 56};

  // Configures `view`'s window now. Returns false when the window was configured before (or there
  // is none) and nothing changed.
  static bool configure(QWidget* view);
  // Configures `view`'s window on the next turn of the event loop, after it is put in its window.
  static void schedule(QWidget* view);

  // The content size rule: each side at least the minimum, else the content's own.
  static QSize contentSize(QSize fitting);

  static bool isConfigured(const QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
};

}  // namespace tk
