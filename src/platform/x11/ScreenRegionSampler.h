#pragma once

#include <QImage>
#include <QRect>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class XcbConnection;

// Reads a small region of the screen as the other applications' windows show it, leaving some
// windows out: each top-level window is redirected with XComposite, so its own pixels can be read
// even where one of the left-out windows covers it, and the region is put together from those,
// bottom to top. Only the region is read, never the whole screen. Main thread.
class ScreenRegionSampler {
 public:
  // Null with `error` filled when there is no display or no XComposite.
  static std::unique_ptr<ScreenRegionSampler> open(std::string* error = nullptr);
  ~ScreenRegionSampler();
  ScreenRegionSampler(const ScreenRegionSampler&) = delete;
  ScreenRegionSampler& operator=(const ScreenRegionSampler&) = delete;

  // The pixels of `region` (root coordinates) without the windows in `excluded` (any window ids:
  // each is resolved to the top-level it belongs to). Parts of the region outside the screen or
  // covered by no window are black. Nothing when the server gives no picture.
  std::optional<QImage> sample(const QRect& region, const std::vector<uint32_t>& excluded);

 private:
  explicit ScreenRegionSampler(std::unique_ptr<XcbConnection> connection);
  uint32_t topLevelOf(uint32_t window);

  std::unique_ptr<XcbConnection> connection_;
};

}  // namespace tk
