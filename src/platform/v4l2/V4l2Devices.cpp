#include "platform/v4l2/V4l2Devices.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace tk {

const uint32_t V4l2Devices::kMjpeg = V4L2_PIX_FMT_MJPEG;
const uint32_t V4l2Devices::kYuyv = V4L2_PIX_FMT_YUYV;

namespace {

namespace fs = std::filesystem;

int xioctl(int fd, unsigned long request, void* argument) {
  int result;
  do result = ::ioctl(fd, request, argument);
  while (result < 0 && errno == EINTR);
  return result;
}

std::string readLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

int nodeNumber(const std::string& name) {
  if (name.rfind("video", 0) != 0 || name.size() == 5) return -1;
  for (size_t i = 5; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return -1;
  return std::stoi(name.substr(5));
}

std::string byIdName(const fs::path& node, const std::string& devDir) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(devDir) / "v4l" / "by-id", error)) {
    std::error_code ignored;
    if (fs::equivalent(entry.path(), node, ignored)) return entry.path().filename().string();
  }
  return {};
}

bool onFixedPort(const std::string& nodeName) {
  // The USB interface's parent is the device; the hub tells whether its port is removable.
  std::error_code error;
  const fs::path device = fs::canonical(fs::path("/sys/class/video4linux") / nodeName / "device", error);
  if (error) return false;
  return readLine(device.parent_path() / "removable") == "fixed";
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::vector<CaptureDevice> V4l2Devices::list(const std::string& devDir) {
  std::vector<std::pair<int, std::string>> nodes;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(devDir, error)) {
    const std::string name = entry.path().filename().string();
    if (const int number = nodeNumber(name); number >= 0) nodes.emplace_back(number, name);
  }
  std::sort(nodes.begin(), nodes.end());

  std::vector<CaptureDevice> devices;
  for (const auto& [number, name] : nodes) {
    const fs::path path = fs::path(devDir) / name;
    CaptureDevice device;
    device.devicePath = path.string();
    Fd node{::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)};
    if (node.fd < 0) {
      if (errno != EACCES && errno != EPERM) continue;
      device.localizedName = readLine(fs::path("/sys/class/video4linux") / name / "name");
      if (device.localizedName.empty()) device.localizedName = name;
      device.uniqueID = byIdName(path, devDir);
      if (device.uniqueID.empty()) device.uniqueID = path.string();
      devices.push_back(device);
      continue;
    }
    v4l2_capability capability{};
    if (xioctl(node.fd, VIDIOC_QUERYCAP, &capability) < 0) continue;
    const uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
    const std::string card(reinterpret_cast<const char*>(capability.card));
    const std::string bus(reinterpret_cast<const char*>(capability.bus_info));
    device.localizedName = card.empty() ? name : card;
    device.modelID = reinterpret_cast<const char*>(capability.driver);
    device.uniqueID = byIdName(path, devDir);
    if (device.uniqueID.empty()) device.uniqueID = bus + ":" + card;
    device.isExternal = bus.rfind("usb-", 0) == 0 && !onFixedPort(name);
    devices.push_back(device);
  }
  return devices;
}

std::vector<V4l2FormatOption> V4l2Devices::formats(int fd) {
  std::vector<V4l2FormatOption> options;
  v4l2_fmtdesc description{};
  description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (description.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &description) == 0; ++description.index) {
    v4l2_frmsizeenum size{};
    size.pixel_format = description.pixelformat;
    for (size.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      V4l2FormatOption option;
      option.pixelFormat = description.pixelformat;
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        option.width = static_cast<int>(size.discrete.width);
        option.height = static_cast<int>(size.discrete.height);
      } else {
        // Stepwise sizes: the largest that fits our ceiling stands for the range.
        option.width = static_cast<int>(std::min<uint32_t>(size.stepwise.max_width, 1920));
        option.height = static_cast<int>(std::min<uint32_t>(size.stepwise.max_height, 1080));
        option.width -= option.width % std::max<int>(1, static_cast<int>(size.stepwise.step_width));
        option.height -= option.height % std::max<int>(1, static_cast<int>(size.stepwise.step_height));
      }
      v4l2_frmivalenum interval{};
      interval.pixel_format = description.pixelformat;
      interval.width = static_cast<uint32_t>(option.width);
      interval.height = static_cast<uint32_t>(option.height);
      for (interval.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0; ++interval.index) {
        const v4l2_fract& fraction =
            interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
        if (fraction.numerator > 0)
          option.maxFrameRate =
              std::max(option.maxFrameRate, double(fraction.denominator) / fraction.numerator);
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
      }
      options.push_back(option);
      if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) break;
    }
  }
  return options;
}

std::optional<V4l2FormatOption> V4l2Devices::chooseFormat(const std::vector<V4l2FormatOption>& options,
                                                          int maxWidth, int maxHeight) {
  auto usable = [&](const V4l2FormatOption& option) {
    return (option.pixelFormat == kMjpeg || option.pixelFormat == kYuyv) && option.width > 0 &&
           option.height > 0 && option.width <= maxWidth && option.height <= maxHeight;
  };
  auto better = [](const V4l2FormatOption& a, const V4l2FormatOption& b) {
    const long areaA = long(a.width) * a.height, areaB = long(b.width) * b.height;
    if (areaA != areaB) return areaA > areaB;
    if (a.pixelFormat != b.pixelFormat) return a.pixelFormat == kMjpeg;
    return a.maxFrameRate > b.maxFrameRate;
  };
  std::optional<V4l2FormatOption> best, fastest;
  for (const auto& option : options) {
    if (!usable(option)) continue;
    if (option.maxFrameRate >= 24 && (!best || better(option, *best))) best = option;
    if (!fastest || option.maxFrameRate > fastest->maxFrameRate ||
        (option.maxFrameRate == fastest->maxFrameRate && better(option, *fastest)))
      fastest = option;
  }
  return best ? best : fastest;
}

}  // namespace tk
