#include "platform/v4l2/V4l2Camera.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/v4l2/V4l2FrameConverter.h"

namespace tk {

namespace {

constexpr const char* kDomain = "V4L2";
constexpr unsigned kBufferCount = 4;

int xioctl(int fd, unsigned long request, void* argument) {
  int result;
  do result = ::ioctl(fd, request, argument);
  while (result < 0 && errno == EINTR);
  return result;
}

[[noreturn]] void fail(const std::string& operation, int code) {
  throw PlatformError(kDomain, code, operation + ": " + std::strerror(code));
}

}  // namespace

bool V4l2Camera::isPermissionError(int code) {
  return code == EACCES || code == EPERM;
}

V4l2Camera::V4l2Camera(CaptureDevice device, int maxWidth, int maxHeight) : device_(std::move(device)) {
  const std::string what = "Opening the camera " + device_.devicePath;
  fd_ = ::open(device_.devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) fail(what, errno);
  try {
    const auto chosen = V4l2Devices::chooseFormat(V4l2Devices::formats(fd_), maxWidth, maxHeight);
    if (!chosen) fail(what + " (no MJPEG or YUYV format)", EINVAL);
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.pixelformat = chosen->pixelFormat;
    format.fmt.pix.width = static_cast<uint32_t>(chosen->width);
    format.fmt.pix.height = static_cast<uint32_t>(chosen->height);
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (xioctl(fd_, VIDIOC_S_FMT, &format) < 0) fail(what + " (setting the format)", errno);
    format_ = *chosen;
    format_.width = static_cast<int>(format.fmt.pix.width);  // the driver may adjust
    format_.height = static_cast<int>(format.fmt.pix.height);
    format_.pixelFormat = format.fmt.pix.pixelformat;
    bytesPerLine_ = static_cast<int>(format.fmt.pix.bytesperline);
    if (bytesPerLine_ <= 0) bytesPerLine_ = format_.width * 2;
    if (chosen->maxFrameRate > 0) {
      v4l2_streamparm parameters{};
      parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      parameters.parm.capture.timeperframe = {1, static_cast<uint32_t>(chosen->maxFrameRate + 0.5)};
      xioctl(fd_, VIDIOC_S_PARM, &parameters);  // a driver that keeps its own rate is fine
    }
    converter_ = std::make_unique<V4l2FrameConverter>(format_.pixelFormat, format_.width, format_.height,
                                                      bytesPerLine_);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) fail(what, errno);
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

V4l2Camera::~V4l2Camera() {
  stop();
  releaseBuffers();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  ::close(fd_);
}

void V4l2Camera::releaseBuffers() {
  for (const auto& mapping : buffers_) ::munmap(mapping.address, mapping.length);
  buffers_.clear();
  v4l2_requestbuffers request{};
  request.count = 0;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  xioctl(fd_, VIDIOC_REQBUFS, &request);
}

void V4l2Camera::start(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop) {
  if (running_.load()) return;
  if (thread_.joinable()) stop();  // a stream that ended by itself
  const std::string what = "Starting the camera " + device_.devicePath;
  v4l2_requestbuffers request{};
  request.count = kBufferCount;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  if (xioctl(fd_, VIDIOC_REQBUFS, &request) < 0) fail(what, errno);
  try {
    for (unsigned index = 0; index < request.count; ++index) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = index;
      if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) < 0) fail(what, errno);
      void* address =
          ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
      if (address == MAP_FAILED) fail(what, errno);
      buffers_.push_back({address, buffer.length});
      if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0) fail(what, errno);
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_STREAMON, &type) < 0) fail(what, errno);
  } catch (...) {
    releaseBuffers();
    throw;
  }
  stopRequested_ = false;
  running_ = true;
  thread_ = std::thread([this, onFrame = std::move(onFrame), onEnd = std::move(onEnd),
                         onDrop = std::move(onDrop)] { run(onFrame, onEnd, onDrop); });
}

void V4l2Camera::stop() {
  if (!thread_.joinable()) return;
  stopRequested_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
  thread_.join();
  v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  xioctl(fd_, VIDIOC_STREAMOFF, &type);
  releaseBuffers();
  uint64_t drained;
  [[maybe_unused]] const auto read = ::read(wakeFd_, &drained, sizeof drained);
}

void V4l2Camera::run(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop) {
  pthread_setname_np(pthread_self(), "tk-camera");
  std::string ended;
  std::optional<uint32_t> lastSequence;
  while (!stopRequested_.load()) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, 2000) < 0) {
      if (errno == EINTR) continue;
      ended = std::string("Waiting for camera frames: ") + std::strerror(errno);
      break;
    }
    if (stopRequested_.load()) break;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      ended = "The camera " + device_.devicePath + " was disconnected";
      break;
    }
    if (!(fds[0].revents & POLLIN)) continue;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buffer) < 0) {
      if (errno == EAGAIN) continue;
      ended = errno == ENODEV ? "The camera " + device_.devicePath + " was disconnected"
                              : std::string("Reading a camera frame: ") + std::strerror(errno);
      break;
    }
    if (lastSequence && buffer.sequence > *lastSequence + 1 && onDrop)
      onDrop(buffer.sequence - *lastSequence - 1);
    lastSequence = buffer.sequence;
    int64_t stamp = MonotonicClock::nowNanoseconds();
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
      stamp = int64_t(buffer.timestamp.tv_sec) * 1'000'000'000 + int64_t(buffer.timestamp.tv_usec) * 1000;
    std::shared_ptr<PixelBuffer> pixels;
    if (!(buffer.flags & V4L2_BUF_FLAG_ERROR) && buffer.index < buffers_.size())
      pixels =
          converter_->convert(static_cast<const uint8_t*>(buffers_[buffer.index].address), buffer.bytesused);
    if (xioctl(fd_, VIDIOC_QBUF, &buffer) < 0 && errno == ENODEV) {
      ended = "The camera " + device_.devicePath + " was disconnected";
      break;
    }
    if (pixels && onFrame) onFrame(SampleBuffer::video(std::move(pixels), MediaTime::fromNanoseconds(stamp)));
  }
  running_ = false;
  if (!ended.empty() && !stopRequested_.load() && onEnd) onEnd(ended);
}

}  // namespace tk
