#include "platform/x11/TaskbarPresence.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

// Qt's own connection, so our requests reach the server after Qt's for the same window.
xcb_connection_t* qtConnection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
  auto reply = xcbReply(xcb_intern_atom_reply, connection,
                        xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name));
  return reply ? reply->atom : XCB_NONE;
}

std::vector<xcb_atom_t> stateOf(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t netState) {
  auto reply = xcbReply(xcb_get_property_reply, connection,
                        xcb_get_property(connection, 0, window, netState, XCB_ATOM_ATOM, 0, 1024));
  if (!reply || reply->format != 32) return {};
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
  return {atoms, atoms + xcb_get_property_value_length(reply.get()) / 4};
}

// Our own windows that a taskbar would list: ordinary windows and dialogs, not menus, tooltips
// or the bypassing overlays.
bool isListedKind(const QWidget* widget) {
  if (!widget->isWindow() || widget->testAttribute(Qt::WA_DontShowOnScreen)) return false;
  if (widget->windowFlags() & Qt::X11BypassWindowManagerHint) return false;
  const Qt::WindowType type = widget->windowType();
  return type == Qt::Window || type == Qt::Dialog || type == Qt::Tool;
}

}  // namespace

TaskbarPresence& TaskbarPresence::shared() {
  static TaskbarPresence* presence = new TaskbarPresence();  // lives as long as the application
  return *presence;
}

TaskbarPresence::TaskbarPresence() {
  if (qApp) qApp->installEventFilter(this);
}

void TaskbarPresence::setShown(bool shown) {
  if (shown_ == shown) return;
  shown_ = shown;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (isListedKind(window) && window->isVisible()) apply(window, true);
  }
}

bool TaskbarPresence::eventFilter(QObject* watched, QEvent* event) {
  // The show event comes before the window is mapped: the state set now is the one the window
  // manager reads when it takes the window, and Qt keeps it when it adds its own states.
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    // Also when shown: a window hidden while off may still carry the state it had.
    if (isListedKind(widget)) apply(widget, false);
  }
  return false;
}

void TaskbarPresence::apply(QWidget* window, bool mapped) const {
  xcb_connection_t* connection = qtConnection();
  if (!connection) return;
  const auto id = static_cast<xcb_window_t>(window->winId());
  const xcb_atom_t netState = atomNamed(connection, "_NET_WM_STATE");
  const xcb_atom_t skip = atomNamed(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  if (netState == XCB_NONE || skip == XCB_NONE) return;
  if (mapped) {
    // A managed window's state belongs to the window manager: ask it (EWMH _NET_WM_STATE).
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = netState;
    message.data.data32[0] = shown_ ? 0 : 1;  // remove : add
    message.data.data32[1] = skip;
    message.data.data32[3] = 1;  // from an application
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  } else {
    std::vector<xcb_atom_t> state = stateOf(connection, id, netState);
    state.erase(std::remove(state.begin(), state.end(), skip), state.end());
    if (!shown_) state.push_back(skip);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netState, XCB_ATOM_ATOM, 32,
                        uint32_t(state.size()), state.data());
  }
  xcb_flush(connection);
}

bool TaskbarPresence::skipsTaskbar(unsigned long windowId) {
  xcb_connection_t* connection = qtConnection();
  if (!connection) return false;
  const xcb_atom_t skip = atomNamed(connection, "_NET_WM_STATE_SKIP_TASKBAR");
  const auto state = stateOf(connection, xcb_window_t(windowId), atomNamed(connection, "_NET_WM_STATE"));
  return std::find(state.begin(), state.end(), skip) != state.end();
}

}  // namespace tk
