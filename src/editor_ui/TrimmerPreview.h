#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <array>
#include <optional>

#include "editor_ui/BackgroundPreviewView.h"
#include "export/RoundedCameraCompositorSettings.h"
#include "platform/composition/AffineTransform.h"

namespace tk {

class DraggableCameraView;
class VideoTrimmerView;

// The preview canvas of the editor: what the export will write, drawn live. In the standard layout,
// back to front: the backdrop (black, or the background), the screen's shadow, the movie's current
// frame in its padded, rounded screen layer, all zoomed as the zoom segments or keyframes say, the
// recorded cursor moving with the picture, and the camera bubble on top. In the vertical stack: the
// background with the camera band over the screen band. A drag on the screen layer moves a zoom
// keyframe's centre. Layout-only images (the screen's shadow) are built once per layout. Main thread.
class TrimmerPreview : public QWidget {
  Q_OBJECT

 public:
  TrimmerPreview(VideoTrimmerView& trimmer, QWidget* parent = nullptr);

  // The layout the canvas draws; set by the player area on every layout pass.
  void setLayout(QSizeF screenArea, bool verticalStack);
  bool isVerticalStack() const { return verticalStack_; }
  QSizeF screenArea() const { return screenArea_; }

  // The settings the export would draw this canvas from (the trimmer's appearance and the model's
  // background, cursor and zoom).
  RoundedCameraCompositorSettings compositorSettings() const;
  // The screen area's place in the canvas and the screen layer's place in the area (unzoomed).
  QRectF screenAreaRect() const;
  QRectF screenLayerRect() const;
  // Scale of output pixels to canvas points: canvas height over 1080.
  double pixelScale() const { return height() / 1080.0; }

  DraggableCameraView& cameraView() const { return *cameraView_; }
  const BackgroundPreviewView& backgroundView() const { return background_; }
  // Re-reads the trimmer's state: camera bubble, shown parts, repaint.
  void refresh();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The settings without the timed lists (zoom segments, cursor samples, clicks): all the layout
  // needs, and cheap to make at every paint however long the lists are.
  RoundedCameraCompositorSettings layoutSettings() const;
  void paintStandard(QPainter& painter);
  void paintVerticalStack(QPainter& painter);
  // The main frame inside `layer` (fitted), clipped to `radius`, with the cursor over it.
  void paintScreen(QPainter& painter, const QRectF& layer, double radius);
  void paintCursor(QPainter& painter, const QRectF& layer);
  const QImage& shadowImage(const QRectF& layer, double radius);
  AffineTransform zoomNow(QSizeF size) const;
  void requestFrameSize();

  VideoTrimmerView& trimmer_;
  DraggableCameraView* cameraView_ = nullptr;
  BackgroundPreviewView background_;
  QSizeF screenArea_;
  bool verticalStack_ = false;
  bool dragging_ = false;
  QImage shadow_;
  std::optional<std::array<double, 9>> shadowKey_;
};

}  // namespace tk
