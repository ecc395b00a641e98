#pragma once

#include <QWidget>

namespace tk {

class SToggle;
class SettingsSlider;

// The studio section of click-to-zoom: its switch and, while on, the zoom level, duration and
// click threshold sliders. Main thread only.
class ClickToZoomSettingsSection : public QWidget {
  Q_OBJECT
 public:
  explicit ClickToZoomSettingsSection(QWidget* parent = nullptr);

  SToggle* toggle() const { return toggle_; }
  // The rows shown while the switch is on.
  QWidget* options() const { return options_; }
  SettingsSlider* zoomLevel() const { return zoomLevel_; }
  SettingsSlider* duration() const { return duration_; }
  SettingsSlider* clickThreshold() const { return clickThreshold_; }

 private:
  SToggle* toggle_ = nullptr;
  QWidget* options_ = nullptr;
  SettingsSlider* zoomLevel_ = nullptr;
  SettingsSlider* duration_ = nullptr;
  SettingsSlider* clickThreshold_ = nullptr;
};

}  // namespace tk
