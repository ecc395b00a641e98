#include "platform/media/Error.h"

namespace tk {

const char* Error::what() const noexcept {
  try {
    whatText_ = localizedDescription();
  } catch (...) {
    return "error";
  }
  return whatText_.c_str();
}

}  // namespace tk
