#pragma once

#include <QImage>
#include <QRectF>
#include <filesystem>
#include <optional>

#include "model/BackgroundSettings.h"

class QPainter;

namespace tk {

// Paints a whole background (gradient, solid colour or image) into a rectangle; whatever cannot be
// drawn (no gradient, no colour, no image file or an unreadable one) is black. An image fills the
// rectangle keeping its proportions, cut at two edges. The image is decoded once per file and kept,
// not read again for every frame the preview paints. Main thread.
class BackgroundPreviewView {
 public:
  void paint(QPainter& painter, const QRectF& rect, const BackgroundSettings& settings);

  // How many times an image file was decoded (each file once while it stays the same).
  int imageDecodeCount() const { return decodeCount_; }

 private:
  const QImage& imageFor(const std::filesystem::path& file);

  std::optional<std::filesystem::path> imageFile_;
  QImage image_;
  int decodeCount_ = 0;
};

}  // namespace tk
