#pragma once

#include <QRectF>
#include <cstdint>
#include <vector>

namespace tk {

// Which pixels of a canvas a rounded rectangle covers, and how much: per row, a run of fully
// covered pixels with anti-aliased partial pixels on either side. A row costs a few bytes, so a
// mask is cheap to build and to keep, and drawing through it touches only the pixels it covers.
// Rectangles are in pixel space (origin top left, y down). Used on the render thread only.
class CoverageMask {
 public:
  struct Row {
    int y = 0;
    int x0 = 0, x1 = 0;        // every pixel with some coverage: [x0, x1)
    int full0 = 0, full1 = 0;  // fully covered pixels: [full0, full1), inside [x0, x1)
    uint32_t partial = 0;      // coverage of [x0, full0) then [full1, x1) in partials()
  };

  // The rounded rectangle `rect` with corner radius `radius` (brought within half the shorter
  // side), clipped to `clip` and to the canvas. A radius of half a square's side makes a circle.
  void build(const QRectF& rect, double radius, const QRectF& clip, int canvasWidth, int canvasHeight);
  void clear();

  const std::vector<Row>& rows() const { return rows_; }
  const uint8_t* partials() const { return partials_.data(); }
  bool isEmpty() const { return rows_.empty(); }
  // Calls f(x, y, coverage) for every covered pixel, row by row.
  template <typename F>
  void forEachCovered(F&& f) const {
    for (const auto& row : rows_) {
      const uint8_t* cov = partials_.data() + row.partial;
      for (int x = row.x0; x < row.full0; ++x) f(x, row.y, *cov++);
      for (int x = row.full0; x < row.full1; ++x) f(x, row.y, uint8_t{255});
      for (int x = row.full1; x < row.x1; ++x) f(x, row.y, *cov++);
    }
  }
  // Coverage of one pixel, 0 to 255 (for tests and sampling).
  int coverageAt(int x, int y) const;

 private:
  std::vector<Row> rows_;
  std::vector<uint8_t> partials_;
};

}  // namespace tk
