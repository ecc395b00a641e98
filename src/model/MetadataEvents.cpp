#include "model/MetadataEvents.h"

#include <QRandomGenerator>
#include <cstring>

namespace tk {

QUuid newRecordId() {
  quint64 words[2];
  QRandomGenerator::global()->fillRange(words, 2);
  unsigned char bytes[16];
  std::memcpy(bytes, words, sizeof bytes);
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

namespace {
bool samePoint(const QPointF& a, const QPointF& b) {
  return a.x() == b.x() && a.y() == b.y();
}
}  // namespace

bool ZoomKeyframe::operator==(const ZoomKeyframe& other) const {
  return id == other.id && time == other.time && samePoint(center, other.center) && level == other.level &&
         easeIn == other.easeIn && easeOut == other.easeOut && easing == other.easing;
}

bool ZoomSegment::operator==(const ZoomSegment& other) const {
  return id == other.id && startTime == other.startTime && endTime == other.endTime &&
         zoomLevel == other.zoomLevel && easeIn == other.easeIn && easeOut == other.easeOut &&
         easing == other.easing && panSmoothing == other.panSmoothing && deadZone == other.deadZone;
}

void encode(JsonWriter& out, const ZoomEvent& value) {
  out.uuid("id", value.id)
      .number("timestamp", value.timestamp)
      .point("position", value.position)
      .number("level", value.level)
      .number("duration", value.duration)
      .enumeration("easing", value.easing);
}

void encode(JsonWriter& out, const ZoomKeyframe& value) {
  out.uuid("id", value.id)
      .number("time", value.time)
      .point("center", value.center)
      .number("level", value.level)
      .number("easeIn", value.easeIn)
      .number("easeOut", value.easeOut)
      .enumeration("easing", value.easing);
}

void encode(JsonWriter& out, const ZoomSegment& value) {
  out.uuid("id", value.id)
      .number("startTime", value.startTime)
      .number("endTime", value.endTime)
      .number("zoomLevel", value.zoomLevel)
      .number("easeIn", value.easeIn)
      .number("easeOut", value.easeOut)
      .enumeration("easing", value.easing)
      .number("panSmoothing", value.panSmoothing)
      .number("deadZone", value.deadZone);
}

void encode(JsonWriter& out, const CameraKeyframe& value) {
  out.uuid("id", value.id)
      .number("timestamp", value.timestamp)
      .rect("frame", value.frame)
      .enumeration("easing", value.easing);
}

void encode(JsonWriter& out, const CursorClick& value) {
  out.uuid("id", value.id)
      .number("timestamp", value.timestamp)
      .point("position", value.position)
      .enumeration("clickType", value.clickType);
}

void encode(JsonWriter& out, const CursorPosition& value) {
  out.uuid("id", value.id).number("timestamp", value.timestamp).point("position", value.position);
}

ZoomEvent decodeZoomEvent(const JsonReader& in) {
  return {in.uuid("id"),      in.number("timestamp"), in.point("position"),
          in.number("level"), in.number("duration"),  in.enumeration<EasingFunction>("easing")};
}

ZoomKeyframe decodeZoomKeyframe(const JsonReader& in) {
  return {in.uuid("id"),
          in.number("time"),
          in.point("center"),
          in.number("level"),
          in.number("easeIn"),
          in.number("easeOut"),
          in.enumeration<EasingFunction>("easing")};
}

ZoomSegment decodeZoomSegment(const JsonReader& in) {
  ZoomSegment segment{in.uuid("id"),
                      in.number("startTime"),
                      in.number("endTime"),
                      in.number("zoomLevel"),
                      in.number("easeIn"),
                      in.number("easeOut"),
                      in.enumeration<EasingFunction>("easing")};
  // Segments written before these two existed leave them out.
  if (in.has("panSmoothing")) segment.panSmoothing = in.number("panSmoothing");
  if (in.has("deadZone")) segment.deadZone = in.number("deadZone");
  return segment;
}

CameraKeyframe decodeCameraKeyframe(const JsonReader& in) {
  return {in.uuid("id"), in.number("timestamp"), in.rect("frame"), in.enumeration<EasingFunction>("easing")};
}

CursorClick decodeCursorClick(const JsonReader& in) {
  return {in.uuid("id"), in.number("timestamp"), in.point("position"),
          in.enumeration<ClickType>("clickType")};
}

CursorPosition decodeCursorPosition(const JsonReader& in) {
  return {in.uuid("id"), in.number("timestamp"), in.point("position")};
}

}  // namespace tk
