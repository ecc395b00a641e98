#include "selection/ApplicationSelectorViewModel.h"

namespace tk {

ApplicationSelectorViewModel::ApplicationSelectorViewModel(QObject* parent) : QObject(parent) {}

void ApplicationSelectorViewModel::setAppsByDisplay(AppsByDisplay appsByDisplay) {
  appsByDisplay_ = std::move(appsByDisplay);
  emit appsByDisplayChanged();
}

void ApplicationSelectorViewModel::setIsReady(bool isReady) {
  isReady_ = isReady;
  emit isReadyChanged(isReady);
}

}  // namespace tk
