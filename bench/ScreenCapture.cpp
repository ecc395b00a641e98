// Screen capture against ffmpeg's x11grab on the same display: 1920x1080 at 60 fps with moving
// content, first with nothing to leave out (the root-grab fast path), then with one window of a
// hidden application on screen (repainted from what lies beneath). Prints delivered frames and CPU
// seconds per captured second for each. Run inside scripts/test-env.sh; --short runs one second.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "capture/AppInfo.h"
#include "capture/ScreenCaptureEngine.h"
#include "platform/qt/SettingsStore.h"

namespace {

constexpr int kRate = 60;

double cpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return cpuSeconds(usage);
}

// A child process that keeps the screen busy: a window sweeping across it, changing colour every
// frame, and, when asked, a still window of the application the recording hides.
pid_t startMovingContent(bool withHiddenWindow) {
  const pid_t child = fork();
  if (child != 0) return child;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) _exit(1);
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  auto makeWindow = [&](int x, int y, int width, int height, uint32_t colour, const char* wmClass) {
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {colour, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    std::string value = std::string(wmClass) + '\0' + wmClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(value.size()), value.data());
    xcb_map_window(c, window);
    return window;
  };
  if (withHiddenWindow) makeWindow(700, 300, 500, 400, 0xcc3333, "BenchHidden");
  const xcb_window_t mover = makeWindow(0, 200, 480, 360, 0x3366cc, "BenchMover");
  xcb_flush(c);
  for (uint32_t frame = 0;; ++frame) {
    const uint32_t position[] = {(frame * 12) % 1440, 200 + (frame * 5) % 500};
    xcb_configure_window(c, mover, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    const uint32_t colour = 0x202020u + (frame * 0x030507u) % 0xdfdfdfu;
    xcb_change_window_attributes(c, mover, XCB_CW_BACK_PIXEL, &colour);
    xcb_clear_area(c, 0, mover, 0, 0, 0, 0);
    xcb_flush(c);
    if (xcb_connection_has_error(c)) _exit(0);
    std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 / kRate));
  }
}

void stopChild(pid_t child) {
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
}

struct Result {
  long frames = 0;
  double cpuPerSecond = 0;
};

Result runOurs(double seconds, bool withHiddenWindow) {
  const pid_t mover = startMovingContent(withHiddenWindow);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  QTemporaryDir directory;
  tk::SettingsStore store(directory.filePath("settings.ini"));
  store.setData(tk::kHiddenAppsKey, tk::encodeAppInfoList({{"BenchHidden", "Bench hidden"}}));

  tk::ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  tk::RecordingConfiguration configuration;
  configuration.backgroundColor = tk::BackgroundType::wallpaper;
  const tk::RecordingMode mode = tk::RecordingMode::screen(engine.availableContent()->displays.front());
  engine.setFilter(engine.createFilter(mode, configuration, store));
  tk::StreamConfiguration stream;
  stream.width = 1920;
  stream.height = 1080;
  stream.showsCursor = true;
  stream.minimumFrameInterval = tk::MediaTime(1, kRate);
  engine.setConfiguration(stream);
  std::atomic<long> frames{0};
  std::atomic<uint32_t> touched{0};
  engine.setFrameHandler([&](const tk::SampleBuffer& sample) {
    touched += sample.pixelBuffer()->pixel(960, 540);  // the frame is really there
    ++frames;
  });

  const double cpuBefore = processCpu();
  engine.startCaptureBlocking();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  engine.stopCaptureBlocking();
  const double cpu = processCpu() - cpuBefore;
  stopChild(mover);
  return {frames.load(), cpu / seconds};
}

Result runFfmpeg(double seconds) {
  const pid_t mover = startMovingContent(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  char log[] = "/tmp/tk-bench-ffmpeg.XXXXXX";
  const int logFd = mkstemp(log);
  const std::string display = std::string(std::getenv("DISPLAY")) + "+0,0";
  const std::string duration = std::to_string(seconds);
  const pid_t ffmpeg = fork();
  if (ffmpeg == 0) {
    dup2(logFd, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    execlp("ffmpeg", "ffmpeg", "-hide_banner", "-loglevel", "info", "-f", "x11grab", "-framerate", "60",
           "-video_size", "1920x1080", "-draw_mouse", "1", "-i", display.c_str(), "-t", duration.c_str(),
           "-f", "null", "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  rusage usage{};
  int status = 0;
  wait4(ffmpeg, &status, 0, &usage);
  stopChild(mover);
  close(logFd);

  // The last progress report names the frames that went through.
  long frames = 0;
  if (FILE* file = std::fopen(log, "r")) {
    std::string text;
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
    std::fclose(file);
    const size_t at = text.rfind("frame=");
    if (at != std::string::npos) frames = std::strtol(text.c_str() + at + 6, nullptr, 10);
  }
  std::remove(log);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::printf("  (ffmpeg exited with status %d)\n", status);
  return {frames, cpuSeconds(usage) / seconds};
}

void print(const char* label, const Result& result, double seconds) {
  const double expected = seconds * kRate;
  std::printf("  %-34s frames %5ld of %5.0f (%5.1f%%)   CPU %.3f s per captured second\n", label,
              result.frames, expected, 100.0 * static_cast<double>(result.frames) / expected,
              result.cpuPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  if (!std::getenv("DISPLAY")) {
    std::printf("ScreenCapture: needs an X display; run it inside scripts/test-env.sh\n");
    return 0;
  }
  QCoreApplication application(argc, argv);
  const double seconds = shortRun ? 1.0 : 10.0;
  std::printf("ScreenCapture: 1920x1080 at %d fps for %.0f s, moving content\n", kRate, seconds);
  const Result fast = runOurs(seconds, false);
  print("ours, display (root grab)", fast, seconds);
  const Result excluded = runOurs(seconds, true);
  print("ours, one excluded window shown", excluded, seconds);
  const Result ffmpeg = runFfmpeg(seconds);
  print("ffmpeg x11grab", ffmpeg, seconds);
  return 0;
}
