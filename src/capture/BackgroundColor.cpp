#include "capture/BackgroundColor.h"

namespace tk {

uint32_t streamBackgroundColor(BackgroundType background) {
  switch (background) {
    case BackgroundType::clear:
      return 0x00000000u;
    case BackgroundType::white:
      return 0xffffffffu;
    case BackgroundType::gray:
      return 0xff8e8e93u;
    case BackgroundType::yellow:
      return 0xffffcc00u;
    case BackgroundType::orange:
      return 0xffff9500u;
    case BackgroundType::green:
      return 0xff34c759u;
    case BackgroundType::blue:
      return 0xff007affu;
    case BackgroundType::red:
      return 0xffff3b30u;
    case BackgroundType::wallpaper:
    case BackgroundType::black:
    case BackgroundType::custom:
      break;
  }
  return 0xff000000u;
}

}  // namespace tk
