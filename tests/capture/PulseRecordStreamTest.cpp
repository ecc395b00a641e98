#include "platform/pulse/PulseRecordStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "capture/SoundServerFixture.h"
#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/pulse/PulseDevices.h"
#include "platform/qt/TestHold.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using tk::PulseRecordStream;

namespace {

std::unique_ptr<PulseRecordStream> record(PulseRecordStream::Options options,
                                          tk::test::CollectedSamples& into, std::string* error = nullptr) {
  return PulseRecordStream::start(
      std::move(options), [&into](const tk::SampleBuffer& sample) { into.add(sample); },
      [error](const std::string& reason) {
        if (error) *error = reason;
      });
}

PulseRecordStream::Options sourceOptions(const std::string& name) {
  PulseRecordStream::Options options;
  options.sourceName = name;
  return options;
}

}  // namespace

TEST(PulseRecordStreamTest, RecordsTheChosenSourceInStampedBlocksOfTheDeliveredFormat) {
  TK_REQUIRE_DESKTOP();
  tk::test::SineSource low("tk_test_low", 300);
  tk::test::SineSource high("tk_test_high", 1200);
  ASSERT_TRUE(low.loaded() && high.loaded());

  tk::test::CollectedSamples samples;
  const int64_t before = tk::MonotonicClock::nowNanoseconds();
  auto stream = record(sourceOptions(high.name()), samples);
  EXPECT_EQ(stream->sourceName(), "tk_test_high");
  EXPECT_EQ(stream->sourceFormat(), (tk::AudioFormat{48000, 1, true}));
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= 20; }));
  const int64_t after = tk::MonotonicClock::nowNanoseconds();
  stream.reset();

  const auto all = samples.all();
  for (const auto& sample : all) {
    ASSERT_TRUE(sample.isValid());
    EXPECT_EQ(sample.audioBlock()->format, (tk::AudioFormat{48000, 2, true}));
    EXPECT_EQ(sample.audioBlock()->frameCount, 1024);
    EXPECT_EQ(sample.presentationTime().timescale(), 1'000'000'000);
  }
  // Stamps are capture times on the monotonic clock, one block length apart; nothing the server
  // held from before the start is delivered.
  EXPECT_GE(all.front().presentationTime().nanoseconds(), before);
  EXPECT_LT(all.front().presentationTime().nanoseconds(), after);
  for (size_t i = 1; i < all.size(); ++i) {
    const double spacing = (all[i].presentationTime() - all[i - 1].presentationTime()).seconds();
    EXPECT_NEAR(spacing, 1024.0 / 48000, 1e-6) << "block " << i;
  }
  EXPECT_EQ(tk::test::spectrumPeak(tk::test::channelOf(all, 0), 48000), 1200);
  EXPECT_EQ(tk::test::spectrumPeak(tk::test::channelOf(all, 1), 48000), 1200);
}

TEST(PulseRecordStreamTest, AMonoSourceAt44100ArrivesAsStereoAt48000WithEqualChannels) {
  TK_REQUIRE_DESKTOP();
  tk::test::SineSource source("tk_test_441", 500, 44100);
  ASSERT_TRUE(source.loaded());

  tk::test::CollectedSamples samples;
  auto options = sourceOptions(source.name());
  options.blockFrames = 512;
  options.deliveredFormat = tk::AudioFormat{48000, 2, false};
  auto stream = record(options, samples);
  EXPECT_EQ(stream->sourceFormat(), (tk::AudioFormat{44100, 1, true}));
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= 40; }));
  stream->stop();
  const size_t stopped = samples.count();

  const auto all = samples.all();
  EXPECT_EQ(all.size(), stopped) << "a block arrived after stop returned";
  for (const auto& sample : all) {
    EXPECT_EQ(sample.audioBlock()->format, (tk::AudioFormat{48000, 2, false}));
    EXPECT_EQ(sample.audioBlock()->frameCount, 512);
  }
  const auto left = tk::test::channelOf(all, 0);
  const auto right = tk::test::channelOf(all, 1);
  EXPECT_EQ(left, right);
  EXPECT_EQ(tk::test::spectrumPeak(left, 48000), 500);
  // The sine source plays at a fixed level; a mono voice keeps it on both sides.
  EXPECT_GT(tk::test::peakLevel(left), 0.15);
  // 48000 frames a second of output, whatever the source's rate.
  const double span = (all.back().presentationTime() - all.front().presentationTime()).seconds();
  EXPECT_NEAR(span, (all.size() - 1) * 512.0 / 48000, 1e-6);
}

