#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <variant>

namespace tk {

template <typename T, typename Variant>
struct IsAlternative : std::false_type {};
template <typename T, typename... Alternatives>
struct IsAlternative<T, std::variant<Alternatives...>>
    : std::bool_constant<(std::is_same_v<T, Alternatives> || ...)> {};

// One of the variant's alternatives (a case's payload).
template <typename Case, typename Variant>
concept AlternativeOf = IsAlternative<std::decay_t<Case>, Variant>::value;

// Shared access of the enumerations with payloads (RecordingMode, RecordingState): a std::variant
// whose alternatives keep the order of the cases, so kind() and index() are the case index.
// `Value` is the variant, `Kind` an enum of the cases in the same order.
template <typename Value, typename Kind>
class CaseValue {
 public:
  CaseValue(Value value) : value_(std::move(value)) {}
  template <AlternativeOf<Value> Case>
  CaseValue(Case&& value) : value_(std::forward<Case>(value)) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  std::size_t index() const { return value_.index(); }
  const Value& value() const { return value_; }
  // The payload when the value is of that case, else null.
  template <typename T>
  const T* get() const {
    return std::get_if<T>(&value_);
  }

 protected:
  // Both of the same case: `same` is called with the two payloads of that case.
  template <typename Same>
  bool sameCase(const CaseValue& other, Same same) const {
    if (value_.index() != other.value_.index()) return false;
    return std::visit(
        [&](const auto& mine) {
          using T = std::decay_t<decltype(mine)>;
          return same(mine, std::get<T>(other.value_));
        },
        value_);
  }

 private:
  Value value_;
};

}  // namespace tk
