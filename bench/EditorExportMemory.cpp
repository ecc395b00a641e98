// Measures the running application's peak memory while its editor exports: a recording written by
// our own writer (in a child of its own, so the writer's heap counts nowhere) is opened in the
// editor registry's window, exported with the window's look (the background on) and the window
// closed, each case in a process of its own. The figure is that process's peak resident size
// (VmHWM), the editor included, against the aims: at most 2 GiB for 4 s of 8K (7680x4320) and at
// most 600 MiB for 20 s of 1080p60; and the same 8K at 9:16, whose canvas the export scales down to
// what the encoder takes. Also prints the resident size with the editor open, before the
// export.
//
//   bench_EditorExportMemory [--short]
//     --short: 1 s of 1080p60 only (CI)

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "platform/qt/MemoryRelease.h"

namespace {

namespace fs = std::filesystem;

using tk::bench::statusMiB;

// In the child: the application with its editor window on `movie`, exporting once.
bool exportInEditor(int argc, char** argv, const fs::path& movie, tk::OutputAspectRatio ratio) {
  tk::MemoryRelease::configure();
  QApplication app(argc, argv);
  QWidget* window = nullptr;
  tk::VideoTrimmerView* view = tk::bench::openEditorWindow(movie, window);
  if (!view) return false;
  view->viewModel().setBackgroundEnabled(true);
  view->setSelectedAspect(ratio);
  tk::bench::waitFor([] { return false; }, 0.5);  // the window's first frames and the waveform settle
  std::printf("    editor open: %.0f MiB resident, peak so far %.0f MiB\n", statusMiB("VmRSS:"),
              statusMiB("VmHWM:"));
  const bool exported = tk::bench::exportFromWindow(*view);
  std::printf("    after the export: %.0f MiB resident, peak %.0f MiB\n", statusMiB("VmRSS:"),
              statusMiB("VmHWM:"));
  window->close();
  return exported;
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && !std::strcmp(argv[1], "--short");
  if (!tk::bench::hasDisplay("editor export memory")) return 0;
  struct Case {
    const char* name;
    int width, height;
    double seconds, aimMiB;
    tk::OutputAspectRatio ratio = tk::OutputAspectRatio::original;
  };
  std::vector<Case> cases{{"1080p60", 1920, 1080, shortRun ? 1.0 : 20.0, 600}};
  if (!shortRun) {
    cases.push_back({"8K", 7680, 4320, 4.0, 2048});
    // 9:16 of 8K asks for a 7680 x 13654 canvas, which the export scales down to the encoder's limits.
    cases.push_back({"8K at 9:16", 7680, 4320, 4.0, 2048, tk::OutputAspectRatio::ratio9x16});
  }
  QTemporaryDir folder;
  int failures = 0;
  for (const Case& c : cases) {
    const fs::path movie = fs::path(folder.path().toStdString()) / (std::to_string(c.height) + ".mp4");
    if (!fs::exists(movie)) {
      std::printf("writing %.0f s of %dx%d at 60 fps...\n", c.seconds, c.width, c.height);
      if (!tk::bench::inChild([&] {
             tk::bench::writeRecording(movie, c.width, c.height, c.seconds);
             return true;
           }).ok)
        return 1;
    }
    const tk::bench::Measure m =
        tk::bench::inChild([&] { return exportInEditor(argc, argv, movie, c.ratio); });
    std::printf(
        "  %s export in the editor: peak %.0f MiB (aim: at most %.0f MiB) = %.2f of the aim, %.1f s%s\n",
        c.name, m.peakMiB, c.aimMiB, m.peakMiB / c.aimMiB, m.wall, m.ok ? "" : "  (FAILED)");
    failures += m.ok ? 0 : 1;
  }
  return failures ? 1 : 0;
}
