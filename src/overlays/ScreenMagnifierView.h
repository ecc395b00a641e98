#pragma once

#include <QImage>
#include <QSize>

namespace tk {

// The magnifier's picture: the region under the pointer three times larger, pixels kept sharp,
// inside a thin blue frame.
struct ScreenMagnifierView {
  static constexpr QSize kRegion{134, 116};
  static constexpr int kZoom = 3;
  static constexpr QSize kSide{kRegion.width() * kZoom, kRegion.height() * kZoom};

  // `screenshot` is the region already cut out; the result is three times its size.
  static QImage render(const QImage& screenshot);
};

}  // namespace tk
