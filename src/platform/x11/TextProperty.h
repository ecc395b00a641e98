#pragma once

#include <string>
#include <string_view>

namespace tk {

// How a client wrote a text property such as WM_NAME: its type STRING, COMPOUND_TEXT or
// UTF8_STRING.
enum class TextEncoding { latin1, compoundText, utf8 };

// The property's text as UTF-8. STRING is Latin-1; UTF8_STRING is taken as it is. COMPOUND_TEXT is
// read by its ISO 2022 designations: ASCII and the ISO 8859 sets, JIS X 0201, the double-byte
// sets JIS X 0208, GB 2312 and KS C 5601, and extended segments in UTF-8 or a charset the C
// library converts; a character of a set it cannot read becomes U+FFFD.
std::string decodeTextProperty(std::string_view bytes, TextEncoding encoding);

}  // namespace tk
