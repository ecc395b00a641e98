#include "platform/media/MediaTime.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

namespace tk {

namespace {

using i128 = __int128;

int64_t divideRounded(i128 numerator, i128 denominator, MediaTime::Rounding rounding) {
  if (denominator < 0) {
    numerator = -numerator;
    denominator = -denominator;
  }
  i128 quotient = numerator / denominator;
  i128 remainder = numerator % denominator;
  if (remainder != 0) {
    const bool negative = numerator < 0;
    switch (rounding) {
      case MediaTime::Rounding::TowardZero:
        break;
      case MediaTime::Rounding::AwayFromZero:
        quotient += negative ? -1 : 1;
        break;
      case MediaTime::Rounding::Floor:
        if (negative) quotient -= 1;
        break;
      case MediaTime::Rounding::Ceiling:
        if (!negative) quotient += 1;
        break;
      case MediaTime::Rounding::NearestAwayFromZero: {
        const i128 twice = (remainder < 0 ? -remainder : remainder) * 2;
        if (twice >= denominator) quotient += negative ? -1 : 1;
        break;
      }
    }
  }
  if (quotient > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (quotient < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(quotient);
}

// The grid two times are combined on: the shared one when equal, else the finer of the two
// unless their least common multiple still fits.
int32_t commonScale(int32_t a, int32_t b) {
  if (a == b) return a;
  const int64_t lcm = std::lcm(static_cast<int64_t>(a), static_cast<int64_t>(b));
  if (lcm <= std::numeric_limits<int32_t>::max()) return static_cast<int32_t>(lcm);
  return std::max(a, b);
}

}  // namespace

MediaTime MediaTime::fromSeconds(double seconds, int32_t timescale) {
  if (!std::isfinite(seconds) || timescale <= 0) return MediaTime();
  const double ticks = std::round(seconds * static_cast<double>(timescale));
  if (ticks >= 9.2e18 || ticks <= -9.2e18) return MediaTime();
  return MediaTime(static_cast<int64_t>(ticks), timescale);
}

double MediaTime::seconds() const {
  if (!valid_) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(value_) / static_cast<double>(timescale_);
}

int64_t MediaTime::nanoseconds() const {
  if (!valid_) return 0;
  return divideRounded(static_cast<i128>(value_) * 1'000'000'000, timescale_,
                       Rounding::NearestAwayFromZero);
}

MediaTime MediaTime::convertScale(int32_t timescale, Rounding rounding) const {
  if (!valid_ || timescale <= 0) return MediaTime();
  if (timescale == timescale_) return *this;
  return MediaTime(divideRounded(static_cast<i128>(value_) * timescale, timescale_, rounding),
                   timescale);
}

MediaTime MediaTime::operator+(const MediaTime& other) const {
  if (!valid_ || !other.valid_) return MediaTime();
  const int32_t scale = commonScale(timescale_, other.timescale_);
  return MediaTime(convertScale(scale).value_ + other.convertScale(scale).value_, scale);
}

MediaTime MediaTime::operator-(const MediaTime& other) const {
  if (!valid_ || !other.valid_) return MediaTime();
  return *this + (-other);
}

MediaTime MediaTime::operator-() const {
  if (!valid_) return MediaTime();
  return MediaTime(-value_, timescale_);
}

MediaTime MediaTime::multiplied(int64_t factor) const {
  if (!valid_) return MediaTime();
  return MediaTime(value_ * factor, timescale_);
}

std::strong_ordering MediaTime::operator<=>(const MediaTime& other) const {
  if (!valid_ || !other.valid_) {
    if (valid_ == other.valid_) return std::strong_ordering::equal;
    return valid_ ? std::strong_ordering::greater : std::strong_ordering::less;
  }
  const i128 lhs = static_cast<i128>(value_) * other.timescale_;
  const i128 rhs = static_cast<i128>(other.value_) * timescale_;
  if (lhs < rhs) return std::strong_ordering::less;
  if (lhs > rhs) return std::strong_ordering::greater;
  return std::strong_ordering::equal;
}

std::string MediaTime::description() const {
  if (!valid_) return "invalid";
  char text[64];
  std::snprintf(text, sizeof text, "%lld/%d", static_cast<long long>(value_), timescale_);
  return text;
}

}  // namespace tk