TEST(PulseRecordStreamTest, AfterTheSourceSleepsStampsFollowTheClockNotTheSampleCount) {
  TK_REQUIRE_DESKTOP();
  // The monitor of an output of its own, which stops delivering while the output is suspended.
  const std::string module = tk::test::pactl("load-module module-null-sink sink_name=tk_test_sleepy");
  ASSERT_FALSE(module.empty());
  tk::test::CollectedSamples samples;
  auto stream = record(sourceOptions("tk_test_sleepy.monitor"), samples);
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= 5; }));

  // The server suspends and resumes somewhere while pactl runs, which on a busy machine takes a
  // while: the pause lies between the inner and the outer pair of readings.
  const int64_t suspending = tk::MonotonicClock::nowNanoseconds();
  tk::test::pactl("suspend-sink tk_test_sleepy 1");
  const int64_t suspendedAt = tk::MonotonicClock::nowNanoseconds();
  tk::test::pumpEvents(1500ms);
  const size_t beforeResume = samples.count();
  const int64_t resumedAt = tk::MonotonicClock::nowNanoseconds();
  tk::test::pactl("suspend-sink tk_test_sleepy 0");
  const int64_t resumed = tk::MonotonicClock::nowNanoseconds();
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= beforeResume + 5; }));
  stream.reset();
  tk::test::pactl("unload-module " + module);

  const auto all = samples.all();
  // Stamps never go back and never overlap (to the nanosecond they are rounded to).
  for (size_t i = 1; i < all.size(); ++i)
    EXPECT_GE(all[i].presentationTime().nanoseconds() + 1,
              (all[i - 1].presentationTime() + all[i - 1].duration()).nanoseconds());
  // Blocks recorded after the pause are stamped after it, not right behind the last block before
  // it: there is one gap, as long as the pause.
  double widestGap = 0;
  for (size_t i = 1; i < all.size(); ++i)
    widestGap = std::max(
        widestGap,
        (all[i].presentationTime() - all[i - 1].presentationTime() - all[i - 1].duration()).seconds());
  EXPECT_GE(widestGap, (resumedAt - suspendedAt) / 1e9 - 0.3);
  EXPECT_LE(widestGap, (resumed - suspending) / 1e9 + 0.3);
}

// The server's report of when it captured what reaches its way to the stream thread late, as on a
// busy machine: the frames are still stamped when they were captured, from the first on. Stamped
// early by the wait instead, the count would be found off at a later report, and set right with
// a gap in the sound as long as the wait.
TEST(PulseRecordStreamTest, AStreamThreadLateForItsFirstTimingReportStampsTheFramesWhenCaptured) {
  TK_REQUIRE_DESKTOP();
  const std::string module = tk::test::pactl("load-module module-null-sink sink_name=tk_test_late");
  ASSERT_FALSE(module.empty());
  qputenv("TK_TEST_HOLD", "sound-timing-report:600");
  tk::test::CollectedSamples samples;
  const int64_t before = tk::MonotonicClock::nowNanoseconds();
  auto stream = record(sourceOptions("tk_test_late.monitor"), samples);
  const bool held = tk::test::waitUntil([] { return tk::TestHold::isHeld("sound-timing-report"); });
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= 120; }));
  stream.reset();
  qunsetenv("TK_TEST_HOLD");
  tk::test::pactl("unload-module " + module);
  ASSERT_TRUE(held) << "the stream thread never waited for a timing report";

  const auto all = samples.all();
  EXPECT_GE(all.front().presentationTime().nanoseconds(), before);
  double widestGap = 0;
  for (size_t i = 1; i < all.size(); ++i)
    widestGap = std::max(
        widestGap,
        (all[i].presentationTime() - all[i - 1].presentationTime() - all[i - 1].duration()).seconds());
  EXPECT_LT(widestGap, 0.25) << "the stamps were set right by a gap after the first report";
}

