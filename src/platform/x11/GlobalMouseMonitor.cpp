#include "platform/x11/GlobalMouseMonitor.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyleHints>
#include <QWindow>
#include <cstdlib>
#include <vector>

#include "platform/media/GlobalCoordinates.h"
#include "platform/media/MonotonicClock.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

std::unique_ptr<XcbConnection> connect(std::string* error) {
  try {
    return XcbConnection::open();
  } catch (const std::exception& failure) {
    if (error) *error = failure.what();
    return nullptr;
  }
}

// The capture layer keeps the primary display current; a monitor started before it ever ran
// still needs a mapping, and Qt already knows the primary screen.
GlobalCoordinates coordinates() {
  GlobalCoordinates mapping = GlobalCoordinates::current();
  if (!mapping.primaryDisplay().isEmpty()) return mapping;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect geometry = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    GlobalCoordinates::setPrimaryDisplay(QRectF(geometry.x() * ratio, geometry.y() * ratio,
                                                geometry.width() * ratio,
                                                geometry.height() * ratio));
  }
  return GlobalCoordinates::current();
}

struct PointerReading {
  QPoint root;
  uint16_t buttons = 0;
  bool overOwnWindow = false;
};

}  // namespace

struct GlobalMouseMonitor::State {
  std::unique_ptr<XcbConnection> connection;
  xcb_window_t root = 0;
  uint8_t xinputOpcode = 0;
  Handler handler;
  OwnWindowTest isOwnWindow;
  std::unique_ptr<QSocketNotifier> notifier;
  // A handler may stop the monitor; the read loop notices through this and touches nothing more.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  std::optional<QPoint> lastMoveLocation;
  int lastPressButton = 0;
  int64_t lastPressNanoseconds = 0;
  QPoint lastPressLocation;
  int clickCount = 0;

  // Walks from the root down the windows under the pointer; the deepest one decides whether the
  // event would have gone to one of our windows. Input-transparent overlays never appear here.
  std::optional<PointerReading> readPointer() {
    PointerReading reading;
    xcb_window_t window = root;
    for (int depth = 0; window && depth < 16; ++depth) {
      auto answer = xcbReply(xcb_query_pointer_reply, connection->get(),
                             xcb_query_pointer(connection->get(), window));
      if (!answer) return depth == 0 ? std::nullopt : std::optional(reading);
      if (depth == 0) {
        reading.root = QPoint(answer->root_x, answer->root_y);
        reading.buttons = answer->mask;
      }
      window = answer->child;
      if (window && isOwnWindow(window)) {
        reading.overOwnWindow = true;
        break;
      }
    }
    return reading;
  }

  void deliver(MouseEventType type, const PointerReading& reading, int count = 0) {
    MouseEvent event;
    event.type = type;
    event.rootLocation = reading.root;
    event.location = coordinates().fromX11(QPointF(reading.root));
    event.clickCount = count;
    if (handler) handler(event);
  }

  int countClick(int button, QPoint where) {
    const int64_t now = MonotonicClock::nowNanoseconds();
    const QStyleHints* hints = QGuiApplication::styleHints();
    const int64_t interval = int64_t(hints->mouseDoubleClickInterval()) * 1'000'000;
    const int distance = hints->mouseDoubleClickDistance();
    const QPoint moved = where - lastPressLocation;
    const bool continues = clickCount > 0 && button == lastPressButton &&
                           now - lastPressNanoseconds <= interval &&
                           std::abs(moved.x()) <= distance && std::abs(moved.y()) <= distance;
    clickCount = continues ? clickCount + 1 : 1;
    lastPressButton = button;
    lastPressNanoseconds = now;
    lastPressLocation = where;
    return clickCount;
  }

  void buttonPressed(int button) {
    auto reading = readPointer();
    if (!reading || reading->overOwnWindow) return;
    if (button >= 4 && button <= 7) {
      deliver(MouseEventType::scrollWheel, *reading);
      return;
    }
    const int count = countClick(button, reading->root);
    const MouseEventType type = button == 1   ? MouseEventType::leftMouseDown
                                : button == 3 ? MouseEventType::rightMouseDown
                                              : MouseEventType::otherMouseDown;
    deliver(type, *reading, count);
  }

  void buttonReleased(int button) {
    if (button >= 4 && button <= 7) return;  // a wheel step is one event, delivered at the press
    auto reading = readPointer();
    if (!reading || reading->overOwnWindow) return;
    const MouseEventType type = button == 1   ? MouseEventType::leftMouseUp
                                : button == 3 ? MouseEventType::rightMouseUp
                                              : MouseEventType::otherMouseUp;
    deliver(type, *reading);
  }

