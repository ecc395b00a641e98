#pragma once

#include <QImage>
#include <QRect>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class DesktopScene;
class ShmImage;
class XcbConnection;

// Reads a small region of the screen as the other applications' windows show it, leaving this
// process's windows out: through the capture layer's desktop scene every top-level window's own
// pixels are read from its Composite pixmap, even where one of ours covers it, and the region is
// put together from those over the wallpaper, bottom to top. Only the region is read, never the
// whole screen. Main thread.
class ScreenRegionSampler {
 public:
  // Null with `error` filled when there is no display or no XComposite.
  static std::unique_ptr<ScreenRegionSampler> open(std::string* error = nullptr);
  ~ScreenRegionSampler();
  ScreenRegionSampler(const ScreenRegionSampler&) = delete;
  ScreenRegionSampler& operator=(const ScreenRegionSampler&) = delete;

  // The pixels of `region` (root coordinates) without the windows of this process and those in
  // `excluded` (top-level or client window ids). Parts of the region covered by no window show
  // the wallpaper, or black without one. Nothing when the server gives no picture.
  std::optional<QImage> sample(const QRect& region, const std::vector<uint32_t>& excluded);

 private:
  ScreenRegionSampler();

  std::unique_ptr<XcbConnection> connection_;
  std::unique_ptr<DesktopScene> scene_;
  std::unique_ptr<ShmImage> image_;
};

}  // namespace tk
