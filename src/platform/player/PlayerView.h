#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/player/MediaPlayer.h"

namespace tk {

// Shows a MediaPlayer's current frame, filling the view while keeping the picture's proportions
// (aspect-fill, the picture cropped at two edges) or fitting inside it (aspect-fit, bars at two
// edges). It asks the player for frames of the size it paints, so painting is a copy. Main thread.
class PlayerView : public QWidget {
  Q_OBJECT

 public:
  enum class VideoGravity { resizeAspectFill, resizeAspect };

  explicit PlayerView(QWidget* parent = nullptr);

  // The view does not own the player; null detaches it.
  void setPlayer(MediaPlayer* player);
  MediaPlayer* player() const { return player_; }

  void setVideoGravity(VideoGravity gravity);
  VideoGravity videoGravity() const { return gravity_; }

  // Where a picture of `frame` size is painted inside `bounds` for a gravity.
  static QRectF targetRect(QSizeF frame, QRectF bounds, VideoGravity gravity);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void requestFrameSize();

  QPointer<MediaPlayer> player_;
  QMetaObject::Connection frameConnection_, statusConnection_;
  VideoGravity gravity_ = VideoGravity::resizeAspectFill;
};

}  // namespace tk
