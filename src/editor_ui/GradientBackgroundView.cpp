#include "editor_ui/GradientBackgroundView.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "editor/GradientEndpoints.h"

namespace tk {

namespace {

QColor colourOf(const CodableColor& c) {
  auto unit = [](double v) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0); };
  return QColor::fromRgbF(static_cast<float>(unit(c.red)), static_cast<float>(unit(c.green)),
                          static_cast<float>(unit(c.blue)), static_cast<float>(unit(c.alpha)));
}

}  // namespace

void GradientBackgroundView::paint(QPainter& painter, const QRectF& rect, const GradientSettings& gradient) {
  if (gradient.colors.empty()) {
    painter.fillRect(rect, Qt::black);
    return;
  }
  if (gradient.colors.size() == 1) {
    painter.fillRect(rect, colourOf(gradient.colors.front()));
    return;
  }
  const auto ends = GradientEndpoints::forAngle(gradient.angle, rect.size());
  QLinearGradient linear(rect.topLeft() + ends.start, rect.topLeft() + ends.end);
  const double last = static_cast<double>(gradient.colors.size() - 1);
  for (size_t i = 0; i < gradient.colors.size(); ++i)
    linear.setColorAt(static_cast<double>(i) / last, colourOf(gradient.colors[i]));
  painter.fillRect(rect, linear);
}

}  // namespace tk
