#include "settings/CustomCursorSettingsSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "settings/SPicker.h"
#include "settings/SToggle.h"
#include "settings/SettingsSlider.h"
#include "ui/ColorWell.h"

namespace tk {

CustomCursorSettingsSection::CustomCursorSettingsSection(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  toggle_ = new SToggle(QStringLiteral("Enable Custom Cursor"), bindingOf(settings::enableCustomCursor),
                        QStringLiteral("Custom cursor with animations"), this);
  layout->addWidget(toggle_);

  options_ = new QWidget(this);
  auto* rows = new QVBoxLayout(options_);
  rows->setContentsMargins(20, 0, 0, 0);

  // A text that names no style reads as circle.
  const auto* names = settings::cursorStyleChoices;
  style_ = new SPicker(tr("Style"), pickerBindingOf(settings::cursorStyle),
                       {{tr("Circle"), names[0]},
                        {tr("Arrow"), names[1]},
                        {tr("Pointer"), names[2]},
                        {tr("Custom"), names[3]}},
                       std::nullopt, options_);
  size_ = new SettingsSlider(
      QStringLiteral("Size:"), bindingOf(settings::cursorSize), settings::cursorSize.minimum,
      settings::cursorSize.maximum, 2, [](double v) { return QString::number(std::lround(v)) + "pt"; }, true,
      options_);
  scaleAnimation_ = new SToggle(tr("Scale Animation"), bindingOf(settings::enableCursorScaleAnimation),
                                std::nullopt, options_);
  rippleEffect_ = new SToggle(QStringLiteral("Ripple Effect"), bindingOf(settings::enableCursorRippleEffect),
                              std::nullopt, options_);

  rippleColorRow_ = new QWidget(options_);
  auto* colorRow = new QHBoxLayout(rippleColorRow_);
  colorRow->setContentsMargins(0, 0, 0, 0);
  auto* colorLabel = new QLabel(tr("Ripple Color:"), rippleColorRow_);
  QFont caption = colorLabel->font();
  caption.setPointSizeF(caption.pointSizeF() * 0.85);
  colorLabel->setFont(caption);
  colorLabel->setFixedWidth(SettingsSlider::kLabelColumn);
  rippleColor_ = new ColorWell(true, rippleColorRow_);
  rippleColor_->setAccessibleName(QStringLiteral("Ripple Color"));
  colorRow->addWidget(colorLabel);
  colorRow->addWidget(rippleColor_);
  colorRow->addStretch(1);

  for (QWidget* row :
       {static_cast<QWidget*>(style_), static_cast<QWidget*>(size_), static_cast<QWidget*>(scaleAnimation_),
        static_cast<QWidget*>(rippleEffect_), rippleColorRow_})
    rows->addWidget(row);
  layout->addWidget(options_);

  // The well's colour is the three stored components at full opacity; a choice stores only them.
  connect(rippleColor_, &ColorWell::colorChosen, this, [this](const QColor& chosen) {
    const QColor rgb = chosen.toRgb();
    if (!rgb.isValid()) return;
    settings::cursorRippleColorRed.write(rgb.redF());
    settings::cursorRippleColorGreen.write(rgb.greenF());
    settings::cursorRippleColorBlue.write(rgb.blueF());
    refreshRippleColor();
  });
  for (DoubleSetting component :
       {settings::cursorRippleColorRed, settings::cursorRippleColorGreen, settings::cursorRippleColorBlue})
    bindingOf(component).observe(this, [this] { refreshRippleColor(); });
  refreshRippleColor();

  const auto update = [this] {
    options_->setHidden(!toggle_->isOn());
    rippleColorRow_->setHidden(!rippleEffect_->isOn());
  };
  connect(toggle_, &SToggle::toggled, this, update);
  connect(rippleEffect_, &SToggle::toggled, this, update);
  bindingOf(settings::enableCustomCursor).observe(this, update);
  bindingOf(settings::enableCursorRippleEffect).observe(this, update);
  update();
}

void CustomCursorSettingsSection::refreshRippleColor() {
  const auto component = [](DoubleSetting setting) { return float(setting.read()); };
  rippleColor_->setColor(QColor::fromRgbF(component(settings::cursorRippleColorRed),
                                          component(settings::cursorRippleColorGreen),
                                          component(settings::cursorRippleColorBlue), 1.0f));
}

}  // namespace tk
