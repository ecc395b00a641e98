#pragma once

#include <filesystem>

namespace tk {

// Shows a finished recording to the user: in the editor window when asked and an editor is
// installed, otherwise opened in its default application and revealed in the file manager, ;
// where the desktop cannot do both, the saved notice says where it is.
// Main thread.
class RecordingHandOff {
 public:
  static void open(const std::filesystem::path& result, const std::filesystem::path& editorMovie,
                   bool openInEditor);
};

}  // namespace tk
