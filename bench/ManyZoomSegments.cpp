// Times the editor window with a recording that carries 100,000 zoom segments (each 0.3 s with
// 0.2 s ramps, so over a thousand reach every instant) and a cursor sampled 30 times a second: how
// long each edit takes until the window has answered and painted (add at the playhead, select,
// move, resize, delete, seek), and the longest the window is kept from answering while it plays.
// The peer is the aim: 100 ms for each action. Then the export's memory with 1,000,000 segments
// against the same export with three, each in a process of its own: the peak while opening the
// editor, what the open editor holds, and the peak while exporting (VmHWM counted again from when
// the editor is open, editor window included), next to what the segments themselves take.
//
//   bench_ManyZoomSegments [--short]
//     --short: 10,000 segments in the window, 20,000 in the export (CI)

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "BenchSupport.h"
#include "editor_ui/TrimmerActions.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "editor_ui/VideoTrimmerView.h"
#include "model/RecordingMetadata.h"
#include "platform/qt/MemoryRelease.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void writeMetadata(const fs::path& movie, double seconds, size_t count) {
  tk::RecordingMetadata metadata;
  metadata.duration = seconds;
  metadata.resolution = QSizeF(640, 360);
  metadata.frameRate = 60;
  auto& segments = metadata.zoomSegments.edit();
  segments.resize(count);
  for (size_t i = 0; i < count; ++i) {
    auto& s = segments[i];
    s.startTime = (seconds - 0.6) * static_cast<double>(i) / static_cast<double>(count) + 0.2;
    s.endTime = s.startTime + 0.3;
    s.easeIn = s.easeOut = 0.2;
    s.zoomLevel = 2;
  }
  for (int i = 0; i <= static_cast<int>(seconds * 30); ++i) {
    tk::CursorPosition sample;
    sample.timestamp = i / 30.0;
    sample.position = QPointF(0.5 + 0.3 * std::sin(i * 0.05), 0.5 + 0.3 * std::cos(i * 0.04));
    metadata.cursorPositions.push_back(sample);
  }
  fs::path file = movie;
  file.replace_extension(".metadata.json");
  std::ofstream(file) << tk::encodeRecordingMetadata(metadata);
}

// The editor window on `movie` once its metadata, with the zoom segments, has loaded too.
tk::VideoTrimmerView* openWithSegments(const fs::path& movie, QWidget*& window) {
  tk::VideoTrimmerView* view = tk::bench::openEditorWindow(movie, window);
  if (!view || !tk::bench::waitFor([&] { return view->viewModel().metadata().has_value(); }, 300))
    return nullptr;
  return view;
}

// The editor on `movie`: each action until the window has answered and painted.
bool timeActions(int argc, char** argv, const fs::path& movie) {
  QApplication app(argc, argv);
  auto start = Clock::now();
  QWidget* window = nullptr;
  tk::VideoTrimmerView* view = openWithSegments(movie, window);
  if (!view) return false;
  auto& model = view->viewModel();
  std::printf("  %zu zoom segments loaded in %.0f ms\n", model.zoomSegments().size(), msSince(start));
  auto* timeline = window->findChild<tk::TrimmerTimelineView*>();
  window->grab();

  std::vector<std::pair<const char*, double>> times;
  const auto timed = [&](const char* name, const std::function<void()>& action) {
    const auto begin = Clock::now();
    action();
    QCoreApplication::processEvents();
    window->grab();  // the whole window painted, as the screen would show it
    times.emplace_back(name, msSince(begin));
  };
  const double middle = model.zoomSegments()[model.zoomSegments().size() / 2].startTime;
  timed("seek", [&] { view->actions().seekPlayer(middle); });
  tk::bench::waitFor([&] { return std::abs(model.currentTime() - middle) < 0.05; }, 10);
  timed("add a segment at the playhead", [&] { view->actions().addZoomSegmentAtPlayhead(); });
  const QUuid id = model.zoomSegments()[model.zoomSegments().size() / 3].id;
  timed("select a segment", [&] {
    view->setSelectedZoomSegmentId(id);
    if (timeline) timeline->selectionChanged();
  });
  timed("move a segment", [&] { model.moveZoomSegment(id, middle + 0.5); });
  timed("resize a segment", [&] { model.updateZoomSegmentEnd(id, middle + 1.2); });
  timed("delete the selected segment", [&] { view->actions().deleteSelectedZoomSegment(id); });

  // Playing: the longest the event loop is kept from answering.
  view->actions().seekPlayer(0.5);
  view->actions().togglePlayback();
  double longest = 0;
  const auto playStart = Clock::now();
  while (msSince(playStart) < 3000) {
    const auto turn = Clock::now();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    longest = std::max(longest, msSince(turn));
  }
  view->actions().togglePlayback();
  times.emplace_back("longest wait while playing", longest);

  for (const auto& [name, ms] : times)
    std::printf("  %-30s %8.1f ms   = %.2f of the 100 ms aim\n", name, ms, ms / 100);
  window->close();
  return true;
}

