#include "platform/x11/PixelOps.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tk::pixelops {

namespace {

QRect bounds(const PixelBuffer& buffer) {
  return {0, 0, buffer.width(), buffer.height()};
}

// Copies a row and sets every alpha byte in the same pass. The frame is the largest thing the
// capture thread touches, so this is written out in 16-byte steps rather than left to the
// optimiser's cost model.
void copyRowOpaque(uint32_t* to, const uint32_t* from, int count) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
  if ((reinterpret_cast<uintptr_t>(to) & 15) == 0) {
    // Streaming stores: the frame goes to another thread, not back into this one's cache, and
    // skipping the read of the old pixels saves a third of the memory traffic.
    for (; x + 16 <= count; x += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 4));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 8));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 12));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + x), _mm_or_si128(a, alpha));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + x + 4), _mm_or_si128(b, alpha));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + x + 8), _mm_or_si128(c, alpha));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + x + 12), _mm_or_si128(d, alpha));
    }
    _mm_sfence();
  }
  for (; x + 16 <= count; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 4));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 8));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_or_si128(a, alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 4), _mm_or_si128(b, alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 8), _mm_or_si128(c, alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 12), _mm_or_si128(d, alpha));
  }
#endif
  for (; x < count; ++x) to[x] = from[x] | 0xff000000u;
}

void copyRowsOpaque(PixelBuffer& target, const QRect& area, QPoint at, const uint8_t* source,
                    int sourceBytesPerRow) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* from =
        reinterpret_cast<const uint32_t*>(source + static_cast<size_t>(y - at.y()) * sourceBytesPerRow) +
        (area.left() - at.x());
    copyRowOpaque(reinterpret_cast<uint32_t*>(target.row(y)) + area.left(), from, area.width());
  }
}

}  // namespace

void copyOpaque(PixelBuffer& target, QPoint at, const uint8_t* source, int sourceBytesPerRow, QSize size) {
  const QRect area = QRect(at, size) & bounds(target);
  if (area.isEmpty()) return;
  copyRowsOpaque(target, area, at, source, sourceBytesPerRow);
}

void copyOpaqueClipped(PixelBuffer& target, QPoint at, const uint8_t* source, int sourceBytesPerRow,
                       QSize size, const QRegion& clip) {
  const QRect whole = QRect(at, size) & bounds(target);
  for (const QRect& part : clip& whole) copyRowsOpaque(target, part, at, source, sourceBytesPerRow);
}

void fillRect(PixelBuffer& target, const QRect& rect, uint32_t argb) {
  const QRect area = rect & bounds(target);
  if (area.isEmpty()) return;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    std::fill_n(reinterpret_cast<uint32_t*>(target.row(y)) + area.left(), area.width(), argb);
  }
}

void fillRegion(PixelBuffer& target, const QRegion& region, uint32_t argb) {
  for (const QRect& part : region) fillRect(target, part, argb);
}

void blendPremultiplied(PixelBuffer& target, QPoint at, const uint32_t* argb, QSize size) {
  const QRect area = QRect(at, size) & bounds(target);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const uint32_t* from = argb + static_cast<size_t>(y - at.y()) * size.width() + (area.left() - at.x());
    auto* to = reinterpret_cast<uint32_t*>(target.row(y)) + area.left();
    for (int x = 0; x < area.width(); ++x) {
      const uint32_t s = from[x];
      const uint32_t alpha = s >> 24;
      if (alpha == 0) continue;
      if (alpha == 255) {
        to[x] = s;
        continue;
      }
      const uint32_t d = to[x];
      const uint32_t keep = 255 - alpha;
      auto channel = [&](int shift) {
        const uint32_t value = ((s >> shift) & 0xff) + (((d >> shift) & 0xff) * keep + 127) / 255;
        return std::min<uint32_t>(value, 255) << shift;
      };
      to[x] = channel(24) | channel(16) | channel(8) | channel(0);
    }
  }
}

void scale(const PixelBuffer& source, const QRect& sourceRect, PixelBuffer& target, const QRect& targetRect) {
  const QImage from(source.data(), source.width(), source.height(), source.bytesPerRow(),
                    QImage::Format_ARGB32_Premultiplied);
  QImage to(target.data(), target.width(), target.height(), target.bytesPerRow(),
            QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&to);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(targetRect, from, sourceRect);
}

QRect aspectFit(QSize content, const QRect& bounds) {
  if (content.isEmpty() || bounds.isEmpty()) return bounds;
  const double factor = std::min(static_cast<double>(bounds.width()) / content.width(),
                                 static_cast<double>(bounds.height()) / content.height());
  const int width = std::max(1, static_cast<int>(content.width() * factor + 0.5));
  const int height = std::max(1, static_cast<int>(content.height() * factor + 0.5));
  return {bounds.x() + (bounds.width() - width) / 2, bounds.y() + (bounds.height() - height) / 2, width,
          height};
}

}  // namespace tk::pixelops
