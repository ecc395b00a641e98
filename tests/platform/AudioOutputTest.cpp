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
  // The position the source was first asked for since the last start.
  std::atomic<int64_t> firstPosition{-1};
  auto output = AudioOutput::open(AudioFormat{48000, 2, true}, [&](float* out, int frames, int64_t position) {
    for (int i = 0; i < frames; ++i) {
      const float value = 0.5f * static_cast<float>(std::sin(2 * M_PI * 660 * (position + i) / 48000.0));
      out[2 * i] = out[2 * i + 1] = value;
    }
    int64_t unset = -1;
    firstPosition.compare_exchange_strong(unset, position);
  });
  EXPECT_EQ(output->playedSeconds(), 0.0);

  test::CollectedSamples heard;
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  auto monitor = PulseRecordStream::start(
      options, [&](const SampleBuffer& sample) { heard.add(sample); }, [](const std::string&) {});
  output->start();
  ASSERT_TRUE(test::waitUntil([&] { return output->playedSeconds() > 0.2; }, std::chrono::seconds(60)))
      << "the clock never passed 0.2 s";
  // From then on the clock follows the sound: it moves on, at the wall clock's speed or slower
  // (where a starved machine delays the sound itself), never faster.
  const double wallStart = MonotonicClock::nowSeconds(), playedStart = output->playedSeconds();
  ASSERT_TRUE(test::waitUntil(
      [&] {
        return MonotonicClock::nowSeconds() - wallStart >= 1.0 &&
               output->playedSeconds() - playedStart >= 0.3;
      },
      std::chrono::seconds(60)))
      << "the clock stood still at " << output->playedSeconds() << " s";
  const double speed = (output->playedSeconds() - playedStart) / (MonotonicClock::nowSeconds() - wallStart);
  EXPECT_LE(speed, 1.05);

  // The monitor hands its sound over late (in chunks of up to two seconds): wait for a second
  // and a half of it.
  ASSERT_TRUE(test::waitUntil([&] { return test::channelOf(heard.all(), 0).size() >= 72000; },
                              std::chrono::seconds(60)))
      << "the monitor did not hear a second and a half";
  monitor.reset();
  const auto left = test::channelOf(heard.all(), 0);
  EXPECT_NEAR(test::spectrumPeak({left.end() - 24000, left.end()}, 48000), 660, 10);
  EXPECT_GT(test::peakLevel({left.end() - 24000, left.end()}), 0.4);

  // A new run starts again at position 0.
  output->stop();
  EXPECT_EQ(output->playedSeconds(), 0.0);
  firstPosition = -1;
  output->start();
  ASSERT_TRUE(test::waitUntil([&] { return firstPosition >= 0; }, std::chrono::seconds(60)))
      << "the source was not asked for sound again";
  EXPECT_EQ(firstPosition, 0);
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
