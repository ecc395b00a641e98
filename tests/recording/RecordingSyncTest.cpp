// Sound and picture of a recording stay together from the first samples on: a movie that flashes
// with a beep once a second plays on the desktop into the default output, and each beep of
// the recording sits next to its flash, the first one as well as those after a pause. The player
// keeps its sound and pictures together only roughly (a slow sawtooth of about one frame, a slow
// drift in some runs, and on a busy machine single beeps far off), so FFmpeg records
// the same moments beside us, and each beep is judged by how far ours differs from that.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "FlashBeeps.h"
#include "RecordingTestSupport.h"
#include "capture/SoundServerFixture.h"
#include "platform/media/MonotonicClock.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::AgainstReference;
using test::compareWithReference;
using test::pairBeepsWithFlashes;
using test::Pairing;

// A new null sink as the default output for one test. Like an output of a sound server that has
// just started, it hands a record stream its first samples a while after the stream started (a
// null sink renders its first two seconds at once when it is created).
class FreshDefaultSink {
 public:
  FreshDefaultSink()
      : module_(test::pactl("load-module module-null-sink sink_name=tk_sync_sink rate=48000")) {
    if (!module_.empty()) test::pactl("set-default-sink tk_sync_sink");
  }

  ~FreshDefaultSink() {
    test::pactl("set-default-sink " + qEnvironmentVariable("TK_TEST_SINK").toStdString());
    if (!module_.empty()) test::pactl("unload-module " + module_);
  }
  bool ok() const { return !module_.empty(); }

 private:
  std::string module_;
};

// A flash-and-beep movie of `seconds` playing in a small player on the desktop into a fresh
// default output, recorded (the player's area with system audio) from before it starts.
class FlashRecording {
  // Declared first: they go last, after the recording and the player.
  QTemporaryDir folder_;
  FreshDefaultSink sink_;
  std::unique_ptr<test::MonitorListener> output_;

 public:
  // `master`: the player's clock. "audio" (its default) shows frames by the sound it plays; "ext"
  // keeps both on the system clock.
  //
  // `playerFirst`: the player plays before Record is pressed and nothing else listens to the
  // output, as on a desktop where a clip is already playing: the output renders its sound well
  // ahead then.
  void start(int seconds, const QString& master = "audio", bool withReference = false,
             bool playerFirst = false) {
    TK_REQUIRE_DESKTOP();
    const fs::path source = folder_.filePath("flashes.mkv").toStdString();
    ASSERT_TRUE(test::makeFlashMovie(source, seconds));
    ASSERT_TRUE(sink_.ok());
    auto display = test::firstDisplay();
    ASSERT_TRUE(display);
    const QRect player = kPlayer;
    RecordingMode mode = RecordingMode::screenArea(
        display,
        QRectF(player.x(), display->frame.height() - player.bottom() - 1, player.width(), player.height()));
    auto configuration = test::baseConfiguration(mode, (folder_.path() + "/out").toStdString());
    configuration.frameRate = 60;
    configuration.recordSystemAudio = true;
    if (playerFirst) {
      startPlayer(source, master);
      // Its first flash is on the screen: it plays.
      ASSERT_TRUE(test::waitUntil([&] { return playerShowsAFlash(); }, std::chrono::seconds(30)));
      ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
      return;
    }
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    // The movie starts as the output starts playing: its first beep is among the first samples of
    // system audio, its first flash in the first second of the movie.
    output_ = std::make_unique<test::MonitorListener>("tk_sync_sink");
    ASSERT_TRUE(output_->waitUntilFlowing());
    // FFmpeg writes its file's head once both inputs deliver. Started earlier, while the fresh
    // output still hands out its first seconds at once, its first sound stamps (on which all later
    // ones count) come out off by a different amount in each run.
    if (withReference) {
      ASSERT_TRUE(
          reference_.start(kPlayer, "tk_sync_sink.monitor", folder_.filePath("reference.mkv").toStdString()))
          << "the reference recording never began";
    }
    startPlayer(source, master);
  }

  void startPlayer(const fs::path& source, const QString& master) {
    play.start("ffplay", {"-v", "error", "-autoexit", "-noborder", "-sync", master, "-left",
                          QString::number(kPlayer.x()), "-top", QString::number(kPlayer.y()), "-x",
                          QString::number(kPlayer.width()), "-y", QString::number(kPlayer.height()),
                          QString::fromStdString(source.string())});
    ASSERT_TRUE(play.waitForStarted());
  }