  void moved() {
    auto reading = readPointer();
    if (!reading) return;
    // Smooth scrolling arrives as raw motion on the scroll axes only: no move.
    if (lastMoveLocation == reading->root) return;
    lastMoveLocation = reading->root;
    if (reading->overOwnWindow) return;
    MouseEventType type = MouseEventType::mouseMoved;
    if (reading->buttons & XCB_BUTTON_MASK_1) {
      type = MouseEventType::leftMouseDragged;
    } else if (reading->buttons & XCB_BUTTON_MASK_3) {
      type = MouseEventType::rightMouseDragged;
    } else if (reading->buttons & XCB_BUTTON_MASK_2) {
      type = MouseEventType::otherMouseDragged;
    }
    deliver(type, *reading);
  }

  void drain() {
    const std::weak_ptr<bool> guard = alive;
    // Round trips made while handling a batch may queue further events without waking the
    // socket notifier, so keep reading until nothing is left.
    for (;;) {
      std::vector<XcbReply<xcb_generic_event_t>> batch;
      while (xcb_generic_event_t* raw = xcb_poll_for_event(connection->get())) {
        batch.emplace_back(raw);
      }
      if (batch.empty()) return;
      size_t lastMotion = batch.size();
      for (size_t i = 0; i < batch.size(); ++i) {
        if (xinputType(batch[i].get()) == XCB_INPUT_RAW_MOTION) lastMotion = i;
      }
      for (size_t i = 0; i < batch.size(); ++i) {
        const auto* event = batch[i].get();
        switch (xinputType(event)) {
          case XCB_INPUT_RAW_BUTTON_PRESS:
            buttonPressed(int(reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event)
                                  ->detail));
            break;
          case XCB_INPUT_RAW_BUTTON_RELEASE:
            buttonReleased(int(
                reinterpret_cast<const xcb_input_raw_button_release_event_t*>(event)->detail));
            break;
          case XCB_INPUT_RAW_MOTION:
            if (i == lastMotion) moved();
            break;
          default:
            break;
        }
        if (guard.expired()) return;
      }
    }
  }

  int xinputType(const xcb_generic_event_t* event) const {
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return -1;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != xinputOpcode) return -1;
    return generic->event_type;
  }
};

GlobalMouseMonitor::GlobalMouseMonitor(std::unique_ptr<State> state) : state_(std::move(state)) {}

GlobalMouseMonitor::~GlobalMouseMonitor() {
  state_->notifier.reset();
}

std::unique_ptr<GlobalMouseMonitor> GlobalMouseMonitor::start(Handler handler, std::string* error,
                                                              OwnWindowTest isOwnWindow) {
  auto state = std::make_unique<State>();
  state->connection = connect(error);
  if (!state->connection) return nullptr;
  state->root = state->connection->root();
  xcb_connection_t* connection = state->connection->get();

  const xcb_query_extension_reply_t* extension =
      xcb_get_extension_data(connection, &xcb_input_id);
  if (!extension || !extension->present) {
    if (error) *error = "the X server has no XInputExtension";
    return nullptr;
  }
  state->xinputOpcode = extension->major_opcode;
  auto version = xcbReply(xcb_input_xi_query_version_reply, connection,
                          xcb_input_xi_query_version(connection, 2, 2));
  if (!version || version->major_version < 2) {
    if (error) *error = "the X server does not speak XInput 2";
    return nullptr;
  }

  struct {
    xcb_input_event_mask_t head;
    uint32_t bits;
  } mask{};
  mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
  mask.head.mask_len = 1;
  mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
              XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
  XcbError selectError(xcb_request_check(
      connection, xcb_input_xi_select_events_checked(connection, state->root, 1, &mask.head)));
  if (selectError) {
    if (error) *error = "the X server refused the raw mouse events";
    return nullptr;
  }

  state->handler = std::move(handler);
  state->isOwnWindow = isOwnWindow ? std::move(isOwnWindow) : OwnWindowTest(&isApplicationWindow);
  State* raw = state.get();
  state->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                      QSocketNotifier::Read);
  QObject::connect(state->notifier.get(), &QSocketNotifier::activated,
                   state->notifier.get(), [raw] { raw->drain(); });
  xcb_flush(connection);
  return std::unique_ptr<GlobalMouseMonitor>(new GlobalMouseMonitor(std::move(state)));
}

std::optional<QPointF> GlobalMouseMonitor::pointerLocation() {
  static const std::unique_ptr<XcbConnection> connection = connect(nullptr);
  if (!connection) return std::nullopt;
  auto answer = xcbReply(xcb_query_pointer_reply, connection->get(),
                         xcb_query_pointer(connection->get(), connection->root()));
  if (!answer) return std::nullopt;
  return coordinates().fromX11(QPointF(answer->root_x, answer->root_y));
}

bool GlobalMouseMonitor::isApplicationWindow(uint32_t windowId) {
  const auto windows = QGuiApplication::allWindows();
  for (QWindow* window : windows) {
    if (window->handle() && window->winId() == windowId) return true;
  }
  return false;
}

}  // namespace tk
