#pragma once

#include <QColor>
#include <QImage>

#include "model/MetadataEvents.h"

namespace tk {

// The expanding rings of one accepted click: three rings in the user's colour for a left click,
// two purple ones for a right click, four yellow ones for a double click, growing from the click
// and fading out with an ease-out curve. Times are seconds since the ripple was first shown.
class RippleEffectView {
 public:
  static constexpr int kSide = 200;

  struct Style {
    int rings;
    double lineWidth;
    QColor color;
    double duration;
  };
  static Style style(ClickType clickType, const QColor& userColor);

  RippleEffectView(QColor color, ClickType clickType, double rippleScale = 0.1,
                   double rippleOpacity = 0.8);

  ClickType clickType() const { return clickType_; }
  double duration() const { return style(clickType_, color_).duration; }
  // The animated state: the outermost ring's scale and the overall opacity.
  double rippleScale(double elapsed) const;
  double rippleOpacity(double elapsed) const;

  // The ripple on a transparent square of kSide pixels centred on the click.
  QImage render(double elapsed) const;

 private:
  double progress(double elapsed) const;

  QColor color_;
  ClickType clickType_;
  double startScale_;
  double startOpacity_;
};

}  // namespace tk
