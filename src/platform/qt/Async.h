#pragma once

#include <QCoroFuture>
#include <QCoroTask>
#include <QCoroTimer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <chrono>
#include <type_traits>
#include <utility>

namespace tk {

// Every asynchronous operation is a QCoro::Task that resumes on the main thread. Blocking work is
// awaited from a worker thread with `onWorker`, never run on the main thread.
//
// Name the work before awaiting it when its lambda captures anything with a destructor (a path, a
// string, a shared_ptr): GCC 12 destroys the temporaries of a co_await expression twice, so
// `co_await onWorker([path] {...})` frees `path` twice. Write
//   auto work = [path] {...};
//   auto result = co_await onWorker(std::move(work));
template <typename Function>
auto onWorker(Function function) -> QCoro::Task<std::invoke_result_t<Function>> {
  co_return co_await QtConcurrent::run(std::move(function));
}

// Suspends the calling coroutine for a while without blocking the event loop.
inline QCoro::Task<void> sleepFor(std::chrono::milliseconds duration) {
  QTimer timer;
  timer.setSingleShot(true);
  timer.start(duration);
  co_await timer;
}

}  // namespace tk
