#pragma once

#include <QWidget>

namespace tk {

class ColorWell;
class SPicker;
class SToggle;
class SettingsSlider;

// The studio section of the custom cursor: its switch and, while on, the style, size, scale
// animation, ripple effect and (while the ripple is on) the ripple colour. The colour is stored as
// its red, green and blue in three keys; the opacity chosen is not kept. Main thread only.
class CustomCursorSettingsSection : public QWidget {
  Q_OBJECT
 public:
  explicit CustomCursorSettingsSection(QWidget* parent = nullptr);

  SToggle* toggle() const { return toggle_; }
  QWidget* options() const { return options_; }
  SPicker* style() const { return style_; }
  SettingsSlider* size() const { return size_; }
  SToggle* scaleAnimation() const { return scaleAnimation_; }
  SToggle* rippleEffect() const { return rippleEffect_; }
  QWidget* rippleColorRow() const { return rippleColorRow_; }
  ColorWell* rippleColor() const { return rippleColor_; }

 private:
  void refreshRippleColor();

  SToggle* toggle_ = nullptr;
  QWidget* options_ = nullptr;
  SPicker* style_ = nullptr;
  SettingsSlider* size_ = nullptr;
  SToggle* scaleAnimation_ = nullptr;
  SToggle* rippleEffect_ = nullptr;
  QWidget* rippleColorRow_ = nullptr;
  ColorWell* rippleColor_ = nullptr;
};

}  // namespace tk
