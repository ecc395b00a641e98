#include "platform/x11/TextProperty.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

namespace tk {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// A coded character set as the C library's converter reads it.
struct Charset {
  std::string converterName;  // empty: ASCII, or UTF-8 bytes, taken as they are
  int width = 1;              // bytes a character
  bool highBit = false;       // the converter reads the characters with their high bit set
  bool operator==(const Charset&) const = default;
};

const Charset kAscii{};
const Charset kLatin1Upper{"ISO-8859-1", 1, true};

void appendLatin1(std::string& out, std::string_view bytes) {
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      out += byte;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

// Appends `bytes` of `charset` as UTF-8, one U+FFFD for each character the charset does not have.
void appendConverted(std::string& out, const Charset& charset, std::string_view bytes) {
  if (bytes.empty()) return;
  if (charset.converterName.empty()) {
    out += bytes;
    return;
  }
  const iconv_t converter = iconv_open("UTF-8", charset.converterName.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    for (size_t i = 0; i < bytes.size(); i += size_t(charset.width)) out += kReplacement;
    return;
  }
  std::string input(bytes);
  char* in = input.data();
  size_t inLeft = input.size();
  // These sets are all within the Basic Multilingual Plane: at most three bytes a character.
  std::string buffer(input.size() * 4 + 8, '\0');
  char* result = buffer.data();
  size_t resultLeft = buffer.size();
  while (inLeft > 0) {
    if (iconv(converter, &in, &inLeft, &result, &resultLeft) != size_t(-1) || errno == E2BIG) break;
    const size_t skip = std::min(inLeft, size_t(charset.width));
    in += skip;
    inLeft -= skip;
    std::memcpy(result, kReplacement.data(), kReplacement.size());
    result += kReplacement.size();
    resultLeft -= kReplacement.size();
  }
  iconv_close(converter);
  out.append(buffer.data(), size_t(result - buffer.data()));
}

// Sets of 94 characters: ESC ( F into the left half, ESC ) F into the right.
std::optional<Charset> ninetyFourSet(char final) {
  switch (final) {
    case 'B':
      return kAscii;
    case 'J':
      return Charset{"JIS_X0201", 1, false};  // JIS roman
    case 'I':
      return Charset{"JIS_X0201", 1, true};  // half-width katakana
    default:
      return std::nullopt;
  }
}

// Sets of 96 characters, the right halves of ISO 8859: ESC - F.
std::optional<Charset> ninetySixSet(char final) {
  static constexpr std::pair<char, int> parts[] = {{'A', 1},  {'B', 2},  {'C', 3},  {'D', 4}, {'F', 7},
                                                   {'G', 6},  {'H', 8},  {'L', 5},  {'M', 9}, {'V', 10},
                                                   {'Y', 13}, {'_', 14}, {'b', 15}, {'f', 16}};
  for (const auto& [code, part] : parts) {
    if (code == final) return Charset{"ISO-8859-" + std::to_string(part), 1, true};
  }
  return std::nullopt;
}

// Sets of 94 x 94 characters: ESC $ ( F into the left half, ESC $ ) F into the right.
std::optional<Charset> doubleByteSet(char final) {
  switch (final) {
    case 'A':
      return Charset{"EUC-CN", 2, true};  // GB 2312
    case 'B':
      return Charset{"EUC-JP", 2, true};  // JIS X 0208
    case 'C':
      return Charset{"EUC-KR", 2, true};  // KS C 5601
    default:
      return std::nullopt;
  }
}

// The charset an extended segment names in X's form ("iso10646-1", "big5-0", "koi8-r").
Charset extendedSegmentSet(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return char(std::toupper(c)); });
  if (name == "ISO10646-1" || name == "UTF-8") return kAscii;  // UTF-8 bytes pass as they are
  if (name.rfind("ISO8859-", 0) == 0) return Charset{"ISO-" + name.substr(3), 1, false};
  for (const std::string& candidate : {name, name.substr(0, name.rfind('-'))}) {
    const iconv_t converter = iconv_open("UTF-8", candidate.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) continue;
    iconv_close(converter);
    return Charset{candidate, 1, false};
  }
  return Charset{"unknown charset", 1, false};
}

std::string decodeCompoundText(std::string_view text) {
  std::string out;
  Charset left = kAscii;
  Charset right = kLatin1Upper;
  bool utf8 = false;  // between ESC % G and ESC % @
  // Characters of one charset in a row are converted together.
  Charset runSet;
  std::string run;
  const auto flush = [&] {
    appendConverted(out, runSet, run);
    run.clear();
  };
  const auto add = [&](const Charset& charset, std::string_view bytes) {
    if (!(charset == runSet)) {
      flush();
      runSet = charset;
    }
    run += bytes;
  };
  const auto byteAt = [&](size_t at) { return static_cast<unsigned char>(text[at]); };

  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = byteAt(i);
    if (c == 0x1B) {
      // ESC, intermediate bytes, a final byte.
      size_t end = i + 1;
      while (end < text.size() && byteAt(end) >= 0x20 && byteAt(end) <= 0x2F) ++end;
      if (end >= text.size()) break;
      const std::string_view intermediates = text.substr(i + 1, end - i - 1);
      const char final = text[end];
      i = end + 1;
      if (intermediates == "%/") {
        // An extended segment: two length bytes, the charset's name, STX, the text.
        if (i + 2 > text.size()) break;
        const size_t length = size_t(byteAt(i) & 0x7F) << 7 | size_t(byteAt(i + 1) & 0x7F);
        const std::string_view segment = text.substr(i + 2, length);
        i += 2 + segment.size();
        const size_t stx = segment.find('\x02');
        if (stx == std::string_view::npos) continue;
        add(extendedSegmentSet(std::string(segment.substr(0, stx))), segment.substr(stx + 1));
      } else if (intermediates == "%") {
        utf8 = final == 'G';
      } else if (intermediates == "(") {
        left = ninetyFourSet(final).value_or(left);
      } else if (intermediates == ")") {
        right = ninetyFourSet(final).value_or(right);
      } else if (intermediates == "-") {
        right = ninetySixSet(final).value_or(right);
      } else if (intermediates == "$(" || intermediates == "$") {
        left = doubleByteSet(final).value_or(left);
      } else if (intermediates == "$)") {
        right = doubleByteSet(final).value_or(right);
      }
      continue;
    }
    if (utf8) {
      add(kAscii, text.substr(i++, 1));
      continue;
    }
    if (c == 0x9B) {
      // A direction sequence (CSI ... ]): it changes no character.
      for (++i; i < text.size() && (byteAt(i) < 0x40 || byteAt(i) > 0x7E); ++i) {
      }
      ++i;
      continue;
    }
    if (c <= 0x20) {
      add(kAscii, text.substr(i++, 1));  // space, tab, newline
      continue;
    }
    if (c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      ++i;
      continue;
    }
    const Charset& set = c < 0x80 ? left : right;
    if (i + size_t(set.width) > text.size()) {
      flush();
      out += kReplacement;
      break;
    }
    std::string character;
    for (int k = 0; k < set.width; ++k) {
      const unsigned char byte = byteAt(i + size_t(k));
      character += static_cast<char>(set.highBit ? (byte | 0x80) : (byte & 0x7F));
    }
    add(set, character);
    i += size_t(set.width);
  }
  flush();
  return out;
}

}  // namespace

std::string decodeTextProperty(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::latin1: {
      std::string out;
      appendLatin1(out, bytes);
      return out;
    }
    case TextEncoding::compoundText:
      return decodeCompoundText(bytes);
    case TextEncoding::utf8:
      break;
  }
  return std::string(bytes);
}

}  // namespace tk
