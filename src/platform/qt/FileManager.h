#pragma once

#include <filesystem>
#include <functional>

namespace tk {

// The desktop's file manager and default applications. Main thread.
class FileManager {
 public:
  // Told on the main thread whether the desktop did what was asked.
  using Outcome = std::function<void(bool done)>;

  // Opens the file in the application the desktop associates with it; false when the desktop has
  // no way to open it (no launcher). A launcher that starts counts, whatever it does after.
  static bool openWithDefaultApplication(const std::filesystem::path& item);
  // The same, told the outcome once it is known: false also when the desktop's opener runs and
  // fails (xdg-open ends with a status other than 0, or cannot be run). An opener that hands the
  // file to an application and waits for it is told only when it ends.
  static void openWithDefaultApplication(const std::filesystem::path& item, Outcome outcome);
  // Asks the FileManager1 D-Bus service to show the item selected; true when a file manager took
  // the request.
  static bool revealItem(const std::filesystem::path& item);
  // Shows the item selected where a file manager offers that, else opens its folder; false when
  // neither could be asked for.
  static bool reveal(const std::filesystem::path& item);
  // The same, told the outcome: opening the folder counts only when its opener succeeds.
  static void reveal(const std::filesystem::path& item, Outcome outcome);
};

}  // namespace tk
