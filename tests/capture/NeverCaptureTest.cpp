#include "platform/x11/NeverCapture.h"

#include <gtest/gtest.h>

#include "platform/media/Error.h"
#include "platform/x11/SystemCursor.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

xcb_window_t createWindow(XcbConnection& connection) {
  const xcb_window_t window = xcb_generate_id(connection.get());
  xcb_create_window(connection.get(), XCB_COPY_FROM_PARENT, window, connection.root(), 0, 0, 10, 10, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
  connection.flush();
  return window;
}

TEST(NeverCaptureTest, MarkIsVisibleToOtherClientsAndInProcess) {
  TK_REQUIRE_DESKTOP();
  auto owner = XcbConnection::open();
  const xcb_window_t window = createWindow(*owner);
  const xcb_window_t unmarked = createWindow(*owner);

  const uint64_t marksBefore = neverCaptureMarkCount();
  markNeverCapture(window);

  auto other = XcbConnection::open();
  const auto values = readCardinals(*other, window, other->atom(kNeverCaptureAtomName), XCB_ATOM_CARDINAL);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0], 1u);
  EXPECT_EQ(neverCaptureMarkCount(), marksBefore + 1);
  EXPECT_TRUE(hasNeverCaptureMarker(*other, window));
  EXPECT_FALSE(hasNeverCaptureMarker(*other, unmarked));
}

TEST(NeverCaptureTest, MarkingAWindowThatDoesNotExistFails) {
  TK_REQUIRE_DESKTOP();
  const uint64_t marksBefore = neverCaptureMarkCount();
  EXPECT_THROW(markNeverCapture(0x7ffffff0), PlatformError);
  EXPECT_EQ(neverCaptureMarkCount(), marksBefore);
}

TEST(SystemCursorTest, HidesAreCountedAndUnmatchedShowsDoNothing) {
  TK_REQUIRE_DESKTOP();
  SystemCursor::show();
  EXPECT_FALSE(SystemCursor::isHidden());
  ASSERT_TRUE(SystemCursor::hide());
  ASSERT_TRUE(SystemCursor::hide());
  SystemCursor::show();
  EXPECT_TRUE(SystemCursor::isHidden());
  SystemCursor::show();
  EXPECT_FALSE(SystemCursor::isHidden());
  SystemCursor::show();
  EXPECT_FALSE(SystemCursor::isHidden());
}

}  // namespace
}  // namespace tk
