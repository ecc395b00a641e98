#pragma once

#include <QPointF>
#include <QRectF>
#include <QUuid>

#include "platform/json/EnumTable.h"
#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

// The event records of a recording's metadata document. Times are seconds on the movie's clock from
// the start of the recording. Positions are normalised to the captured rectangle (0 to 1); y is
// measured up from the bottom edge for ZoomEvent::position and down from the top edge for every
// other position. Each record has an id, a fresh random UUID when the record is made.

namespace tk {

// A fresh random (version 4) UUID for a new record. Drawn from Qt's seeded generator rather than
// the system's entropy source: a long recording makes one per cursor sample, and ids only need to
// be unique.
QUuid newRecordId();

enum class ClickType { leftClick, rightClick, doubleClick };
enum class EasingFunction { linear, easeInOut, easeIn, easeOut };

template <>
struct EnumTable<ClickType> {
  static constexpr std::array<std::pair<ClickType, std::string_view>, 3> entries{{
      {ClickType::leftClick, "leftClick"},
      {ClickType::rightClick, "rightClick"},
      {ClickType::doubleClick, "doubleClick"},
  }};
};
template <>
struct EnumTable<EasingFunction> {
  static constexpr std::array<std::pair<EasingFunction, std::string_view>, 4> entries{{
      {EasingFunction::linear, "linear"},
      {EasingFunction::easeInOut, "easeInOut"},
      {EasingFunction::easeIn, "easeIn"},
      {EasingFunction::easeOut, "easeOut"},
  }};
};

struct ZoomEvent {
  QUuid id = newRecordId();
  double timestamp = 0;
  QPointF position;  // y up from the bottom edge
  double level = 1;
  double duration = 0;
  EasingFunction easing = EasingFunction::easeInOut;
};

struct ZoomKeyframe {
  QUuid id = newRecordId();
  double time = 0;
  QPointF center;  // y down from the top edge
  double level = 1;
  double easeIn = 0;
  double easeOut = 0;
  EasingFunction easing = EasingFunction::easeInOut;

  // Every field, the id included; numbers compared exactly.
  bool operator==(const ZoomKeyframe& other) const;
};

struct ZoomSegment {
  QUuid id = newRecordId();
  double startTime = 0;
  double endTime = 0;
  double zoomLevel = 1;
  double easeIn = 0;
  double easeOut = 0;
  EasingFunction easing = EasingFunction::easeInOut;
  double panSmoothing = 0.75;  // also when a document leaves it out
  double deadZone = 0.06;      // also when a document leaves it out

  // Every field, the id included; numbers compared exactly.
  bool operator==(const ZoomSegment& other) const;
};

struct CameraKeyframe {
  QUuid id = newRecordId();
  double timestamp = 0;
  QRectF frame;  // the camera picture's frame; carried unchanged
  EasingFunction easing = EasingFunction::easeInOut;
};

struct CursorClick {
  QUuid id = newRecordId();
  double timestamp = 0;
  QPointF position;  // y down from the top edge
  ClickType clickType = ClickType::leftClick;
};

struct CursorPosition {
  QUuid id = newRecordId();
  double timestamp = 0;
  QPointF position;  // y down from the top edge
};

// JSON forms: objects keyed by the field names above.
void encode(JsonWriter& out, const ZoomEvent& value);
void encode(JsonWriter& out, const ZoomKeyframe& value);
void encode(JsonWriter& out, const ZoomSegment& value);
void encode(JsonWriter& out, const CameraKeyframe& value);
void encode(JsonWriter& out, const CursorClick& value);
void encode(JsonWriter& out, const CursorPosition& value);
ZoomEvent decodeZoomEvent(const JsonReader& in);
ZoomKeyframe decodeZoomKeyframe(const JsonReader& in);
ZoomSegment decodeZoomSegment(const JsonReader& in);
CameraKeyframe decodeCameraKeyframe(const JsonReader& in);
CursorClick decodeCursorClick(const JsonReader& in);
CursorPosition decodeCursorPosition(const JsonReader& in);

}  // namespace tk
