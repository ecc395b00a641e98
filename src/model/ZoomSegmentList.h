#pragma once

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "model/MetadataEvents.h"

namespace tk {

// A list of zoom segments that copies by sharing: a copy holds the same segments, and a change
// (edit(), push_back, clear) first gives its holder a list of its own if anyone else shares it, so
// the others keep what they had. A recording may carry a million segments, tens of megabytes, which
// the editor, its saved state, the timeline and every export would otherwise each copy; an export
// keeps the list of the moment it started, whatever the editor does next.
//
// A list that is shared is never changed, so holders on different threads may read it at once;
// one holder is changed and read like any value (one thread at a time).
class ZoomSegmentList {
 public:
  using value_type = ZoomSegment;
  using const_iterator = std::vector<ZoomSegment>::const_iterator;
  using iterator = const_iterator;

  ZoomSegmentList() = default;
  ZoomSegmentList(std::vector<ZoomSegment> segments)  // NOLINT(google-explicit-constructor)
      : items_(std::make_shared<std::vector<ZoomSegment>>(std::move(segments))) {}
  ZoomSegmentList(std::initializer_list<ZoomSegment> segments)
      : ZoomSegmentList(std::vector<ZoomSegment>(segments)) {}

  const std::vector<ZoomSegment>& items() const { return items_ ? *items_ : none(); }
  operator const std::vector<ZoomSegment>&() const { return items(); }  // NOLINT(google-explicit-constructor)

  const_iterator begin() const { return items().begin(); }
  const_iterator end() const { return items().end(); }
  size_t size() const { return items().size(); }
  bool empty() const { return items().empty(); }
  const ZoomSegment& operator[](size_t i) const { return items()[i]; }
  const ZoomSegment& front() const { return items().front(); }
  const ZoomSegment& back() const { return items().back(); }

  // The segments to change in place, this holder's own from here on.
  std::vector<ZoomSegment>& edit() {
    if (!items_)
      items_ = std::make_shared<std::vector<ZoomSegment>>();
    else if (items_.use_count() > 1)
      items_ = std::make_shared<std::vector<ZoomSegment>>(*items_);
    return *items_;
  }
  void push_back(ZoomSegment segment) { edit().push_back(std::move(segment)); }
  void clear() { items_.reset(); }

  // Whether both hold the very same segments, not equal ones.
  bool sharesWith(const ZoomSegmentList& other) const {
    return items_ == other.items_ || (empty() && other.empty());
  }

  friend bool operator==(const ZoomSegmentList& a, const ZoomSegmentList& b) {
    return a.items_ == b.items_ || a.items() == b.items();
  }

 private:
  static const std::vector<ZoomSegment>& none() {
    static const std::vector<ZoomSegment> none;
    return none;
  }

  std::shared_ptr<std::vector<ZoomSegment>> items_;  // null for a list never filled
};

}  // namespace tk
