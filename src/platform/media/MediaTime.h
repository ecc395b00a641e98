#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace tk {

// A rational point or span on a media timeline: value / timescale seconds.
// A default-constructed time is invalid; invalid times compare unequal to every valid one and
// poison arithmetic (the result is invalid), so a missing timestamp never turns into 0 silently.
class MediaTime {
 public:
  enum class Rounding { NearestAwayFromZero, TowardZero, AwayFromZero, Floor, Ceiling };

  constexpr MediaTime() = default;
  constexpr MediaTime(int64_t value, int32_t timescale)
      : value_(value), timescale_(timescale), valid_(timescale > 0) {}

  static constexpr MediaTime zero() { return MediaTime(0, 1); }
  static constexpr MediaTime invalid() { return MediaTime(); }
  // Seconds on a given grid, e.g. fromSeconds(t, 600); rounds to the nearest tick, halves away
  // from zero. A non-finite input gives an invalid time.
  static MediaTime fromSeconds(double seconds, int32_t timescale);
  static MediaTime fromNanoseconds(int64_t ns) { return MediaTime(ns, 1'000'000'000); }

  bool isValid() const { return valid_; }
  int64_t value() const { return value_; }
  int32_t timescale() const { return timescale_; }
  double seconds() const;
  int64_t nanoseconds() const;

  // Re-expresses the time on another grid.
  MediaTime convertScale(int32_t timescale, Rounding rounding = Rounding::NearestAwayFromZero) const;

  MediaTime operator+(const MediaTime& other) const;
  MediaTime operator-(const MediaTime& other) const;
  MediaTime operator-() const;
  MediaTime& operator+=(const MediaTime& other) { return *this = *this + other; }
  MediaTime& operator-=(const MediaTime& other) { return *this = *this - other; }
  MediaTime multiplied(int64_t factor) const;

  // Valid times compare exactly (cross-multiplied in 128 bits); an invalid time sorts before all.
  std::strong_ordering operator<=>(const MediaTime& other) const;
  bool operator==(const MediaTime& other) const { return (*this <=> other) == 0; }

  std::string description() const;

 private:
  int64_t value_ = 0;
  int32_t timescale_ = 0;
  bool valid_ = false;
};

}  // namespace tk
