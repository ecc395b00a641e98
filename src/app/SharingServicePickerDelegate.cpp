#include "app/SharingServicePickerDelegate.h"

namespace tk {

void SharingServicePickerDelegate::sharingServicePickerDidChooseSharingService(
    SharingServicePicker&, const std::optional<SharingService>& service) {
  if (onDidChooseService) onDidChooseService(service);
}

}  // namespace tk
