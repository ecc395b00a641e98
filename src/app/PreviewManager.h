#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <map>

namespace tk {

// The windows that preview files, one per file. A holder only: nothing opens a preview window
// yet, and it has no operations. Shared by std::shared_ptr. Main thread only.
class PreviewManager {
 public:
  // A window that closes (and deletes itself) leaves a null entry behind.
  std::map<std::filesystem::path, QPointer<QWidget>> previewWindows;
};

}  // namespace tk
