#pragma once

#include <QObject>
#include <functional>
#include <optional>

#include "platform/qt/SharingServicePicker.h"

namespace tk {

// Passes a sharing-service picker's outcome on to a closure: the chosen service, or none when the
// picker closed without a choice. Without a closure the outcome is dropped. Nothing in the
// application opens a picker yet. Main thread only.
class SharingServicePickerDelegate : public QObject, public SharingServicePicker::Delegate {
  Q_OBJECT
 public:
  SharingServicePickerDelegate() = default;

  // Set by whoever made the delegate; empty at first.
  std::function<void(const std::optional<SharingService>&)> onDidChooseService;

  void sharingServicePickerDidChooseSharingService(SharingServicePicker& picker,
                                                   const std::optional<SharingService>& service) override;
};

}  // namespace tk
