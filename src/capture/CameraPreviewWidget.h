#pragma once

#include <QWidget>
#include <memory>
#include <mutex>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

// Shows the latest camera frame, scaled to fit. Frames may be handed over from any thread; the
// widget repaints on the main thread. It draws nothing until a frame arrives.
class CameraPreviewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit CameraPreviewWidget(QWidget* parent = nullptr);

  // Any thread.
  void showFrame(const SampleBuffer& sample);
  void clear();

  bool isMirrored() const { return isMirrored_; }
  void setMirrored(bool mirrored) { isMirrored_ = mirrored; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::mutex mutex_;
  std::shared_ptr<PixelBuffer> frame_;
  bool isMirrored_ = false;
};

}  // namespace tk
