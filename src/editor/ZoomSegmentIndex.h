#pragma once

#include <cstdint>
#include <vector>

#include "model/MetadataEvents.h"

namespace tk {

// Finds the zoom segments that reach over an instant without walking the whole list: a segment
// reaches from the start of its ease-in to the end of its ease-out. Built once for a list (n log n),
// then a look-up costs about log n for each segment found, however long the others are. The index
// holds positions in the list, not the segments; it is rebuilt when the list changes. Immutable once
// built; any thread.
class ZoomSegmentIndex {
 public:
  ZoomSegmentIndex() = default;
  explicit ZoomSegmentIndex(const std::vector<ZoomSegment>& segments);

  // Positions in the list, ascending, of every segment whose reach holds `t`. The reach is generous
  // (it also covers a segment's hold and odd ramps of a negative length); callers test their own
  // conditions on what comes back. A segment none of whose times is a number is never found.
  void segmentsAt(double t, std::vector<uint32_t>& positions) const;
  std::vector<uint32_t> segmentsAt(double t) const;

  // How many segments the list had when the index was built.
  size_t listSize() const { return listSize_; }

 private:
  struct Reach {
    double from = 0, to = 0;
    uint32_t position = 0;
  };
  void build(size_t node, size_t lo, size_t hi);
  void collect(size_t node, size_t lo, size_t hi, size_t before, double t, std::vector<uint32_t>& out) const;

  size_t listSize_ = 0;
  std::vector<Reach> reaches_;  // by `from`
  // The latest `to` of each run of reaches_ in a binary split: the run [lo, hi) at node v has its
  // halves at v + 1 and v + 2 × (mid − lo), so 2n − 1 nodes in all.
  std::vector<double> latestTo_;
};

}  // namespace tk
