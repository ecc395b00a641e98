#include "platform/x11/X11Windows.h"

#include <deque>
#include <fstream>
#include <mutex>

#include "platform/x11/NeverCapture.h"
#include "platform/x11/TextProperty.h"

namespace tk {

namespace {

std::mutex& ownIdMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& ownId() {
  static std::string id = "com.tavelkombrix.app";
  return id;
}

CaptureWindowType typeOf(XcbConnection& connection, const std::vector<uint32_t>& types) {
  // The first type the client lists that we know wins, as EWMH asks.
  const std::pair<const char*, CaptureWindowType> known[] = {
      {"_NET_WM_WINDOW_TYPE_DESKTOP", CaptureWindowType::desktop},
      {"_NET_WM_WINDOW_TYPE_DOCK", CaptureWindowType::dock},
      {"_NET_WM_WINDOW_TYPE_NOTIFICATION", CaptureWindowType::notification},
      {"_NET_WM_WINDOW_TYPE_DIALOG", CaptureWindowType::dialog},
      {"_NET_WM_WINDOW_TYPE_UTILITY", CaptureWindowType::utility},
      {"_NET_WM_WINDOW_TYPE_SPLASH", CaptureWindowType::splash},
      {"_NET_WM_WINDOW_TYPE_MENU", CaptureWindowType::menu},
      {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", CaptureWindowType::menu},
      {"_NET_WM_WINDOW_TYPE_POPUP_MENU", CaptureWindowType::menu},
      {"_NET_WM_WINDOW_TYPE_NORMAL", CaptureWindowType::normal},
  };
  for (uint32_t type : types) {
    for (const auto& [name, value] : known) {
      if (connection.atom(name) == type) return value;
    }
  }
  return types.empty() ? CaptureWindowType::normal : CaptureWindowType::other;
}

}  // namespace

std::string ownApplicationId() {
  std::lock_guard lock(ownIdMutex());
  return ownId();
}

void setOwnApplicationId(std::string id) {
  std::lock_guard lock(ownIdMutex());
  ownId() = std::move(id);
}

std::string applicationIdOf(const X11WindowFacts& facts) {
  if (facts.pid != 0 && facts.pid == getpid()) return ownApplicationId();
  if (!facts.wmClass.empty() || facts.pid <= 0) return facts.wmClass;
  std::ifstream comm("/proc/" + std::to_string(facts.pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::vector<X11WindowFacts> readWindowFacts(XcbConnection& connection,
                                            const std::vector<xcb_window_t>& clients) {
  const xcb_atom_t utf8 = connection.atom("UTF8_STRING");
  const xcb_atom_t netName = connection.atom("_NET_WM_NAME");
  const xcb_atom_t compoundText = connection.atom("COMPOUND_TEXT");
  const xcb_atom_t netPid = connection.atom("_NET_WM_PID");
  const xcb_atom_t netType = connection.atom("_NET_WM_WINDOW_TYPE");
  const xcb_atom_t netState = connection.atom("_NET_WM_STATE");
  const xcb_atom_t marker = connection.atom(kNeverCaptureAtomName);
  const xcb_atom_t stateHidden = connection.atom("_NET_WM_STATE_HIDDEN");
  const xcb_atom_t stateAbove = connection.atom("_NET_WM_STATE_ABOVE");

  PropertyBatch batch(connection);
  struct Slots {
    size_t netName, name, wmClass, pid, type, state, marker;
  };
  std::vector<Slots> requested;
  requested.reserve(clients.size());
  for (xcb_window_t client : clients) {
    requested.push_back(
        {batch.request(client, netName, utf8), batch.request(client, XCB_ATOM_WM_NAME, XCB_ATOM_ANY),
         batch.request(client, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
         batch.request(client, netPid, XCB_ATOM_CARDINAL), batch.request(client, netType, XCB_ATOM_ATOM),
         batch.request(client, netState, XCB_ATOM_ATOM), batch.request(client, marker, XCB_ATOM_CARDINAL)});
  }
  batch.wait();

  std::vector<X11WindowFacts> result;
  result.reserve(clients.size());
  for (size_t i = 0; i < clients.size(); ++i) {
    X11WindowFacts facts;
    facts.client = clients[i];
    if (auto title = batch.string(requested[i].netName)) {
      facts.title = *title;
    } else if (auto name = batch.string(requested[i].name)) {
      // The legacy name says in its type how it is encoded.
      const xcb_atom_t type = batch.type(requested[i].name);
      facts.title = decodeTextProperty(*name, type == XCB_ATOM_STRING ? TextEncoding::latin1
                                              : type == compoundText  ? TextEncoding::compoundText
                                                                      : TextEncoding::utf8);
    }
    if (auto wmClass = batch.string(requested[i].wmClass)) {
      // "instance\0class\0"
      const size_t split = wmClass->find('\0');
      facts.wmInstance = wmClass->substr(0, split);
      if (split != std::string::npos) {
        std::string rest = wmClass->substr(split + 1);
        facts.wmClass = rest.substr(0, rest.find('\0'));
      }
    }
    if (auto pid = batch.cardinals(requested[i].pid); !pid.empty()) facts.pid = static_cast<pid_t>(pid[0]);
    facts.type = typeOf(connection, batch.cardinals(requested[i].type));
    for (uint32_t state : batch.cardinals(requested[i].state)) {
      facts.hidden = facts.hidden || state == stateHidden;
      facts.above = facts.above || state == stateAbove;
    }
    const auto mark = batch.cardinals(requested[i].marker);
    facts.neverCapture = !mark.empty() && mark[0] != 0;
    facts.applicationId = applicationIdOf(facts);
    result.push_back(std::move(facts));
  }
  return result;
}

xcb_window_t findClientWindow(XcbConnection& connection, xcb_window_t topLevel) {
  const xcb_atom_t wmState = connection.atom("WM_STATE");
  std::deque<std::pair<xcb_window_t, int>> pending{{topLevel, 0}};
  while (!pending.empty()) {
    auto [window, depth] = pending.front();
    pending.pop_front();
    auto state = xcbReply(xcb_get_property_reply, connection.get(),
                          xcb_get_property(connection.get(), 0, window, wmState, XCB_ATOM_ANY, 0, 0));
    if (state && state->type != XCB_ATOM_NONE) return window;
    if (depth >= 3) continue;
    auto tree = xcbReply(xcb_query_tree_reply, connection.get(), xcb_query_tree(connection.get(), window));
    if (!tree) continue;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
      pending.emplace_back(children[i], depth + 1);
    }
  }
  return topLevel;
}

std::vector<xcb_window_t> rootChildren(XcbConnection& connection) {
  auto tree =
      xcbReply(xcb_query_tree_reply, connection.get(), xcb_query_tree(connection.get(), connection.root()));
  if (!tree) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

xcb_window_t topLevelOf(XcbConnection& connection, xcb_window_t window) {
  xcb_window_t current = window;
  for (int guard = 0; guard < 64; ++guard) {
    auto tree = xcbReply(xcb_query_tree_reply, connection.get(), xcb_query_tree(connection.get(), current));
    if (!tree) return XCB_WINDOW_NONE;
    if (tree->parent == connection.root() || tree->parent == XCB_WINDOW_NONE) return current;
    current = tree->parent;
  }
  return XCB_WINDOW_NONE;
}

}  // namespace tk
