#pragma once

#include <filesystem>

namespace tk {

// The desktop's file manager and default applications. Main thread.
class FileManager {
 public:
  // Opens the file in the application the desktop associates with it; false when the desktop has
  // no way to open it (no launcher).
  static bool openWithDefaultApplication(const std::filesystem::path& item);
  // Asks the FileManager1 D-Bus service to show the item selected; true when a file manager took
  // the request.
  static bool revealItem(const std::filesystem::path& item);
  // Shows the item selected where a file manager offers that, else opens its folder; false when
  // neither could be asked for.
  static bool reveal(const std::filesystem::path& item);
};

}  // namespace tk