  // Whether the player's area shows a flash now.
  static bool playerShowsAFlash() {
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, kPlayer.x(), kPlayer.y(), kPlayer.width(), kPlayer.height())
                            .toImage();
    return !shot.isNull() && qGray(shot.pixel(kPlayer.width() / 2, kPlayer.height() / 2)) > 128;
  }
  static constexpr QRect kPlayer{240, 300, 160, 120};

  // Ends the reference recording and pairs its beeps and flashes.
  void finishReference(Pairing& pairing) {
    auto paired = reference_.finish();
    ASSERT_TRUE(paired) << "the reference recording failed or cannot be read";
    pairing = *paired;
  }
  const fs::path& reference() const { return reference_.file(); }
  // When the output played the clip's first beep (on the capture clock), once it did.
  std::optional<MediaTime> firstSound() const { return output_ ? output_->firstSound() : std::nullopt; }

  test::RecordingHarness harness;
  QProcess play;

 private:
  test::ReferenceRecording reference_;
};

// Each run prints every beep of both movies, so that a failure shows which of them moved.
void printOffsets(const char* label, const Pairing& pairing);
void printAgainstReference(const AgainstReference& against);

TEST(RecordingSyncTest, EveryBeepSitsByItsFlashFromTheFirstSecondAndAcrossAPause) {
  FlashRecording recording;
  ASSERT_NO_FATAL_FAILURE(recording.start(10, "audio", true));
  if (IsSkipped()) return;
  auto& harness = recording.harness;
  auto& play = recording.play;
  // A second's pause from 2.45 s after the clip's first beep: it begins between the third beep and
  // the fourth and ends between the fourth and the fifth, so that it cuts no beep or flash in two.
  ASSERT_TRUE(test::waitUntil([&] { return recording.firstSound().has_value(); }, std::chrono::seconds(30)))
      << "the clip does not play";
  const MediaTime pauseAt = *recording.firstSound() + MediaTime(245, 100);
  ASSERT_TRUE(test::waitUntil([&] { return MonotonicClock::now() >= pauseAt; }));
  // The coordinator takes out the time between its pause and its resume: between these.
  const MediaTime beforePause = MonotonicClock::now();
  harness.coordinator.pauseRecording();
  const MediaTime paused = MonotonicClock::now();
  test::pumpEvents(1000ms);
  const MediaTime beforeResume = MonotonicClock::now();
  harness.coordinator.resumeRecording();
  const MediaTime resumed = MonotonicClock::now();
  ASSERT_TRUE(test::waitUntil([&] { return play.state() == QProcess::NotRunning; }));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;
  Pairing reference;
  ASSERT_NO_FATAL_FAILURE(recording.finishReference(reference));

  auto facts = test::probeMovie(*movie);
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->audioDurations.size(), 1u);
  EXPECT_NEAR(facts->audioDurations[0], facts->videoDuration, 0.1);
  const Pairing pairing = pairBeepsWithFlashes(*movie, *facts);
  SCOPED_TRACE("ours: " + pairing.described);
  SCOPED_TRACE("reference: " + reference.described);
  ASSERT_GE(pairing.flashes.size(), 5u);
  const auto& offsets = pairing.offsets;
  const auto& paired = pairing.paired;
  ASSERT_GE(offsets.size(), 5u);
  ASSERT_FALSE(pairing.beeps.empty());
  // The first beep has a flash, whenever the player showed it whole: for six frames of the
  // reference's, so that ours, on a beat of its own, has at least five of it.
  if (!reference.paired.empty() && reference.paired.front() == reference.beeps.front() &&
      reference.flashes.front().length > 5.5 / 60) {
    EXPECT_EQ(paired.front(), pairing.beeps.front()) << "the first beep has no flash";
  }
  // The player puts a lag of its own between them (its guess of the output's delay): that lag is
  // the median offset, bounded on its own.
  std::vector<double> sorted = offsets;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_LT(std::abs(sorted[sorted.size() / 2]), 0.06);
  // Beyond that lag the player's beeps wander against its flashes (it shows pictures by its own
  // guess of the sound's clock, and a busy machine delays one or the other now and then). What
  // the reference saw of the same beep takes that out: what is left is ours.
  const AgainstReference against = compareWithReference(pairing, reference);
  printOffsets("ours", pairing);
  printOffsets("reference", reference);
  printAgainstReference(against);
  EXPECT_EQ(against.unmatched, 0u) << "beeps of ours the reference did not hear by the same flash";
  ASSERT_GE(against.differences.size(), 5u);
  ASSERT_EQ(*std::max_element(against.stretches.begin(), against.stretches.end()), 1)
      << "the take has no beeps on both sides of its pause, or beeps the reference has elsewhere";
  // From the first beep on and across the pause, no beep is out of step with its flash by what a
  // person notices: sooner for sound early than late.
  for (size_t i = 0; i < against.times.size(); ++i) {
    EXPECT_GT(against.bySound[i], -0.045)
        << "the beep at " << against.times[i] << " s is " << -against.bySound[i] * 1000 << " ms early";
    EXPECT_LT(against.bySound[i], 0.05)
        << "the beep at " << against.times[i] << " s is " << against.bySound[i] * 1000 << " ms late";
  }
  // Both hear the same samples of the one output: within a stretch the take's sound keeps the
  // reference's pace to the millisecond, and across the pause it leaves out just the time paused.
  std::vector<std::vector<double>> heard(2);
  for (size_t i = 0; i < against.times.size(); ++i)
    heard[size_t(against.stretches[i])].push_back(against.soundShift[i]);
  for (auto& stretch : heard) {
    std::sort(stretch.begin(), stretch.end());
    EXPECT_LT(stretch.back() - stretch.front(), 0.002) << "the take's sound drifts from the output's";
  }
  const double left = heard[1][heard[1].size() / 2] - heard[0][heard[0].size() / 2];
  EXPECT_GT(left, (beforeResume - paused).seconds() - 0.001) << "the take's sound kept some of the pause";
  EXPECT_LT(left, (resumed - beforePause).seconds() + 0.001) << "the take's sound lost more than the pause";
}

