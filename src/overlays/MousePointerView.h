#pragma once

#include <QImage>
#include <optional>

#include "platform/x11/GlobalMouseMonitor.h"

namespace tk {

// The highlight ring drawn around the pointer: three rings whose colours follow the button that
// is down, and, when the system pointer is not shown, a dot marking the pointer itself.
struct MousePointerView {
  static constexpr int kSide = 70;

  bool showMouse = true;
  std::optional<MouseEventType> event;
  // The window's side; the rings keep their insets from its edges.
  int side = kSide;

  // The ring on a transparent square of `side` pixels, centred on the pointer.
  QImage render() const;
};

}  // namespace tk
