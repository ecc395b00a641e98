#include "export/MergedTimeline.h"

#include <algorithm>
#include <cmath>

namespace tk {

MergedTimeline::MergedTimeline(const std::vector<VideoSegment>& keptSegments) {
  double at = 0;
  for (const auto& segment : keptSegments) {
    const double s = segment.startTime.seconds(), e = segment.endTime.seconds();
    if (!std::isfinite(s) || !std::isfinite(e) || !(e > s)) continue;
    spans_.push_back({s, e, at});
    at += e - s;
  }
}

double MergedTimeline::duration() const {
  return spans_.empty() ? 0
                        : spans_.back().mergedStart + (spans_.back().sourceEnd - spans_.back().sourceStart);
}

std::optional<double> MergedTimeline::mergedTime(double t) const {
  for (const auto& span : spans_)
    if (t >= span.sourceStart && t < span.sourceEnd) return span.mergedStart + (t - span.sourceStart);
  return std::nullopt;
}

std::vector<ZoomSegment> MergedTimeline::zoomSegments(const std::vector<ZoomSegment>& source) const {
  std::vector<ZoomSegment> result;
  for (const auto& zoom : source) {
    bool first = true;
    std::optional<size_t> last;
    for (const auto& span : spans_) {
      const double a = std::max(zoom.startTime, span.sourceStart), b = std::min(zoom.endTime, span.sourceEnd);
      if (!(b > a)) continue;
      const double start = span.mergedStart + (a - span.sourceStart), end = start + (b - a);
      if (last && std::abs(result[*last].endTime - start) < 1e-9) {
        result[*last].endTime = end;
        continue;
      }
      ZoomSegment piece = zoom;
      if (!first) piece.id = newRecordId();
      piece.startTime = start;
      piece.endTime = end;
      result.push_back(piece);
      last = result.size() - 1;
      first = false;
    }
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const ZoomSegment& x, const ZoomSegment& y) { return x.startTime < y.startTime; });
  return result;
}

std::vector<CursorPosition> MergedTimeline::cursorPositions(const std::vector<CursorPosition>& source) const {
  std::vector<CursorPosition> result;
  result.reserve(source.size());
  for (auto sample : source)
    if (auto t = mergedTime(sample.timestamp)) {
      sample.timestamp = *t;
      result.push_back(sample);
    }
  return result;
}

std::vector<CursorClick> MergedTimeline::clicks(const std::vector<CursorClick>& source) const {
  std::vector<CursorClick> result;
  for (auto click : source)
    if (auto t = mergedTime(click.timestamp)) {
      click.timestamp = *t;
      result.push_back(click);
    }
  return result;
}

}  // namespace tk
