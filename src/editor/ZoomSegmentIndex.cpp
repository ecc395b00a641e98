#include "editor/ZoomSegmentIndex.h"

#include <algorithm>
#include <cmath>

namespace tk {

ZoomSegmentIndex::ZoomSegmentIndex(const std::vector<ZoomSegment>& segments) : listSize_(segments.size()) {
  reaches_.reserve(segments.size());
  for (size_t i = 0; i < segments.size(); ++i) {
    const ZoomSegment& s = segments[i];
    // fmin and fmax pass over a value that is not a number, so a segment with one bad field is still
    // found wherever any of its ramps or its hold could match.
    const double from = std::fmin(std::fmin(std::max(s.startTime - s.easeIn, 0.0), s.startTime), s.endTime);
    const double to = std::fmax(std::fmax(s.endTime + s.easeOut, s.endTime), s.startTime);
    if (std::isnan(from) || std::isnan(to)) continue;
    reaches_.push_back({from, to, static_cast<uint32_t>(i)});
  }
  std::sort(reaches_.begin(), reaches_.end(), [](const Reach& a, const Reach& b) { return a.from < b.from; });
  if (reaches_.empty()) return;
  latestTo_.resize(2 * reaches_.size() - 1);
  build(0, 0, reaches_.size());
}

void ZoomSegmentIndex::build(size_t node, size_t lo, size_t hi) {
  if (hi - lo == 1) {
    latestTo_[node] = reaches_[lo].to;
    return;
  }
  const size_t mid = lo + (hi - lo) / 2, right = node + 2 * (mid - lo);
  build(node + 1, lo, mid);
  build(right, mid, hi);
  latestTo_[node] = std::max(latestTo_[node + 1], latestTo_[right]);
}

void ZoomSegmentIndex::collect(size_t node, size_t lo, size_t hi, size_t before, double t,
                               std::vector<uint32_t>& out) const {
  if (lo >= before || latestTo_[node] < t) return;
  if (hi - lo == 1) {
    out.push_back(reaches_[lo].position);
    return;
  }
  const size_t mid = lo + (hi - lo) / 2;
  collect(node + 1, lo, mid, before, t, out);
  collect(node + 2 * (mid - lo), mid, hi, before, t, out);
}

void ZoomSegmentIndex::segmentsAt(double t, std::vector<uint32_t>& positions) const {
  positions.clear();
  if (std::isnan(t)) return;
  auto end = std::upper_bound(reaches_.begin(), reaches_.end(), t,
                              [](double time, const Reach& r) { return time < r.from; });
  // Of the segments that start by t, those that still reach it.
  if (end != reaches_.begin())
    collect(0, 0, reaches_.size(), static_cast<size_t>(end - reaches_.begin()), t, positions);
  std::sort(positions.begin(), positions.end());
}

std::vector<uint32_t> ZoomSegmentIndex::segmentsAt(double t) const {
  std::vector<uint32_t> positions;
  segmentsAt(t, positions);
  return positions;
}

}  // namespace tk
