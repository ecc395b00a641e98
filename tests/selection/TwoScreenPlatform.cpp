// The selection tests run their widgets on Qt's offscreen platform with two screens side by side,
// set up before the test program's main() creates the application. The capture layer still talks
// to the private desktop's X server through $DISPLAY.

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const bool configured = [] {
  char path[] = "/tmp/tk-selection-screens-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return false;
  const std::string json = R"({"screens": [
    {"name": "Left", "x": 0, "y": 0, "width": 1280, "height": 800, "logicalDpi": 96, "dpr": 1},
    {"name": "Right", "x": 1280, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96, "dpr": 2}
  ]})";
  const bool written = write(fd, json.data(), json.size()) == ssize_t(json.size());
  close(fd);
  if (written) setenv("QT_QPA_PLATFORM", (std::string("offscreen:configfile=") + path).c_str(), 1);
  return written;
}();

}  // namespace
