#pragma once

#include <QWidget>

namespace tk {

class SToggle;

// The studio section that records screen and camera as separate layers. Main thread only.
class SeparateLayersSettingsSection : public QWidget {
  Q_OBJECT
 public:
  explicit SeparateLayersSettingsSection(QWidget* parent = nullptr);
  SToggle* toggle() const { return toggle_; }

 private:
  SToggle* toggle_ = nullptr;
};

}  // namespace tk
