#pragma once

#include <QAbstractButton>

#include "model/BackgroundSettings.h"

namespace tk {

// One gradient swatch with its caption: the preset's gradient in a 48 × 32 rounded swatch, outlined
// in the accent colour and captioned in it while selected. Main thread only.
class GradientPresetButton : public QAbstractButton {
  Q_OBJECT

 public:
  GradientPresetButton(GradientPreset preset, QWidget* parent = nullptr);

  GradientPreset preset() const { return preset_; }
  bool isSelected() const { return isSelected_; }
  void setSelected(bool selected);
  // "Sunset", "Ocean", ... ("Custom" for the custom preset).
  static QString caption(GradientPreset preset);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  GradientPreset preset_;
  bool isSelected_ = false;
};

}  // namespace tk
