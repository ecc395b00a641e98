#include "settings/RecorderView.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "settings/AlphaChannelSettingsSection.h"
#include "settings/ClickToZoomSettingsSection.h"
#include "settings/CustomBackgroundColor.h"
#include "settings/CustomCursorSettingsSection.h"
#include "settings/SDivider.h"
#include "settings/SForm.h"
#include "settings/SGroupBox.h"
#include "settings/SItem.h"
#include "settings/SPicker.h"
#include "settings/SSteper.h"
#include "settings/SToggle.h"
#include "settings/SeparateLayersSettingsSection.h"
#include "ui/ColorWell.h"

namespace tk {

RecorderView::RecorderView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The desktop style draws the thumb lighter than its groove, so the dark empty part reads as the
  // thumb and seems to move the wrong way: the thumb is drawn as the one dark part here.
  scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
      "QScrollBar:vertical { background: palette(base); width: 12px; margin: 0; }"
      "QScrollBar::handle:vertical { background: palette(mid); border-radius: 4px; min-height: 24px; "
      "margin: 2px; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
  auto* form = new SForm(10, false);
  scroll->setWidget(form);
  layout->addWidget(scroll);

  auto* recorder = new SGroupBox(tr("Recorder"));
  recorder->add(new SSteper(tr("Delay Before Recording"), bindingOf(settings::countdown),
                            settings::countdown.minimum, settings::countdown.maximum, 45));
  recorder->add(new SDivider);
  recorder->add(new SSteper(tr("Auto-Stop After (minutes)"), bindingOf(settings::autoStopMinutes),
                            settings::autoStopMinutes.minimum, settings::autoStopMinutes.maximum, 60,
                            tr("Set to 0 to disable auto-stop")));
  recorder->add(new SDivider);
  // A text that no option carries reads as the default.
  recorder->add(new SPicker(tr("Background"), pickerBindingOf(settings::backgroundColor),
                            {{tr("Wallpaper"), QStringLiteral("wallpaper")},
                             {tr("Black"), QStringLiteral("black")},
                             {tr("White"), QStringLiteral("white")},
                             {tr("Gray"), QStringLiteral("gray")}}));
  recorder->add(new SDivider);
  colorWell_ = new ColorWell(true);
  recorder->add(new SItem(tr("Custom Background Color"), 8, colorWell_));
  connect(colorWell_, &ColorWell::colorChosen, this, [this](const QColor& color) {
    customBackgroundColor_ = color;
    CustomBackgroundColor::write(CustomBackgroundColor::fromColor(color), SettingsStore::standard());
  });

  auto* afterwards = new SGroupBox;
  afterwards->add(new SToggle(tr("Prevent the computer from sleeping while recording"),
                              bindingOf(settings::preventSleep)));
  afterwards->add(new SDivider);
  afterwards->add(new SToggle(tr("Show floating preview after recording"), bindingOf(settings::showPreview)));
  afterwards->add(new SDivider);
  afterwards->add(
      new SToggle(tr("Open video trimmer after recording"), bindingOf(settings::trimAfterRecord)));

  auto* cursor = new SGroupBox;
  cursor->add(new SToggle(tr("Show Mouse Cursor"), bindingOf(settings::showCursor)));
  cursor->add(new SDivider);
  cursor->add(new SToggle(tr("Highlight the Mouse Cursor"), bindingOf(settings::highlightCursor),
                          tr("Not available for \"Single Window Capture\"")));

  auto* studio = new SGroupBox(tr("Studio Features"));
  alpha_ = new AlphaChannelSettingsSection;
  layers_ = new SeparateLayersSettingsSection;
  zoom_ = new ClickToZoomSettingsSection;
  cursor_ = new CustomCursorSettingsSection;
  studio->add(alpha_);
  studio->add(new SDivider);
  studio->add(layers_);
  studio->add(new SDivider);
  studio->add(zoom_);
  studio->add(new SDivider);
  studio->add(cursor_);

  groups_ = {recorder, afterwards, cursor, studio};
  for (SGroupBox* group : groups_) form->add(group);
  refreshCustomBackgroundColor();
}

void RecorderView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refreshCustomBackgroundColor();
}

void RecorderView::refreshCustomBackgroundColor() {
  const auto stored = CustomBackgroundColor::read(SettingsStore::standard());
  customBackgroundColor_ = stored ? CustomBackgroundColor::toColor(*stored) : QColor(Qt::black);
  colorWell_->setColor(customBackgroundColor_);
}

}  // namespace tk
