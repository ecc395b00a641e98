#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace tk {

// Notices video nodes appearing, disappearing or changing rights in a device folder (udev sets a
// new node's group a moment after creating it), on a thread of its own. The handler runs on that
// thread, once per burst of changes.
class V4l2HotplugWatcher {
 public:
  using ChangeHandler = std::function<void()>;

  // Throws PlatformError (domain "V4L2") when the folder cannot be watched.
  explicit V4l2HotplugWatcher(ChangeHandler onChange, const std::string& devDir = "/dev");
  // Joins the thread; the handler does not run after it returns.
  ~V4l2HotplugWatcher();
  V4l2HotplugWatcher(const V4l2HotplugWatcher&) = delete;
  V4l2HotplugWatcher& operator=(const V4l2HotplugWatcher&) = delete;

 private:
  void run();

  ChangeHandler onChange_;
  int inotifyFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
};

}  // namespace tk
