#pragma once

#include <optional>
#include <vector>

#include "editor/VideoSegment.h"
#include "model/MetadataEvents.h"

namespace tk {

// The clock of a merged movie: the kept spans of the source laid end to end. Zoom segments, cursor
// samples and clicks recorded on the source's clock are moved onto it, so zoom and cursor stay on the
// picture after a cut; what falls in a dropped span is left out. Spans of no length are skipped.
// A plain value; any thread.
class MergedTimeline {
 public:
  struct Span {
    double sourceStart = 0;
    double sourceEnd = 0;
    double mergedStart = 0;
  };

  explicit MergedTimeline(const std::vector<VideoSegment>& keptSegments);

  const std::vector<Span>& spans() const { return spans_; }
  double duration() const;
  // The merged time of source time t, or none when t lies in a dropped span.
  std::optional<double> mergedTime(double t) const;

  // A zoom segment crossing a cut splits into one piece per kept span it touches; pieces that meet
  // on the merged clock join again. Ease and level are kept.
  std::vector<ZoomSegment> zoomSegments(const std::vector<ZoomSegment>& source) const;
  std::vector<CursorPosition> cursorPositions(const std::vector<CursorPosition>& source) const;
  std::vector<CursorClick> clicks(const std::vector<CursorClick>& source) const;

 private:
  std::vector<Span> spans_;
};

}  // namespace tk
