#include "recording/RecordingHandOff.h"

#include "platform/qt/Diagnostics.h"
#include "platform/qt/FileManager.h"
#include "recording/RecordingShell.h"

namespace tk {

void RecordingHandOff::open(const std::filesystem::path& result, const std::filesystem::path& editorMovie,
                            bool openInEditor) {
  if (openInEditor) {
    Diagnostics::line("✂️ Opening video trimmer for: " + editorMovie.filename().string());
    if (auto* editor = RecordingShell::editor()) {
      editor->openTrimmer(editorMovie);
      return;
    }
    Diagnostics::line("⚠️ No editor available; opening the recording instead");
  }
  FileManager::openWithDefaultApplication(result);
  FileManager::reveal(result);
}

}  // namespace tk