// The clip already plays when Record is pressed, and nothing else listens to its output. The first
// beeps sit by their flashes as the later ones do: the take's sound neither starts late nor steps.
TEST(RecordingSyncTest, TheFirstBeepsOfAClipAlreadyPlayingSitLikeTheLaterOnes) {
  FlashRecording recording;
  ASSERT_NO_FATAL_FAILURE(recording.start(9, "audio", false, true));
  if (IsSkipped()) return;
  auto& harness = recording.harness;
  ASSERT_TRUE(test::waitUntil([&] { return recording.play.state() == QProcess::NotRunning; }));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;
  auto facts = test::probeMovie(*movie);
  ASSERT_TRUE(facts);
  const Pairing pairing = pairBeepsWithFlashes(*movie, *facts);
  SCOPED_TRACE("ours: " + pairing.described);
  ASSERT_GE(pairing.beeps.size(), 5u);
  ASSERT_GE(pairing.flashes.size(), 4u);
  // A beep plays every second: a take with sound from its first frame has a whole one in its first
  // second (one the start cut in two is not counted).
  EXPECT_LT(pairing.beeps.front(), 1.15) << "the take starts without its sound";
  const std::vector<double> offsets = test::beepsAgainstTheBeat(pairing);
  for (size_t i = 0; i < offsets.size(); ++i)
    EXPECT_LT(std::abs(offsets[i]), 0.05) << "the beep at " << pairing.beeps[i] << " s is "
                                          << offsets[i] * 1000 << " ms off where the others sit";
}

// How a series of offsets (seconds, at times `t`) behaves: the first three, the line fitted
// through all (its slope is the drift), and the largest step between neighbours and where.
std::string summarise(const std::vector<double>& t, const std::vector<double>& o) {
  if (t.empty()) return "no beeps";
  double mt = 0, mo = 0;
  for (size_t i = 0; i < t.size(); ++i) mt += t[i], mo += o[i];
  mt /= double(t.size());
  mo /= double(t.size());
  double num = 0, den = 0, step = 0, stepAt = 0, worst = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    num += (t[i] - mt) * (o[i] - mo);
    den += (t[i] - mt) * (t[i] - mt);
    if (i && std::abs(o[i] - o[i - 1]) > std::abs(step)) step = o[i] - o[i - 1], stepAt = t[i];
    worst = std::max(worst, std::abs(o[i]));
  }
  char line[256];
  std::snprintf(line, sizeof line,
                "first three: %.1f %.1f %.1f ms; mean %.1f ms; worst %.1f ms; drift %.3f ms/s; largest step "
                "%+.1f ms at %.0f s",
                o[0] * 1000, o.size() > 1 ? o[1] * 1000 : 0.0, o.size() > 2 ? o[2] * 1000 : 0.0, mo * 1000,
                worst * 1000, den > 0 ? num / den * 1000 : 0.0, step * 1000, stepAt);
  return line;
}

