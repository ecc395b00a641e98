#include "model/RecordingState.h"

namespace tk {

std::string RecordingState::displayText() const {
  switch (kind()) {
    case Kind::recording:
      return "Recording";
    case Kind::paused:
      return "Paused";
    case Kind::completed:
      return "Completed";
    case Kind::failed:
      return "Failed";
    case Kind::idle:
      return "Idle";
    case Kind::preparing:
      return "Preparing...";
    case Kind::ready:
      return "Ready";
    case Kind::finalizing:
      return "Finalizing...";
  }
  return {};
}

bool RecordingState::operator==(const RecordingState& other) const {
  return sameCase(other, [](const auto& mine, const auto& theirs) {
    using T = std::decay_t<decltype(mine)>;
    if constexpr (std::is_same_v<T, Recording>) {
      return mine.startTime == theirs.startTime;
    } else if constexpr (std::is_same_v<T, Paused>) {
      return mine.pauseTime == theirs.pauseTime && mine.elapsed == theirs.elapsed;
    } else if constexpr (std::is_same_v<T, Completed>) {
      return mine.fileURL == theirs.fileURL;
    } else if constexpr (std::is_same_v<T, Failed>) {
      return mine.error.localizedDescription() == theirs.error.localizedDescription();
    } else {
      return true;
    }
  });
}

}  // namespace tk
