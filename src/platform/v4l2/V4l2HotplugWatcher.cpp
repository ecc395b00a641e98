#include "platform/v4l2/V4l2HotplugWatcher.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/media/Error.h"

namespace tk {

namespace {
// Changes that come this close together are one plug-in: the node, its metadata sibling, its rights.
constexpr int kSettleMs = 150;
}  // namespace

V4l2HotplugWatcher::V4l2HotplugWatcher(ChangeHandler onChange, const std::string& devDir)
    : onChange_(std::move(onChange)) {
  inotifyFd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (inotifyFd_ < 0 || wakeFd_ < 0 ||
      ::inotify_add_watch(inotifyFd_, devDir.c_str(),
                          IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
    const int code = errno;
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    throw PlatformError("V4L2", code, "Watching " + devDir + " for cameras: " + std::strerror(code));
  }
  thread_ = std::thread([this] { run(); });
}

V4l2HotplugWatcher::~V4l2HotplugWatcher() {
  stopRequested_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
  thread_.join();
  ::close(inotifyFd_);
  ::close(wakeFd_);
}

void V4l2HotplugWatcher::run() {
  pthread_setname_np(pthread_self(), "tk-camera-watch");
  alignas(inotify_event) char buffer[4096];
  bool pending = false;
  while (!stopRequested_.load()) {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, pending ? kSettleMs : -1);
    if (stopRequested_.load()) break;
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0 && pending) {
      pending = false;
      if (onChange_) onChange_();
      continue;
    }
    if (!(fds[0].revents & POLLIN)) continue;
    ssize_t length;
    while ((length = ::read(inotifyFd_, buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        if (event->len > 0 && std::strncmp(event->name, "video", 5) == 0) pending = true;
        at += sizeof(inotify_event) + event->len;
      }
    }
  }
}

}  // namespace tk
