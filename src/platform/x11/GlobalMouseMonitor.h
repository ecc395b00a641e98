#pragma once

#include <QPoint>
#include <QPointF>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tk {

// The kinds of mouse event the live overlays react to. The numbers are the event type numbers the
// overlay's colour and pressed rules are written against.
enum class MouseEventType {
  leftMouseDown = 1,
  leftMouseUp = 2,
  rightMouseDown = 3,
  rightMouseUp = 4,
  mouseMoved = 5,
  leftMouseDragged = 6,
  rightMouseDragged = 7,
  scrollWheel = 22,
  otherMouseDown = 25,
  otherMouseUp = 26,
  otherMouseDragged = 27,
};

// One mouse event seen anywhere on the desktop.
struct MouseEvent {
  MouseEventType type = MouseEventType::mouseMoved;
  // The pointer where the server had it when the event was read, in the application's global
  // space (bottom-left origin, y up) and in root coordinates.
  QPointF location;
  QPoint rootLocation;
  // Presses of the same button within the desktop's double-click interval and distance count up
  // (1, 2, 3...); 0 for every other event.
  int clickCount = 0;
};

// Watches the whole desktop's mouse through XInput2 raw events selected on the root window, on an
// X connection of its own whose socket is read on the main thread. Raw events carry no position,
// so the pointer is read from the server for each event (moves are coalesced per read). Events
// that land on one of this application's own windows are dropped, as a monitor of other
// applications' events would never see them. Buttons 4 to 7 are the scroll wheel.
// Made, used and destroyed on the main thread.
class GlobalMouseMonitor {
 public:
  using Handler = std::function<void(const MouseEvent&)>;
  // Decides whether a window id belongs to this application; the default asks Qt for its windows.
  using OwnWindowTest = std::function<bool(uint32_t windowId)>;

  // Null with `error` filled when there is no display or the server lacks XInput 2.
  static std::unique_ptr<GlobalMouseMonitor> start(Handler handler, std::string* error = nullptr,
                                                   OwnWindowTest isOwnWindow = {});
  ~GlobalMouseMonitor();
  GlobalMouseMonitor(const GlobalMouseMonitor&) = delete;
  GlobalMouseMonitor& operator=(const GlobalMouseMonitor&) = delete;

  // The pointer's position in the global space, read from the server (main thread).
  static std::optional<QPointF> pointerLocation();
  // True when the window id is one of this application's created Qt windows.
  static bool isApplicationWindow(uint32_t windowId);

 private:
  struct State;
  explicit GlobalMouseMonitor(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace tk
