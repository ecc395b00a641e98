// Measures the resident memory of a session as the application runs one: a display recording at
// 1920x1080 and 60 fps through the coordinator, the finished movie opened in the editor registry's
// window, exported with the editor's look, and the window closed, again and again.
//
//   bench_SessionMemory [--short]
//
// Prints the resident size after start, the peak while recording (sampled every 50 ms) and the
// size after each cycle, against the aims: at most 300 MB while recording, and the last cycle
// within 100 MB of where the second ended.
#include <QApplication>
#include <QCoroTask>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "BenchSupport.h"
#include "capture/ScreenCaptureEngine.h"
#include "editor_ui/TrimmerActions.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "editor_ui/VideoTrimmerView.h"
#include "platform/qt/Async.h"
#include "platform/qt/MemoryRelease.h"
#include "recording/RecordingCoordinator.h"

namespace {

double residentMegabytes() {
  return double(tk::MemoryRelease::residentBytes().value_or(0)) / (1024.0 * 1024.0);
}

tk::VideoTrimmerView* trimmerIn(QWidget* window) {
  return window ? window->findChild<tk::VideoTrimmerView*>() : nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  tk::MemoryRelease::configure();
  const bool shortRun = argc > 1 && !std::strcmp(argv[1], "--short");
  if (!tk::bench::hasDisplay("session memory")) return 0;
  QApplication app(argc, argv);
  const int cycles = shortRun ? 3 : 10;
  const double seconds = shortRun ? 1.0 : 3.0;
  QTemporaryDir folder;
  tk::bench::MovingBars bars;
  bars.show();
  QCoreApplication::processEvents();

  tk::RecordingCoordinator coordinator;
  std::filesystem::path finished;
  coordinator.setResultOpener(
      [&](const std::filesystem::path& result, const std::filesystem::path&, bool) { finished = result; });
  tk::ScreenCaptureEngine content;
  content.refreshAvailableContentBlocking();
  if (!content.availableContent() || content.availableContent()->displays.empty()) return 2;
  tk::RecordingConfiguration configuration;
  configuration.mode = tk::RecordingMode::screen(content.availableContent()->displays.front());
  configuration.frameRate = 60;
  configuration.encoder = tk::VideoEncoder::h264;
  configuration.videoQuality = tk::VideoQuality::medium;
  configuration.outputFormat = tk::OutputFormat::mp4;
  configuration.outputDirectory = folder.path().toStdString();

  std::printf("session of %d cycles (record %.0f s of 1920x1080 at 60 fps, edit, export, close)\n", cycles,
              seconds);
  std::printf("  after start: %.0f MB resident\n", residentMegabytes());
  double recordingPeak = 0;
  std::vector<double> afterCycle;
  QTimer sampler;
  bool recording = false;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (recording) recordingPeak = std::max(recordingPeak, residentMegabytes());
  });
  sampler.start(50);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    finished.clear();
    try {
      tk::bench::runBlocking(coordinator.prepareRecording(configuration.mode, configuration));
      recording = true;
      tk::bench::runBlocking(coordinator.startRecording());
      tk::bench::runBlocking(tk::sleepFor(std::chrono::milliseconds(int(seconds * 1000))));
      tk::bench::runBlocking(coordinator.stopRecording());
      recording = false;
    } catch (const std::exception&) {
      std::printf("recording failed: %s\n", tk::describeException(std::current_exception()).c_str());
      return 1;
    }
    if (!tk::bench::waitFor([&] { return !finished.empty(); }, 30)) return 1;

    auto& editors = tk::VideoTrimmerManager::shared();
    editors.openTrimmer(finished);
    QWidget* window = editors.openTrimmerWindow(finished);
    tk::VideoTrimmerView* view = trimmerIn(window);
    if (!view ||
        !tk::bench::waitFor([&] { return !view->viewModel().isLoading() || view->loadFailed(); }, 60))
      return 1;
    view->actions().exportAdvanced();
    if (!tk::bench::waitFor([&] { return view->showExportSuccess() || view->showError(); }, 300)) return 1;
    if (view->showError()) std::printf("  export failed: %s\n", view->errorMessage().c_str());
    window->close();
    if (!tk::bench::waitFor([&] { return editors.openTrimmerWindow(finished) == nullptr; }, 30)) return 1;
    QCoreApplication::processEvents();
    afterCycle.push_back(residentMegabytes());
    std::printf("  after cycle %2d: %.0f MB resident\n", cycle + 1, afterCycle.back());
  }
  std::printf("  peak while recording: %.0f MB (aim: at most 300 MB)\n", recordingPeak);
  if (afterCycle.size() >= 2) {
    std::printf("  last cycle against the second: %+.0f MB (aim: at most +100 MB)\n",
                afterCycle.back() - afterCycle[1]);
  }
  return 0;
}