TEST(PulseRecordStreamTest, TheMonitorOfTheDefaultOutputFollowsASwitchOfOutput) {
  TK_REQUIRE_DESKTOP();
  tk::test::CollectedSamples samples;
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  auto stream = record(options, samples);
  EXPECT_EQ(stream->sourceName(), "tk_null_sink.monitor");
  ASSERT_TRUE(tk::test::waitUntil([&] { return samples.count() >= 3; }));

  const std::string module = tk::test::pactl("load-module module-null-sink sink_name=tk_test_other");
  ASSERT_FALSE(module.empty());
  tk::test::pactl("set-default-sink tk_test_other");
  EXPECT_TRUE(tk::test::waitUntil([&] { return stream->sourceName() == "tk_test_other.monitor"; }));
  const size_t switched = samples.count();
  EXPECT_TRUE(tk::test::waitUntil([&] { return samples.count() >= switched + 3; }));
  tk::test::pactl("set-default-sink tk_null_sink");
  stream.reset();
  tk::test::pactl("unload-module " + module);
}

TEST(PulseRecordStreamTest, AMissingSourceOrServerThrowsTheServersMessageAndRunsNoHandler) {
  TK_REQUIRE_DESKTOP();
  std::atomic<int> calls{0};
  auto count = [&](const auto&) { ++calls; };
  try {
    PulseRecordStream::start(sourceOptions("tk_no_such_source"), count, count);
    FAIL() << "recording a missing source started";
  } catch (const tk::PlatformError& error) {
    EXPECT_EQ(error.domain(), "PulseAudio");
    EXPECT_NE(error.localizedDescription().find("tk_no_such_source"), std::string::npos);
    EXPECT_NE(error.localizedDescription().find("No such entity"), std::string::npos);
  }

  const std::string server = std::getenv("PULSE_SERVER");
  ::setenv("PULSE_SERVER", "unix:/nonexistent/tk/native", 1);
  EXPECT_FALSE(tk::PulseDevices::isServerReachable());
  EXPECT_TRUE(tk::PulseDevices::inputSources().empty());
  try {
    PulseRecordStream::start({}, count, count);
    ADD_FAILURE() << "recording without a server started";
  } catch (const tk::PlatformError& error) {
    EXPECT_EQ(error.domain(), "PulseAudio");
    EXPECT_EQ(error.localizedDescription(), "Connecting to the sound server: Connection refused");
  }
  ::setenv("PULSE_SERVER", server.c_str(), 1);
  EXPECT_EQ(calls.load(), 0);
}

TEST(PulseDevicesTest, ListsInputSourcesWithoutMonitorsAndNamesTheDefault) {
  TK_REQUIRE_DESKTOP();
  EXPECT_TRUE(tk::PulseDevices::isServerReachable());
  tk::test::SineSource extra("tk_test_listed", 250);
  const auto sources = tk::PulseDevices::inputSources();
  std::vector<std::string> names;
  for (const auto& source : sources) names.push_back(source.uniqueID);
  EXPECT_EQ(names, (std::vector<std::string>{"tk_sine_source", "tk_test_listed"}));
  EXPECT_EQ(sources[1].localizedName, "Sine source at 250 Hz");

  const auto fallback = tk::PulseDevices::defaultInputSource();
  ASSERT_TRUE(fallback.has_value());
  EXPECT_EQ(fallback->uniqueID, "tk_sine_source");
  EXPECT_EQ(tk::PulseDevices::sourceFormat("tk_test_listed"), (tk::AudioFormat{48000, 1, true}));
  EXPECT_FALSE(tk::PulseDevices::sourceFormat("tk_no_such_source").has_value());

  // A monitor made the default is still no microphone.
  tk::test::pactl("set-default-source tk_null_sink.monitor");
  EXPECT_FALSE(tk::PulseDevices::defaultInputSource().has_value());
  tk::test::pactl("set-default-source tk_sine_source");
}
