#pragma once

namespace tk {

// A colour as four components from 0 to 1, in the form the JSON documents and the studio
// configuration hold it. The renderers decide the colour space.
struct CodableColor {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
};

}  // namespace tk
