#pragma once

#include <QObject>

namespace tk {

// Gives every button of the application that has no accessible name of its own the text of its
// tooltip as its name, so that icon-only buttons (the bar's quit, camera, microphone, sound and
// gear, the panels' and editor's symbol buttons) read as what they do on the accessibility bus.
// A name set explicitly is kept. Installed once for the whole application; main thread only.
class AccessibleNaming : public QObject {
 public:
  // Idempotent; the filter lives as long as the application object.
  static void install();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit AccessibleNaming(QObject* parent) : QObject(parent) {}
};

}  // namespace tk