// The export of the editor window on `movie`; its peak memory comes from the process, and what the
// export took over the open editor is written to `over` (MiB).
bool exportOnce(int argc, char** argv, const fs::path& movie, const fs::path& over) {
  tk::MemoryRelease::configure();
  QApplication app(argc, argv);
  QWidget* window = nullptr;
  tk::VideoTrimmerView* view = openWithSegments(movie, window);
  if (!view) return false;
  const double open = tk::bench::statusMiB("VmRSS:");
  std::printf("  %zu segments: %.0f MiB resident with the editor open (peak so far %.0f MiB)\n",
              view->viewModel().zoomSegments().size(), open, tk::bench::statusMiB("VmHWM:"));
  tk::bench::restartPeak();
  const bool exported = tk::bench::exportFromWindow(*view);
  const double peak = tk::bench::statusMiB("VmHWM:");
  std::printf("  %zu segments: peak while exporting %.0f MiB, %.0f MiB over the editor open\n",
              view->viewModel().zoomSegments().size(), peak, peak - open);
  std::ofstream(over) << peak - open;
  window->close();
  return exported;
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && !std::strcmp(argv[1], "--short");
  if (!tk::bench::hasDisplay("many zoom segments")) return 0;
  QTemporaryDir folder;
  const fs::path dir = folder.path().toStdString();
  const double seconds = shortRun ? 10 : 60;
  const fs::path movie = dir / "many.mp4";
  if (!tk::bench::inChild([&] {
         tk::bench::writeRecording(movie, 640, 360, seconds);
         return true;
       }).ok)
    return 1;

  const size_t editing = shortRun ? 10'000 : 100'000;
  writeMetadata(movie, seconds, editing);
  std::printf("editor window, %.0f s movie:\n", seconds);
  if (!tk::bench::inChild([&] { return timeActions(argc, argv, movie); }).ok) return 1;

  const double exportSeconds = shortRun ? 2 : 10;
  const fs::path few = dir / "few.mp4", many = dir / "crowded.mp4";
  if (!tk::bench::inChild([&] {
         tk::bench::writeRecording(few, 640, 360, exportSeconds);
         fs::copy_file(few, many);
         return true;
       }).ok)
    return 1;
  const size_t crowded = shortRun ? 20'000 : 1'000'000;
  writeMetadata(few, exportSeconds, 3);
  writeMetadata(many, exportSeconds, crowded);
  const fs::path baseOver = dir / "few.over", loadOver = dir / "crowded.over";
  const tk::bench::Measure base = tk::bench::inChild([&] { return exportOnce(argc, argv, few, baseOver); });
  const tk::bench::Measure load = tk::bench::inChild([&] { return exportOnce(argc, argv, many, loadOver); });
  const auto overMiB = [](const fs::path& file) {
    double value = 0;
    std::ifstream(file) >> value;
    return value;
  };
  const double growth = overMiB(loadOver) - overMiB(baseOver);
  const double own = crowded * sizeof(tk::ZoomSegment) / (1024.0 * 1024.0);
  std::printf("export of %.0f s at 640x360 in the editor window:\n", exportSeconds);
  std::printf("  3 segments:          peak while exporting %6.0f MiB, %.1f s%s\n", base.peakMiB, base.wall,
              base.ok ? "" : " (FAILED)");
  std::printf("  %zu segments:  peak while exporting %6.0f MiB, %.1f s%s\n", crowded, load.peakMiB, load.wall,
              load.ok ? "" : " (FAILED)");
  std::printf(
      "  the export's growth over the open editor: %.0f MiB = %.1f times what the segments take (%.0f MiB)\n",
      growth, growth / own, own);
  return base.ok && load.ok ? 0 : 1;
}
