#include "platform/x11/CaptureSource.h"

#include <algorithm>

namespace tk {

bool WindowMatch::matches(const X11WindowFacts& facts) const {
  if (std::find(windowIds.begin(), windowIds.end(), facts.client) != windowIds.end()) return true;
  if (std::find(types.begin(), types.end(), facts.type) != types.end()) return true;
  if (applicationIds.empty()) return false;
  const std::string& id = facts.applicationId;
  return !id.empty() && std::find(applicationIds.begin(), applicationIds.end(), id) != applicationIds.end();
}

}  // namespace tk
