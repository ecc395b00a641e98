#include "platform/x11/ShortcutGrab.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QSocketNotifier>
#include <vector>

#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

// Lock keys and Alt may be held on top of Ctrl+Shift; each combination needs a grab of its own.
constexpr uint16_t kOptionalModifiers[] = {XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_1};
constexpr uint16_t kRequiredModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

struct KeySymbolsFree {
  void operator()(xcb_key_symbols_t* symbols) const { xcb_key_symbols_free(symbols); }
};

}  // namespace

struct ShortcutGrab::State {
  std::unique_ptr<XcbConnection> connection;
  std::vector<xcb_keycode_t> keycodes;
  std::vector<uint16_t> grabbedModifiers;
  Handler handler;
  std::unique_ptr<QSocketNotifier> notifier;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  ~State() {
    notifier.reset();
    if (!connection) return;
    for (xcb_keycode_t keycode : keycodes) {
      for (uint16_t modifiers : grabbedModifiers) {
        xcb_ungrab_key(connection->get(), keycode, connection->root(), modifiers);
      }
    }
    connection->flush();
  }

  void drain() {
    const std::weak_ptr<bool> guard = alive;
    while (xcb_generic_event_t* raw = xcb_poll_for_event(connection->get())) {
      XcbReply<xcb_generic_event_t> event(raw);
      if ((event->response_type & 0x7f) != XCB_KEY_PRESS) continue;
      const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
      Press info;
      info.alt = (press->state & XCB_MOD_MASK_1) != 0;
      if (handler) handler(info);
      if (guard.expired()) return;
    }
  }
};

ShortcutGrab::ShortcutGrab(std::unique_ptr<State> state) : state_(std::move(state)) {}
ShortcutGrab::~ShortcutGrab() = default;

std::unique_ptr<ShortcutGrab> ShortcutGrab::grab(char letter, Handler handler, std::string* error) {
  auto state = std::make_unique<State>();
  try {
    state->connection = XcbConnection::open();
  } catch (const std::exception& failure) {
    if (error) *error = failure.what();
    return nullptr;
  }
  xcb_connection_t* connection = state->connection->get();
  std::unique_ptr<xcb_key_symbols_t, KeySymbolsFree> symbols(xcb_key_symbols_alloc(connection));
  if (!symbols) {
    if (error) *error = "cannot read the keyboard map";
    return nullptr;
  }
  // Latin letters have the keysym of their lower-case character.
  std::unique_ptr<xcb_keycode_t, XcbFree> codes(
      xcb_key_symbols_get_keycode(symbols.get(), xcb_keysym_t(letter)));
  for (xcb_keycode_t* code = codes.get(); code && *code != XCB_NO_SYMBOL; ++code) {
    state->keycodes.push_back(*code);
  }
  if (state->keycodes.empty()) {
    if (error) *error = std::string("the keyboard has no key for ") + letter;
    return nullptr;
  }

  std::vector<xcb_void_cookie_t> cookies;
  for (unsigned subset = 0; subset < (1u << std::size(kOptionalModifiers)); ++subset) {
    uint16_t modifiers = kRequiredModifiers;
    for (size_t bit = 0; bit < std::size(kOptionalModifiers); ++bit) {
      if (subset & (1u << bit)) modifiers |= kOptionalModifiers[bit];
    }
    state->grabbedModifiers.push_back(modifiers);
    for (xcb_keycode_t keycode : state->keycodes) {
      cookies.push_back(xcb_grab_key_checked(connection, 1, state->connection->root(), modifiers,
                                             keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
  }
  bool refused = false;
  for (xcb_void_cookie_t cookie : cookies) {
    if (XcbError failure{xcb_request_check(connection, cookie)}) refused = true;
  }
  if (refused) {
    if (error) *error = "another application already holds Ctrl+Shift+" + std::string(1, letter);
    return nullptr;  // the state's destructor releases what was granted
  }

  state->handler = std::move(handler);
  State* raw = state.get();
  state->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                      QSocketNotifier::Read);
  QObject::connect(state->notifier.get(), &QSocketNotifier::activated, state->notifier.get(),
                   [raw] { raw->drain(); });
  state->connection->flush();
  return std::unique_ptr<ShortcutGrab>(new ShortcutGrab(std::move(state)));
}

}  // namespace tk
