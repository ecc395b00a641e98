#pragma once

#include <QLineF>
#include <QRectF>
#include <vector>

namespace tk {

// The audio waveform as vertical bars, one per sample, symmetric about the middle line of the
// rectangle it is drawn in. When there are more samples than points across, the samples that share
// a point become one bar as tall as the loudest of them, so a long recording costs no more to draw
// than the width. Pure value; any thread.
struct TrimmerWaveformShape {
  std::vector<float> samples;  // 0 ... 1

  // The bars in `rect`: the bar of sample i stands at rect.left() + rect.width() / N * i.
  std::vector<QLineF> bars(const QRectF& rect) const;
};

}  // namespace tk
