#pragma once

#include <QScrollArea>
#include <functional>
#include <vector>

#include "model/BackgroundSettings.h"

namespace tk {

class GradientPresetButton;

// A horizontally scrolling row of gradient swatches, one per preset except "custom". Pressing one
// reports the preset and then its gradient to onPresetChosen, even when it was already chosen; the
// host writes both into its state and shows the choice back with setSelectedPreset, which writes
// nothing. Main thread only.
class GradientPresetPicker : public QScrollArea {
  Q_OBJECT

 public:
  explicit GradientPresetPicker(QWidget* parent = nullptr);

  std::function<void(GradientPreset, const GradientSettings&)> onPresetChosen;
  void setSelectedPreset(GradientPreset preset);

  const std::vector<GradientPresetButton*>& buttons() const { return buttons_; }

 private:
  std::vector<GradientPresetButton*> buttons_;
};

}  // namespace tk
