#pragma once

#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

namespace tk {

// A colour as four components from 0 to 1, in the form the JSON documents and the studio
// configuration hold it. The renderers decide the colour space.
struct CodableColor {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
};

// JSON form: {"red", "green", "blue", "alpha"}, all four required.
void encode(JsonWriter& out, const CodableColor& value);
CodableColor decodeCodableColor(const JsonReader& in);

}  // namespace tk
