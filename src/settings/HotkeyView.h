#pragma once

#include <QWidget>

namespace tk {

// The Hotkey tab: a note that keyboard shortcuts are still to come. No controls. Main thread only.
class HotkeyView : public QWidget {
  Q_OBJECT
 public:
  explicit HotkeyView(QWidget* parent = nullptr);
};

}  // namespace tk
