// The window picker over a crowded desktop: 200 windows of another client (40 with --short). It
// prints the time from opening the picker to its first card and to the last picture, and the most
// X connections the process held meanwhile; then the same for the peer, every picture taken at
// once on a connection of its own (as the picker once did), and the ratios. The X server serves a
// limited number of clients (Xvfb: 256), which the peer nears. Run inside scripts/test-env.sh.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/qt/Async.h"
#include "platform/x11/X11ShareableContent.h"
#include "platform/x11/XcbConnection.h"
#include "recording/RecordingServices.h"
#include "selection/CaptureSnapshot.h"
#include "selection/WindowSelectorView.h"
#include "selection/WindowSelectorViewModel.h"

namespace {

// The desktop as the application asks for it, on a worker.
class DesktopContent : public tk::ShareableContentSource {
 public:
  QCoro::Task<std::vector<tk::CaptureDisplayRef>> displays() override {
    tk::ShareableContent content = co_await this->content();
    co_return content.displays;
  }
  QCoro::Task<tk::ShareableContent> content() override {
    co_return co_await tk::onWorker([] { return tk::loadShareableContent(); });
  }
};

// A child process holding `count` windows, each of its own class and colour, in a grid, managed by
// the window manager. Returns once the client has mapped them.
pid_t startWindows(int count) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child != 0) {
    close(ready[1]);
    char byte = 0;
    if (read(ready[0], &byte, 1) != 1) std::printf("  (the windows' client failed)\n");
    close(ready[0]);
    return child;
  }
  close(ready[0]);
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) _exit(1);
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  for (int i = 0; i < count; ++i) {
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {0x203040u + uint32_t(i) * 0x010305u};
    const int x = (i % 20) * 90, y = (i / 20) * 70 % 900;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y), 240, 140, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, values);
    const std::string name = "BenchWindow" + std::to_string(i);
    const std::string wmClass = name + '\0' + name + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    xcb_map_window(c, window);
  }
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  const char byte = 1;
  if (write(ready[1], &byte, 1) != 1) _exit(1);
  pause();
  _exit(0);
}

void stopWindows(pid_t child) {
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
}

// Runs the event loop until `done` holds (checked every millisecond) or 120 s pass.
bool runUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 120'000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

struct Result {
  double firstCardMs = -1;
  double allPicturesMs = -1;
  int pictures = 0;
  int peakConnections = 0;
};

Result runPicker(DesktopContent& content) {
  Result result;
  tk::XcbConnection::resetPeak();
  const int before = tk::XcbConnection::openConnections();
  QElapsedTimer clock;
  clock.start();
  tk::WindowSelectorView* view = tk::WindowSelectorView::open({nullptr, &content});
  bool finished = false;
  QObject::connect(&view->viewModel(), &tk::WindowSelectorViewModel::snapshotsFinished,
                   [&] { finished = true; });
  if (runUntil([&] { return !view->cards().empty(); }))
    result.firstCardMs = double(clock.nsecsElapsed()) / 1e6;
  if (runUntil([&] { return finished; })) result.allPicturesMs = double(clock.nsecsElapsed()) / 1e6;
  for (const auto& [display, thumbnails] : view->viewModel().windowsByDisplay()) {
    for (const auto& thumbnail : thumbnails) result.pictures += !thumbnail->placeholder;
  }
  result.peakConnections = tk::XcbConnection::peakOpenConnections() - before;
  view->close();
  QCoreApplication::processEvents();
  return result;
}

// The peer: one snapshot per window, all started at once.
Result runAllAtOnce(DesktopContent& content) {
  Result result;
  tk::ShareableContent desktop = tk::loadShareableContent();
  const auto windows = tk::WindowSelectorViewModel::selectableWindows(desktop, "");
  tk::XcbConnection::resetPeak();
  const int before = tk::XcbConnection::openConnections();
  QElapsedTimer clock;
  clock.start();
  int pending = int(windows.size());
  std::vector<std::shared_ptr<tk::CaptureSnapshot>> snapshots;
  for (const auto& window : windows) {
    tk::CaptureSource source;
    source.kind = tk::CaptureSource::Kind::singleWindow;
    source.window = window->windowID;
    tk::StreamConfiguration configuration;
    const QSize size = tk::WindowSelectorViewModel::thumbnailSize(window->frame.size());
    configuration.width = size.width();
    configuration.height = size.height();
    configuration.scalesToFit = true;
    configuration.minimumFrameInterval = tk::WindowSelectorViewModel::kSnapshotFrameInterval;
    configuration.queueDepth = 3;
    auto snapshot = std::make_shared<tk::CaptureSnapshot>(source, configuration);
    snapshots.push_back(snapshot);
    [](std::shared_ptr<tk::CaptureSnapshot> taking, int* left, int* pictures) -> QCoro::Task<void> {
      const auto image = co_await taking->take();
      *pictures += image.has_value();
      --*left;
    }(snapshot, &pending, &result.pictures);
  }
  (void)content;
  if (runUntil([&] { return pending == 0; })) result.allPicturesMs = double(clock.nsecsElapsed()) / 1e6;
  result.peakConnections = tk::XcbConnection::peakOpenConnections() - before;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  if (!std::getenv("DISPLAY")) {
    std::printf("WindowPicker: needs an X display; run it inside scripts/test-env.sh\n");
    return 0;
  }
  QApplication application(argc, argv);
  const int count = shortRun ? 40 : 200;
  std::printf("WindowPicker: the picker over %d windows of another client\n", count);
  const pid_t windows = startWindows(count);
  if (windows < 0) return 1;
  DesktopContent content;
  // The window manager lists them as it takes them on.
  const bool listed = runUntil([&] {
    return int(tk::WindowSelectorViewModel::selectableWindows(tk::loadShareableContent(), "").size()) >=
           count;
  });
  if (!listed) std::printf("  (the window manager did not list every window)\n");

  const Result ours = runPicker(content);
  std::printf("  %-32s first card %8.1f ms   all pictures %8.1f ms   pictures %3d   peak X connections %3d\n",
              "picker (a few at a time)", ours.firstCardMs, ours.allPicturesMs, ours.pictures,
              ours.peakConnections);
  const Result peer = runAllAtOnce(content);
  std::printf("  %-32s first card %8s      all pictures %8.1f ms   pictures %3d   peak X connections %3d\n",
              "peer: every picture at once", "-", peer.allPicturesMs, peer.pictures, peer.peakConnections);
  if (peer.allPicturesMs > 0 && ours.allPicturesMs > 0) {
    std::printf("  ratio to the peer: all pictures %.2fx the time, peak X connections %.2fx\n",
                ours.allPicturesMs / peer.allPicturesMs,
                double(ours.peakConnections) / std::max(1, peer.peakConnections));
  }
  stopWindows(windows);
  return ours.pictures == count ? 0 : 1;
}
