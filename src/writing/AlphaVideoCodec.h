#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "platform/json/EnumTable.h"

namespace tk {

// A codec that keeps the alpha channel of a transparent recording.
enum class AlphaVideoCodec { hevcWithAlpha, proRes4444, proRes4444XQ };

template <>
struct EnumTable<AlphaVideoCodec> {
  static constexpr std::array<std::pair<AlphaVideoCodec, std::string_view>, 3> entries{{
      {AlphaVideoCodec::hevcWithAlpha, "hevcWithAlpha"},
      {AlphaVideoCodec::proRes4444, "proRes4444"},
      {AlphaVideoCodec::proRes4444XQ, "proRes4444XQ"},
  }};
};

// "HEVC with Alpha", "ProRes 4444", "ProRes 4444 XQ": used in log lines and error texts.
std::string displayName(AlphaVideoCodec codec);

}  // namespace tk
