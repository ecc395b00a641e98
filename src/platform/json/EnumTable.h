#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tk {

// The raw (stored) values of an enumeration, in declaration order. An enumeration opts in by
// specialising this template with
//   static constexpr std::array<std::pair<E, R>, N> entries{{...}};
// where R is std::string_view, double or int. The raw value is what settings and JSON files hold,
// so it must never change once written.
template <typename E>
struct EnumTable;

template <typename E>
concept TabledEnum = std::is_enum_v<E> && requires {
  EnumTable<E>::entries;
};

template <TabledEnum E>
using RawValueType = typename std::remove_cvref_t<decltype(EnumTable<E>::entries)>::value_type::second_type;

// Enumerations stored as strings, the form JSON documents hold.
template <typename E>
concept StringEnum = TabledEnum<E> && std::is_same_v<RawValueType<E>, std::string_view>;

template <TabledEnum E>
constexpr RawValueType<E> rawValue(E value) {
  for (const auto& [candidate, raw] : EnumTable<E>::entries) {
    if (candidate == value) return raw;
  }
  return EnumTable<E>::entries.front().second;  // only for a value cast from outside the table
}

// The case whose raw value is exactly `raw` (strings compared case-sensitively, numbers exactly).
template <TabledEnum E>
constexpr std::optional<E> fromRawValue(RawValueType<E> raw) {
  for (const auto& [candidate, stored] : EnumTable<E>::entries) {
    if (stored == raw) return candidate;
  }
  return std::nullopt;
}

// Every case in declaration order.
template <TabledEnum E>
constexpr auto allCases() {
  constexpr auto& entries = EnumTable<E>::entries;
  std::array<E, std::tuple_size_v<std::remove_cvref_t<decltype(entries)>>> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = entries[i].first;
  return cases;
}

}  // namespace tk
