#include "recording/RecordingHandOff.h"

#include <memory>

#include "platform/qt/Diagnostics.h"
#include "platform/qt/FileManager.h"
#include "recording/RecordingShell.h"

namespace tk {

void RecordingHandOff::open(const std::filesystem::path& result, const std::filesystem::path& editorMovie,
                            bool openInEditor, const std::vector<std::string>& problems) {
  // A take that lost something says so whatever the desktop does with it.
  if (!problems.empty()) {
    if (auto* notice = RecordingShell::savedNotice()) notice->showSaved(result, problems);
  }
  if (openInEditor) {
    Diagnostics::line("✂️ Opening video trimmer for: " + editorMovie.filename().string());
    if (auto* editor = RecordingShell::editor()) {
      editor->openTrimmer(editorMovie);
      return;
    }
    Diagnostics::line("⚠️ No editor available; opening the recording instead");
  }
  // Both are asked for; the first that fails (no launcher, no file manager, an opener that ends in
  // failure) has the person told where the recording went, once.
  auto told = std::make_shared<bool>(!problems.empty());
  auto outcome = [told, result](bool done) {
    if (done || *told) return;
    *told = true;
    Diagnostics::line("⚠️ The desktop could not show the recording; saved at " + result.string());
    if (auto* notice = RecordingShell::savedNotice()) notice->showSaved(result, {});
  };
  FileManager::openWithDefaultApplication(result, outcome);
  FileManager::reveal(result, outcome);
}

}  // namespace tk
