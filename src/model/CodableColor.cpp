#include "model/CodableColor.h"

namespace tk {

void encode(JsonWriter& out, const CodableColor& value) {
  out.number("red", value.red)
      .number("green", value.green)
      .number("blue", value.blue)
      .number("alpha", value.alpha);
}

CodableColor decodeCodableColor(const JsonReader& in) {
  return {in.number("red"), in.number("green"), in.number("blue"), in.number("alpha")};
}

}  // namespace tk
