#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tk {

// Shows a finished recording to the user: in the editor window when asked and an editor is
// installed, otherwise opened in its default application and revealed in the file manager. The
// saved notice says where it is when the desktop could do neither (no opener, or one that failed),
// and at once when the take lost something on the way (`problems`, in words).
// Main thread.
class RecordingHandOff {
 public:
  static void open(const std::filesystem::path& result, const std::filesystem::path& editorMovie,
                   bool openInEditor, const std::vector<std::string>& problems = {});
};

}  // namespace tk
