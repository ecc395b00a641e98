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
  // Both are asked for; a desktop that can do neither (no launcher, no file manager) still gets
  // told where the recording went.
  const bool opened = FileManager::openWithDefaultApplication(result);
  const bool revealed = FileManager::reveal(result);
  if (opened && revealed) return;
  Diagnostics::line("⚠️ The desktop could not show the recording; saved at " + result.string());
  if (auto* notice = RecordingShell::savedNotice()) notice->showSaved(result);
}

}  // namespace tk
