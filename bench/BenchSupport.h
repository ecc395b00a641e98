#pragma once

// What the benchmarks share: a moving picture to record, a recording written by our own writer, a
// way to wait for a task and one to measure work in a process of its own.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoroTask>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "editor_ui/TrimmerActions.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "editor_ui/VideoTrimmerView.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/PixelBuffer.h"

namespace tk::bench {

// The desktop benchmarks need an X display; without one they say so and end as passed.
inline bool hasDisplay(const char* name) {
  if (std::getenv("DISPLAY")) return true;
  std::printf("%s: needs an X display, skipped\n", name);
  return false;
}

// A window of coloured bars over the whole primary screen that move every 16 ms, so every frame
// differs.
class MovingBars : public QWidget {
 public:
  MovingBars() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setGeometry(QGuiApplication::primaryScreen()->geometry());
    connect(&timer_, &QTimer::timeout, this, [this] {
      ++frame_;
      update();
    });
    timer_.start(16);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 60, 90));
    const double scale = width() / 1920.0;
    for (int i = 0; i < 12; ++i) {
      int x = int((frame_ * (4 + i) + i * 150) * scale) % std::max(width(), 1);
      painter.fillRect(x, int(i * 90 * scale), int(120 * scale), int(80 * scale),
                       QColor::fromHsv((i * 30 + frame_) % 360, 200, 230));
    }
  }

 private:
  QTimer timer_;
  int frame_ = 0;
};

// Waits for a task in a nested event loop; what it throws comes back here.
inline void runBlocking(QCoro::Task<void> task) {
  std::exception_ptr error;
  auto run = [&]() -> QCoro::Task<void> {
    try {
      co_await std::move(task);
    } catch (...) {
      error = std::current_exception();
    }
  };
  QCoro::waitFor(run());
  if (error) std::rethrow_exception(error);
}

// Runs the event loop until `done` holds or `seconds` pass; false on time-out.
inline bool waitFor(const std::function<bool()>& done, double seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > seconds * 1000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// The editor registry's window on `movie`, once the movie has loaded; null when it failed to.
inline VideoTrimmerView* openEditorWindow(const std::filesystem::path& movie, QWidget*& window) {
  auto& editors = VideoTrimmerManager::shared();
  editors.openTrimmer(movie);
  window = editors.openTrimmerWindow(movie);
  auto* view = window ? window->findChild<VideoTrimmerView*>() : nullptr;
  const auto settled = [&] { return !view->viewModel().isLoading() || view->loadFailed(); };
  if (!view || !waitFor(settled, 300) || view->loadFailed()) return nullptr;
  return view;
}

// The window's own Export, waited for; false when it failed (and says why).
inline bool exportFromWindow(VideoTrimmerView& view) {
  view.actions().exportAdvanced();
  if (!waitFor([&] { return view.showExportSuccess() || view.showError(); }, 1800)) return false;
  if (view.showError()) std::printf("  export failed: %s\n", view.errorMessage().c_str());
  return !view.showError();
}

// A size in MiB from this process's /proc status ("VmRSS:", "VmHWM:"); 0 when it is not there.
inline double statusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) / 1024.0;
  return 0;
}

// Starts this process's peak resident size (VmHWM) again from what it holds now, so that a later
// peak, inChild's too, is that of the work done since.
inline void restartPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// Wall time, CPU time and peak resident memory (VmHWM) of work run in a child process.
struct Measure {
  double wall = 0, cpu = 0, peakMiB = 0;
  bool ok = false;
};

// Runs `work` in a child process; its own wall time, CPU time and peak resident memory.
inline Measure inChild(const std::function<bool()>& work) {
  const auto start = std::chrono::steady_clock::now();
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    const bool ok = work();
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Measure m;
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpu =
      usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakMiB = usage.ru_maxrss / 1024.0;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

inline void waitReady(const std::function<bool()>& ready) {
  while (!ready()) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// A desktop-like picture: a light backdrop with panels, and a dark window that drifts across it.
inline void writeRecording(const std::filesystem::path& file, int width, int height, double seconds) {
  AssetWriter writer(file, ContainerFormat::mp4);
  VideoInputSettings video;
  video.width = width;
  video.height = height;
  video.frameRate = 60;
  video.preset = "ultrafast";
  video.bitRate = 12'000'000;
  video.queuedFrames = 4;
  writer.addVideoInput(video);
  writer.addAudioInput(AudioInputSettings{});
  writer.start();
  auto backdrop = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool panel = (x / 240 + y / 135) % 3 == 0;
      backdrop->setPixel(x, y, panel ? 0xFFD8DCE4 : 0xFFF4F5F7 - ((x * 7 + y * 3) % 16));
    }
  PixelBufferPool pool(width, height, 12);
  const int frames = static_cast<int>(std::lround(seconds * 60));
  const int block = 800;  // 60 fps video, 48 kHz audio: 800 sample frames per video frame
  for (int i = 0; i < frames; ++i) {
    auto frame = pool.acquire();
    frame->copyFrom(*backdrop);
    const int w = width / 3, h = height / 3;
    const int left = static_cast<int>((width - w) * (0.5 + 0.45 * std::sin(i * 0.013)));
    const int top = static_cast<int>((height - h) * (0.5 + 0.45 * std::cos(i * 0.009)));
    for (int y = top; y < top + h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(frame->row(y));
      for (int x = left; x < left + w; ++x) row[x] = 0xFF202838 + ((x + i) % 32 == 0 ? 0x00404040 : 0);
    }
    waitReady([&] { return writer.isReadyForVideo(); });
    writer.appendVideo(frame, MediaTime(i, 60));
    auto audio = std::make_shared<AudioBlock>();
    audio->frameCount = block;
    audio->samples.resize(block * 2);
    for (int s = 0; s < block; ++s)
      audio->samples[s * 2] = audio->samples[s * 2 + 1] =
          0.3f * static_cast<float>(std::sin(2 * M_PI * 440 * (i * block + s) / 48000.0));
    waitReady([&] { return writer.isReadyForAudio(0); });
    writer.appendAudio(0, audio, MediaTime(int64_t(i) * block, 48000));
  }
  writer.finish(MediaTime::fromSeconds(seconds, 600));
}

}  // namespace tk::bench
