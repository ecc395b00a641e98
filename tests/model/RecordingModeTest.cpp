#include <gtest/gtest.h>

#include <stdexcept>

#include "model/RecordingMode.h"
#include "model/RecordingState.h"

using namespace tk;

namespace {
CaptureWindowRef window(uint32_t id) {
  auto w = std::make_shared<CaptureWindow>();
  w->windowID = id;
  return w;
}
CaptureDisplayRef display(uint32_t id) {
  auto d = std::make_shared<CaptureDisplay>();
  d->displayID = id;
  return d;
}
CaptureApplicationRef app(std::string bundle) {
  auto a = std::make_shared<CaptureApplication>();
  a->bundleIdentifier = std::move(bundle);
  return a;
}
}  // namespace

TEST(RecordingModeTest, EqualityComparesWhatIsCapturedNotObjects) {
  EXPECT_EQ(RecordingMode::screen(display(3)), RecordingMode::screen(display(3)));
  EXPECT_NE(RecordingMode::screen(display(3)), RecordingMode::screen(display(4)));
  EXPECT_NE(RecordingMode::screen(display(3)), RecordingMode::screenArea(display(3), {}));
  EXPECT_EQ(RecordingMode::screenArea(display(1), QRectF(0, 0, 100, 50)),
            RecordingMode::screenArea(display(1), QRectF(0, 0, 100, 50)));
  EXPECT_NE(RecordingMode::screenArea(display(1), QRectF(0, 0, 100, 50)),
            RecordingMode::screenArea(display(1), QRectF(0, 0, 100, 50.000001)));
  EXPECT_EQ(RecordingMode::window(window(5)), RecordingMode::window(window(5)));
  EXPECT_NE(RecordingMode::window(window(5)), RecordingMode::window(nullptr));
  EXPECT_EQ(RecordingMode::systemAudio(), RecordingMode::systemAudio());
  EXPECT_EQ(RecordingMode::application({app("org.a"), app("org.b")}),
            RecordingMode::application({app("org.a"), app("org.b")}));
  EXPECT_NE(RecordingMode::application({app("org.a")}), RecordingMode::application({app("org.a"), app("x")}));
  // Window lists compare in order.
  EXPECT_NE(RecordingMode::windows({window(7), window(9)}), RecordingMode::windows({window(9), window(7)}));
  EXPECT_EQ(RecordingMode::windows({window(7), window(9)}), RecordingMode::windows({window(7), window(9)}));
  EXPECT_EQ(RecordingMode::windows({}), RecordingMode::windows({}));
}

TEST(RecordingStateTest, EqualityComparesPayloads) {
  const auto now = std::chrono::system_clock::now();
  EXPECT_EQ(RecordingState::paused(now, 1.5), RecordingState::paused(now, 1.5));
  EXPECT_NE(RecordingState::paused(now, 1.5), RecordingState::paused(now, 1.6));
  EXPECT_NE(RecordingState::recording(now), RecordingState::recording(now + std::chrono::seconds(1)));
  EXPECT_NE(RecordingState::completed("/a.mov"), RecordingState::completed("/b.mov"));
  EXPECT_NE(RecordingState::idle(), RecordingState::ready());
  EXPECT_EQ(RecordingState::failed(RecordingError::invalidConfiguration("x")),
            RecordingState::failed(RecordingError::invalidConfiguration("x")));
  EXPECT_NE(RecordingState::failed(RecordingError::invalidConfiguration("x")),
            RecordingState::failed(RecordingError::invalidConfiguration("y")));
  // Failures compare by their text only, whatever the case.
  EXPECT_EQ(RecordingState::failed(RecordingError::fileWriteError(std::runtime_error("disk"))),
            RecordingState::failed(RecordingError::fileWriteError(std::runtime_error("disk"))));
}
