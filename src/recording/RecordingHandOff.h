#pragma once

#include <filesystem>

namespace tk {

// Shows a finished recording to the user: in the editor window when asked and an editor is
// installed, otherwise opened in its default application and revealed in the file manager (the
// FileManager1 D-Bus service selects it where a file manager offers that, else the folder opens).
// Main thread.
class RecordingHandOff {
 public:
  static void open(const std::filesystem::path& result, const std::filesystem::path& editorMovie, bool openInEditor);
  // True when the file manager took the request to show the item selected.
  static bool revealInFileManager(const std::filesystem::path& item);
};

}  // namespace tk
