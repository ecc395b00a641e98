// Windows of another client named only by the legacy WM_NAME, in each of its encodings, as the
// window picker the application opens shows them on its cards.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "app/PlatformServices.h"
#include "selection/WindowSelectorView.h"
#include "selection/WindowThumbnailCard.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

// A client of its own whose managed windows carry WM_NAME of a given type and no _NET_WM_NAME.
class LegacyNamedWindows {
 public:
  LegacyNamedWindows() : connection_(xcb_connect(nullptr, nullptr)) {
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
  }
  ~LegacyNamedWindows() { xcb_disconnect(connection_); }

  uint32_t open(int x, const char* type, std::string_view name) {
    const uint32_t id = xcb_generate_id(connection_);
    const uint32_t background = 0x3060a0;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id, screen_->root, int16_t(x), 200, 320, 240, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL, &background);
    const std::string_view wmClass("legacy\0Legacy\0", 14);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, atom(type), 8,
                        uint32_t(name.size()), name.data());
    xcb_map_window(connection_, id);
    xcb_flush(connection_);
    return id;
  }

  // Whether the window manager has taken the window in and shows it. The picker lists the managed
  // windows once, as it opens; on a busy machine the manager may not have reached a window yet.
  bool isManaged(uint32_t id) {
    xcb_get_property_reply_t* clients = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, screen_->root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 4096),
        nullptr);
    const auto* begin = clients ? static_cast<const uint32_t*>(xcb_get_property_value(clients)) : nullptr;
    const auto* end = clients ? begin + xcb_get_property_value_length(clients) / 4 : nullptr;
    const bool listed = std::find(begin, end, id) != end;
    free(clients);
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, id), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    return listed && viewable;
  }

 private:
  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
  }

  xcb_connection_t* connection_;
  xcb_screen_t* screen_;
};

TEST(PickerWindowTitlesTest, LegacyNamesShowAsTheirTypeEncodesThem) {
  TK_REQUIRE_DESKTOP();
  LegacyNamedWindows client;
  using namespace std::string_view_literals;
  const std::map<uint32_t, QString> expected = {
      {client.open(100, "STRING", "Caf\xE9 cr\xE8me"), QString::fromUtf8("Café crème")},
      // Latin-1, JIS X 0208 into the left half, ISO 8859-5 into the right, a UTF-8 extended segment.
      {client.open(
           500, "COMPOUND_TEXT",
           "\xDCn\xEF"
           "c\xF8"
           "d\xE9 \x1b$(BF|K\\8l\x1b(B \x1b-L\xBF\xE0\xD8\xD2\xD5\xE2\x1b-A \x1b%/1\x80\x8Eiso10646-1\x02\xE2\x9C\x93"sv),
       QString::fromUtf8("Ünïcødé 日本語 Привет ✓")},
      {client.open(900, "UTF8_STRING", "\xCE\xA9mega na\xC3\xAFve"), QString::fromUtf8("Ωmega naïve")},
  };

  ASSERT_TRUE(test::waitUntil([&] {
    return std::all_of(expected.begin(), expected.end(),
                       [&](const auto& entry) { return client.isManaged(entry.first); });
  })) << "the window manager did not show the three windows";

  PlatformServices services;
  services.modeSelectionServices().openWindowSelector();
  WindowSelectorView* picker = nullptr;
  std::map<uint32_t, QString> shown;
  ASSERT_TRUE(test::waitUntil([&] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* view = qobject_cast<WindowSelectorView*>(widget)) picker = view;
    if (!picker) return false;
    shown.clear();
    for (WindowThumbnailCard* card : picker->cards()) {
      const uint32_t id = card->thumbnail()->window->windowID;
      if (expected.count(id)) shown[id] = card->caption();
    }
    return shown.size() == expected.size();
  })) << "the picker did not list the three windows";
  for (const auto& [id, title] : expected) EXPECT_EQ(shown[id], title) << "window " << id;
  picker->close();
}

}  // namespace
}  // namespace tk
