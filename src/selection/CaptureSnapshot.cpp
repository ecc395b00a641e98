#include "selection/CaptureSnapshot.h"

#include <QFuture>
#include <QPromise>
#include <QTimer>
#include <atomic>
#include <mutex>

#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/X11CaptureStream.h"
#include "selection/SampleBufferImage.h"

namespace tk {

namespace {
std::atomic<int> running{0};
}

struct CaptureSnapshot::State {
  CaptureSource source;
  StreamConfiguration configuration;
  std::chrono::milliseconds timeout;

  std::mutex mutex;
  bool done = false;
  QPromise<std::optional<QImage>> promise;
  std::atomic<bool> capturing{false};

  // The first call wins; from any thread.
  void finish(std::optional<QImage> image) {
    std::lock_guard lock(mutex);
    if (done) return;
    done = true;
    promise.addResult(std::move(image));
    promise.finish();
  }
};

CaptureSnapshot::CaptureSnapshot(CaptureSource source, StreamConfiguration configuration,
                                 std::chrono::milliseconds timeout)
    : state_(std::make_shared<State>()) {
  state_->source = std::move(source);
  state_->configuration = std::move(configuration);
  state_->timeout = timeout;
  state_->promise.start();
}

CaptureSnapshot::~CaptureSnapshot() {
  cancel();
}

void CaptureSnapshot::cancel() {
  state_->finish(std::nullopt);
}

bool CaptureSnapshot::isCapturing() const {
  return state_->capturing.load();
}

int CaptureSnapshot::runningStreams() {
  return running.load();
}

QCoro::Task<std::optional<QImage>> CaptureSnapshot::take() {
  std::shared_ptr<State> state = state_;  // `this` may be gone when this resumes
  QFuture<std::optional<QImage>> result = state->promise.future();
  std::weak_ptr<State> weak = state;
  auto stream = std::make_shared<X11CaptureStream>(
      state->source, state->configuration,
      [weak](const SampleBuffer& sample) {
        if (auto owner = weak.lock()) {
          if (auto image = imageFromSampleBuffer(sample)) owner->finish(std::move(image));
        }
      },
      [weak](const std::string& reason) {
        Diagnostics::line("⚠️ Snapshot stream stopped: " + reason);
        if (auto owner = weak.lock()) owner->finish(std::nullopt);
      });
  QTimer::singleShot(state->timeout, [weak] {
    if (auto owner = weak.lock()) owner->finish(std::nullopt);
  });

  std::string failure;
  if (!result.isFinished()) {
    state->capturing = true;
    ++running;
    // The frame keeps the stream; the workers get a plain pointer (no owning copies in temporaries
    // of a co_await, which this compiler may destroy twice).
    X11CaptureStream* capture = stream.get();
    failure = co_await onWorker([capture]() -> std::string {
      try {
        capture->start();
        return {};
      } catch (const std::exception& error) {
        return error.what();
      }
    });
    if (!failure.empty()) {
      Diagnostics::line("❌ Snapshot failed: " + failure);
      state->finish(std::nullopt);
    }
    co_await result;
    // The stream's thread is joined off the main thread; nothing runs after this.
    co_await onWorker([capture] { capture->stop(); });
    --running;
    state->capturing = false;
  }
  co_return result.resultCount() > 0 ? result.result() : std::nullopt;
}

}  // namespace tk