// Frames a busy machine kept out of a movie: a flash whose first frames are missing starts late.
void printFrameGaps(const char* label, const test::MovieFacts& facts) {
  const auto& times = facts.videoFrameTimes;
  double largest = 0, at = 0;
  int over50 = 0;
  for (size_t i = 1; i < times.size(); ++i) {
    const double gap = times[i] - times[i - 1];
    if (gap > 0.05) ++over50;
    if (gap > largest) largest = gap, at = times[i - 1];
  }
  std::printf("%s: %zu frames; %d gaps over 50 ms; largest %.0f ms after %.1f s\n", label, times.size(),
              over50, largest * 1000, at);
}

void printOffsets(const char* label, const Pairing& pairing) {
  std::printf("%s: %s\n%s beep offsets (ms):", label, pairing.described.c_str(), label);
  for (size_t i = 0; i < pairing.offsets.size(); ++i)
    std::printf(" %.1f@%.2fs", pairing.offsets[i] * 1000, pairing.paired[i]);
  std::printf("\n%s: %s\n", label, summarise(pairing.paired, pairing.offsets).c_str());
}

void printAgainstReference(const AgainstReference& against) {
  std::printf("ours less reference (ms):");
  for (size_t i = 0; i < against.times.size(); ++i)
    std::printf(" %.1f@%.2fs", against.differences[i] * 1000, against.times[i]);
  std::printf("\nours less reference by sound (ms):");
  for (size_t i = 0; i < against.times.size(); ++i)
    std::printf(" %.1f@%.2fs", against.bySound[i] * 1000, against.times[i]);
  std::printf("\nreference heard later (ms):");
  for (size_t i = 0; i < against.times.size(); ++i)
    std::printf(" %.2f|%d", (against.soundShift[i] - against.soundShift[0]) * 1000, against.stretches[i]);
  std::printf("\nours less reference: %zu beeps (%zu without a partner, %zu whose flash it lost); %s\n",
              against.times.size(), against.unmatched, against.unjudged,
              summarise(against.times, against.differences).c_str());
}

// A measurement, not a check: run by hand with TK_SYNC_SECONDS set (600 for ten minutes). It
// records a flash-and-beep movie that long and prints each beep's offset from its flash, the
// offsets of the first seconds, the drift (a line fitted through all offsets) and the largest step
// between neighbours. With TK_SYNC_REFERENCE=1 FFmpeg records the same moments beside us, and the
// same figures are printed for its movie and for the difference between the two: a step or a
// sawtooth both show is the player's.
TEST(RecordingSyncTest, LongRunOffsetsWhenAsked) {
  const int seconds = qEnvironmentVariableIntValue("TK_SYNC_SECONDS");
  if (seconds <= 0) GTEST_SKIP() << "set TK_SYNC_SECONDS to measure";
  const bool withReference = qEnvironmentVariableIntValue("TK_SYNC_REFERENCE") != 0;
  FlashRecording recording;
  ASSERT_NO_FATAL_FAILURE(
      recording.start(seconds + 2, qEnvironmentVariable("TK_SYNC_MASTER", "audio"), withReference));
  if (IsSkipped()) return;
  auto& harness = recording.harness;
  auto& play = recording.play;
  ASSERT_TRUE(test::waitUntil([&] { return play.state() == QProcess::NotRunning; },
                              std::chrono::seconds(seconds + 60)));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;
  auto facts = test::probeMovie(*movie);
  ASSERT_TRUE(facts);
  const Pairing pairing = pairBeepsWithFlashes(*movie, *facts);
  ASSERT_GE(pairing.offsets.size(), 3u) << pairing.described;
  printOffsets("ours", pairing);
  printFrameGaps("ours", *facts);
  if (!withReference) return;
  Pairing reference;
  ASSERT_NO_FATAL_FAILURE(recording.finishReference(reference));
  printOffsets("reference", reference);
  printFrameGaps("reference", *test::probeMovie(recording.reference()));
  printAgainstReference(compareWithReference(pairing, reference));
}

}  // namespace
}  // namespace tk
