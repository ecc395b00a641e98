#pragma once

#include <QRectF>
#include <optional>

namespace tk {

// The area picked in the overlay, shared by one area selection's overlay, control panel and
// resize sheet: points relative to the display, origin at its bottom-left corner, y upwards. The
// overlay writes it after every change; the panel reads it for its size label and for Record.
// Nothing observes it. Main thread only.
class AreaSelectionStorage {
 public:
  std::optional<QRectF> selectedArea;
};

}  // namespace tk
