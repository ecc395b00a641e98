#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>

#include "capture/SoundServerFixture.h"
#include "support/TestSupport.h"

#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/pulse/AudioOutput.h"
#include "platform/pulse/PulseRecordStream.h"

namespace tk {
namespace {

TEST(AudioOutputTest, PlaysWhatItsSourceGivesAndItsClockFollowsTheServer) {
  TK_REQUIRE_DESKTOP();
  std::atomic<int64_t> lastPosition{-1};
  auto output = AudioOutput::open(AudioFormat{48000, 2, true}, [&](float* out, int frames, int64_t position) {
    for (int i = 0; i < frames; ++i) {
      const float value = 0.5f * static_cast<float>(std::sin(2 * M_PI * 660 * (position + i) / 48000.0));
      out[2 * i] = out[2 * i + 1] = value;
    }
    lastPosition = position + frames;
  });
  EXPECT_EQ(output->playedSeconds(), 0.0);

  test::CollectedSamples heard;
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  auto monitor = PulseRecordStream::start(
      options, [&](const SampleBuffer& sample) { heard.add(sample); }, [](const std::string&) {});
  output->start();
  const double startedAt = MonotonicClock::nowSeconds();
  ASSERT_TRUE(test::waitUntil([&] { return output->playedSeconds() > 0; }, std::chrono::seconds(5)));
  ASSERT_TRUE(test::waitUntil([&] { return output->playedSeconds() >= 1.0; }, std::chrono::seconds(10)));
  // The clock runs at the speed of the wall clock, a little behind the start (buffering).
  const double elapsed = MonotonicClock::nowSeconds() - startedAt;
  EXPECT_LE(output->playedSeconds(), elapsed + 0.02);
  EXPECT_GE(output->playedSeconds(), elapsed - 0.3);

  // The monitor hands its sound over late (in chunks of up to two seconds): wait for a second
  // and a half of it.
  ASSERT_TRUE(test::waitUntil([&] { return test::channelOf(heard.all(), 0).size() >= 72000; },
                              std::chrono::seconds(10)));
  monitor.reset();
  const auto left = test::channelOf(heard.all(), 0);
  EXPECT_NEAR(test::spectrumPeak({left.end() - 24000, left.end()}, 48000), 660, 10);
  EXPECT_GT(test::peakLevel({left.end() - 24000, left.end()}), 0.4);

  // A new run starts again at position 0.
  output->stop();
  EXPECT_EQ(output->playedSeconds(), 0.0);
  output->start();
  EXPECT_TRUE(
      test::waitUntil([&] { return lastPosition > 0 && lastPosition < 48000; }, std::chrono::seconds(5)));
}

TEST(AudioOutputTest, NoServerIsAClearError) {
  TK_REQUIRE_DESKTOP();
  const char* original = std::getenv("PULSE_SERVER");
  const std::optional<std::string> server = original ? std::optional<std::string>(original) : std::nullopt;
  setenv("PULSE_SERVER", "unix:/nonexistent/tk-no-server", 1);
  try {
    AudioOutput::open(AudioFormat{}, [](float*, int, int64_t) {});
    ADD_FAILURE() << "an output opened without a server";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.domain(), "PulseAudio");
    EXPECT_NE(error.localizedDescription().find("Connecting to the sound server"), std::string::npos);
  }
  if (server)
    setenv("PULSE_SERVER", server->c_str(), 1);
  else
    unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace tk
