#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <QWidget>
#include <optional>
#include <vector>

#include "editor_ui/TimelineScale.h"

namespace tk {

// The common frame of the timeline's point tracks (zoom keyframes, zoom events, camera keyframes):
// a title, and one marker per item on the timeline's time axis, selected by a tap. A tap on another
// marker moves the selection; nothing deselects. Presses outside the markers are left to the
// timeline. Each track says where its selection lives and how its marker looks. Main thread.
class TrimmerMarkerTrackView : public QWidget {
  Q_OBJECT

 public:
  struct Item {
    QUuid id;
    double time = 0;
  };

  void setDuration(double duration);
  void setCurrentTime(double time) { currentTime_ = time; }  // carried; it does not change the drawing
  double duration() const { return duration_; }
  double currentTime() const { return currentTime_; }

  // Each item's marker rectangle, in list order.
  std::vector<QRectF> markerRects() const;
  virtual std::optional<QUuid> selectedId() const = 0;

 protected:
  // Zoom markers stand on the track's bottom edge; camera markers are centred vertically.
  enum class Placement { bottom, centred };
  TrimmerMarkerTrackView(QString title, int height, double markerSize, Placement placement, QWidget* parent);

  // One item per record, its time read from the given field.
  template <class Record>
  void setItemsOf(const std::vector<Record>& records, double Record::*time) {
    std::vector<Item> items;
    items.reserve(records.size());
    for (const Record& record : records) items.push_back({record.id, record.*time});
    setItems(std::move(items));
  }
  virtual void paintMarker(QPainter& painter, const QRectF& rect, bool selected) const = 0;
  virtual void select(const QUuid& id) = 0;

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void setItems(std::vector<Item> items);

  QString title_;
  double markerSize_;
  Placement placement_;
  std::vector<Item> items_;
  double duration_ = 0;
  double currentTime_ = 0;
  std::optional<QUuid> pressedId_;
  QPointF pressPosition_;
};

}  // namespace tk
