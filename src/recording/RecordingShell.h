#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tk {

class RecordingCoordinator;

// What the coordinator shows of a recording outside its own windows: the status item in the tray,
// the floating control panel, and the editor window a finished movie may open in. They live in
// the application shell and the editor, above the recording layer, so each installs itself here
// when first used and the coordinator reaches it through these interfaces. Header-only, so that
// installing adds no link dependency. Main thread only. With nothing installed (tests, tools) the
// coordinator skips the call.
class RecordingShell {
 public:
  class StatusItem {
   public:
    virtual ~StatusItem() = default;
    virtual void startRecording(RecordingCoordinator& coordinator) = 0;
    virtual void stopRecording() = 0;
    // The elapsed time as minutes and seconds, e.g. "01:05".
    virtual void updateDuration(const std::string& text) = 0;
    virtual void setPaused(bool paused) = 0;
  };

  class Panel {
   public:
    virtual ~Panel() = default;
    virtual void show(RecordingCoordinator& coordinator) = 0;
    virtual void hide() = 0;
    virtual void setPaused(bool paused) = 0;
    // What the take has lost so far while it goes on (its sound, its metadata), in words, the
    // gravest first.
    virtual void showProblems(const std::vector<std::string>& problems) = 0;
  };

  class Editor {
   public:
    virtual ~Editor() = default;
    virtual void openTrimmer(const std::filesystem::path& movie) = 0;
  };

  // Tells the person where a finished recording was saved, when the desktop could not show it or
  // when the take lost something on the way (`problems`, in words).
  class SavedNotice {
   public:
    virtual ~SavedNotice() = default;
    virtual void showSaved(const std::filesystem::path& saved, const std::vector<std::string>& problems) = 0;
  };

  // Installing replaces the previous one; null uninstalls. The installer keeps ownership.
  static void installStatusItem(StatusItem* item) { statusItemSlot() = item; }
  static void installPanel(Panel* panel) { panelSlot() = panel; }
  static void installEditor(Editor* editor) { editorSlot() = editor; }
  static void installSavedNotice(SavedNotice* notice) { savedNoticeSlot() = notice; }
  static StatusItem* statusItem() { return statusItemSlot(); }
  static Panel* panel() { return panelSlot(); }
  static Editor* editor() { return editorSlot(); }
  static SavedNotice* savedNotice() { return savedNoticeSlot(); }

 private:
  static StatusItem*& statusItemSlot() {
    static StatusItem* item = nullptr;
    return item;
  }
  static Panel*& panelSlot() {
    static Panel* panel = nullptr;
    return panel;
  }
  static Editor*& editorSlot() {
    static Editor* editor = nullptr;
    return editor;
  }
  static SavedNotice*& savedNoticeSlot() {
    static SavedNotice* notice = nullptr;
    return notice;
  }
};

}  // namespace tk
