#include "settings/SeparateLayersSettingsSection.h"

#include <QVBoxLayout>

#include "settings/SToggle.h"

namespace tk {

SeparateLayersSettingsSection::SeparateLayersSettingsSection(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  toggle_ = new SToggle(tr("Enable Separate Layer Recording"), bindingOf(settings::enableSeparateLayers),
                        tr("Record screen and camera as separate files"), this);
  layout->addWidget(toggle_);
}

}  // namespace tk
