#include "editor_ui/GradientPresetPicker.h"

#include <QHBoxLayout>

#include "editor_ui/GradientPresetButton.h"
#include "platform/json/EnumTable.h"

namespace tk {

GradientPresetPicker::GradientPresetPicker(QWidget* parent) : QScrollArea(parent) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(true);
  auto* row = new QWidget(this);
  row->setAutoFillBackground(false);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(4, 0, 4, 0);
  layout->setSpacing(8);
  for (const auto& [preset, raw] : EnumTable<GradientPreset>::entries) {
    if (raw == "custom") continue;
    auto* button = new GradientPresetButton(preset, row);
    connect(button, &QAbstractButton::clicked, this, [this, preset = preset] {
      if (onPresetChosen) onPresetChosen(preset, gradientSettings(preset));
    });
    layout->addWidget(button, 0, Qt::AlignVCenter);
    buttons_.push_back(button);
  }
  setWidget(row);
  viewport()->setAutoFillBackground(false);
  setFixedHeight(row->sizeHint().height());
  setMinimumWidth(std::min(row->sizeHint().width(), 420));
}

void GradientPresetPicker::setSelectedPreset(GradientPreset preset) {
  for (auto* button : buttons_) button->setSelected(button->preset() == preset);
}

}  // namespace tk
