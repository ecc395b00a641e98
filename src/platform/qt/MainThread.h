#pragma once

#include <functional>

namespace tk {

// Hands work to the Qt main thread's event loop. Safe from any thread; a task posted before the
// application object exists or after it is gone is dropped.
void postToMainThread(std::function<void()> task);
bool isMainThread();

}  // namespace tk
