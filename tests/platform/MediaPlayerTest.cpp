#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <fstream>
#include <optional>

#include "capture/SoundServerFixture.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

#include "platform/media/MonotonicClock.h"
#include "platform/player/MediaPlayer.h"
#include "platform/player/PlayerView.h"
#include "platform/pulse/PulseRecordStream.h"

namespace tk {
namespace {

class MediaPlayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir();
    test::TestMovieSpec silent;
    silent.seconds = 2.0;
    silent.withAudio = false;
    test::writeTestMovie(silentMovie(), silent);
    test::TestMovieSpec tone;
    tone.seconds = 3.0;
    tone.toneHz = 880;
    test::writeTestMovie(toneMovie(), tone);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  static std::filesystem::path silentMovie() { return folder_->filePath("silent.mov").toStdString(); }
  static std::filesystem::path toneMovie() { return folder_->filePath("tone.mov").toStdString(); }

  // Loads a file and waits for its status; checks that the status arrives on the main thread.
  bool load(MediaPlayer& player, const std::filesystem::path& file) {
    bool onMain = true;
    QObject::connect(&player, &MediaPlayer::statusChanged, &player,
                     [&] { onMain = onMain && QThread::currentThread() == qApp->thread(); });
    player.replaceCurrentItem(file);
    const bool settled = test::waitUntil([&] { return player.status() != MediaPlayer::Status::unknown; });
    return settled && onMain && player.status() == MediaPlayer::Status::readyToPlay;
  }

  int frameShown(const MediaPlayer& player) {
    auto frame = player.currentFrame();
    return frame ? test::frameIndexShown(*frame) : -2;
  }

  static QTemporaryDir* folder_;
};

QTemporaryDir* MediaPlayerTest::folder_ = nullptr;

TEST_F(MediaPlayerTest, LoadsAnItemShowsItsFirstFrameOrFailsWithTheReason) {
  MediaPlayer player;
  EXPECT_EQ(player.status(), MediaPlayer::Status::unknown);
  ASSERT_TRUE(load(player, silentMovie()));
  EXPECT_NEAR(player.itemDuration().seconds(), 2.0, 0.05);
  EXPECT_EQ(player.naturalSize(), QSize(320, 180));
  EXPECT_TRUE(test::waitUntil([&] { return frameShown(player) == 0; }));

  const auto text = std::filesystem::path(folder_->filePath("broken.mov").toStdString());
  std::ofstream(text) << "garbage";
  player.replaceCurrentItem(text);
  EXPECT_EQ(player.status(), MediaPlayer::Status::unknown);
  ASSERT_TRUE(test::waitUntil([&] { return player.status() == MediaPlayer::Status::failed; }));
  EXPECT_NE(player.errorDescription().find("broken.mov"), std::string::npos);

  player.replaceCurrentItem(std::nullopt);
  EXPECT_FALSE(player.hasItem());
  EXPECT_EQ(player.currentFrame(), nullptr);
}

TEST_F(MediaPlayerTest, ExactSeeksAreCoalescedAndTheLatestWins) {
  MediaPlayer player;
  ASSERT_TRUE(load(player, silentMovie()));
  int jumps = 0;
  bool jumpsOnMain = true;
  QObject::connect(&player, &MediaPlayer::timeJumped, &player, [&] {
    ++jumps;
    jumpsOnMain = jumpsOnMain && QThread::currentThread() == qApp->thread();
  });

  std::optional<bool> single;
  player.seek(MediaTime::fromSeconds(1.51, 600), [&](bool finished) { single = finished; });
  ASSERT_TRUE(test::waitUntil([&] { return single.has_value(); }));
  EXPECT_TRUE(*single);
  EXPECT_EQ(frameShown(player), 45);
  EXPECT_NEAR(player.currentTime().seconds(), 1.51, 0.001);
  EXPECT_GE(jumps, 1);

  // A burst of seeks: each completion runs once; the last one finishes and its frame shows.
  std::vector<int> calls(20, 0);
  std::vector<bool> results(20, false);
  for (int i = 0; i < 20; ++i)
    player.seek(MediaTime(i * 3, 30), [&, i](bool finished) {
      ++calls[i];
      results[i] = finished;
    });
  ASSERT_TRUE(test::waitUntil([&] { return calls[19] == 1; }));
  test::pumpEvents(std::chrono::milliseconds(50));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(calls[i], 1) << i;
  EXPECT_TRUE(results[19]);
  EXPECT_EQ(frameShown(player), 57);
  EXPECT_TRUE(jumpsOnMain);

  // Outside the item: clamped.
  std::optional<bool> late;
  player.seek(MediaTime(-1, 1), [&](bool finished) { late = finished; });
  ASSERT_TRUE(test::waitUntil([&] { return late.has_value(); }));
  EXPECT_EQ(frameShown(player), 0);
  EXPECT_EQ(player.currentTime().seconds(), 0.0);
}

TEST_F(MediaPlayerTest, APausedPlayerLetsItsDecoderGoAndPicksUpExactlyWhereItWas) {
  const std::filesystem::path movie = folder_->filePath("released.mov").toStdString();
  std::filesystem::copy_file(silentMovie(), movie, std::filesystem::copy_options::overwrite_existing);
  MediaPlayer player;
  ASSERT_TRUE(load(player, movie));
  std::optional<bool> seeked;
  player.seek(MediaTime(20, 30), [&](bool finished) { seeked = finished; });
  ASSERT_TRUE(test::waitUntil([&] { return seeked.has_value(); }));
  EXPECT_TRUE(player.decoderOpen());
  // Paused: the decoder goes, the frame on show stays.
  ASSERT_TRUE(test::waitUntil([&] { return !player.decoderOpen(); }, std::chrono::seconds(30)));
  EXPECT_EQ(frameShown(player), 20);
  // The movie renamed meanwhile (a file manager's doing) is still the one the player opens again.
  std::filesystem::rename(movie, folder_->filePath("renamed.mov").toStdString());
  // A seek opens it again and lands on its frame.
  seeked.reset();
  player.seek(MediaTime(33, 30), [&](bool finished) { seeked = finished; });
  ASSERT_TRUE(test::waitUntil([&] { return seeked.has_value(); }));
  EXPECT_TRUE(*seeked);
  EXPECT_EQ(frameShown(player), 33);
  // Playing on after it went again (at once when asked): from the frame on show, forward.
  player.releaseDecoderSoon();
  ASSERT_TRUE(test::waitUntil([&] { return !player.decoderOpen(); }, std::chrono::seconds(30)));
  std::vector<int> shown;
  QObject::connect(&player, &MediaPlayer::frameChanged, &player,
                   [&] { shown.push_back(frameShown(player)); });
  player.play();
  ASSERT_TRUE(
      test::waitUntil([&] { return !shown.empty() && shown.back() >= 40; }, std::chrono::seconds(30)));
  player.pause();
  EXPECT_TRUE(player.decoderOpen());
  EXPECT_GE(shown.front(), 33);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
}

TEST_F(MediaPlayerTest, PlaysInRealTimeOnTheSteadyClockAndStopsAtTheEnd) {
  MediaPlayer player;
  ASSERT_TRUE(load(player, silentMovie()));
  std::vector<double> observed;
  const int token = player.addPeriodicTimeObserver(
      MediaTime(20, 600), [&](MediaTime time) { observed.push_back(time.seconds()); });
  bool ended = false;
  QObject::connect(&player, &MediaPlayer::didPlayToEnd, &player, [&] { ended = true; });
  std::vector<int> shown;
  QObject::connect(&player, &MediaPlayer::frameChanged, &player,
                   [&] { shown.push_back(frameShown(player)); });

  const double start = MonotonicClock::nowSeconds();
  player.play();
  EXPECT_FALSE(player.usesAudioClock());
  test::waitUntil([&] { return MonotonicClock::nowSeconds() - start >= 1.0; });
  const double wall = MonotonicClock::nowSeconds() - start;
  EXPECT_NEAR(player.currentTime().seconds(), wall, 0.05);
  // The frame on screen follows the clock's time, give or take the frame in flight, however late a
  // loaded machine decodes it.
  EXPECT_TRUE(test::waitUntil(
      [&] { return ended || std::abs(frameShown(player) - player.currentTime().seconds() * 30) <= 2.5; }));

  ASSERT_TRUE(test::waitUntil([&] { return ended; }, std::chrono::seconds(60)));
  // Not before the two seconds are up; how long after them the news takes is the machine's load.
  EXPECT_GE(MonotonicClock::nowSeconds() - start, 1.95);
  // Updates while playing, each later than the one before: about 30 a second, fewer when the main
  // thread is starved, and well past a handful over two seconds.
  EXPECT_GE(observed.size(), 10u);
  EXPECT_TRUE(std::is_sorted(observed.begin(), observed.end()));
  EXPECT_EQ(player.rate(), 0.0);
  EXPECT_NEAR(player.currentTime().seconds(), 2.0, 0.05);
  EXPECT_EQ(frameShown(player), 59);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));

  // Paused: the clock holds and the observer is quiet once removed.
  player.removeTimeObserver(token);
  const size_t calls = observed.size();
  player.seek(MediaTime(1, 2));
  test::pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(observed.size(), calls);
  EXPECT_NEAR(player.currentTime().seconds(), 0.5, 0.001);
}

TEST_F(MediaPlayerTest, SoundReachesTheOutputAndDrivesTheClock) {
  TK_REQUIRE_DESKTOP();
  MediaPlayer player;
  ASSERT_TRUE(load(player, toneMovie()));
  test::CollectedSamples heard;
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  auto monitor = PulseRecordStream::start(
      options, [&](const SampleBuffer& sample) { heard.add(sample); }, [](const std::string&) {});
  player.seek(MediaTime(1, 2));
  player.play();
  ASSERT_TRUE(test::waitUntil([&] { return player.usesAudioClock(); }, std::chrono::seconds(60)));
  ASSERT_TRUE(
      test::waitUntil([&] { return player.currentTime().seconds() >= 0.6; }, std::chrono::seconds(60)));
  // Once the sound is heard the clock follows it: at the wall clock's speed, however long the output
  // took to start, slower where a starved machine delays the sound itself, never faster.
  const double wallStart = MonotonicClock::nowSeconds(), movieStart = player.currentTime().seconds();
  ASSERT_TRUE(test::waitUntil([&] { return player.currentTime().seconds() >= movieStart + 1.0; },
                              std::chrono::seconds(60)))
      << "the clock stopped with the sound playing";
  const double speed =
      (player.currentTime().seconds() - movieStart) / (MonotonicClock::nowSeconds() - wallStart);
  EXPECT_LE(speed, 1.05);
  player.pause();
  const double held = player.currentTime().seconds();
  // The picture catches up with the clock, however late a loaded machine decoded it.
  EXPECT_TRUE(test::waitUntil([&] { return std::abs(frameShown(player) - held * 30) <= 1.5; }))
      << "frame " << frameShown(player) << " shown at " << held << " s";
  test::pumpEvents(std::chrono::milliseconds(200));
  EXPECT_NEAR(player.currentTime().seconds(), held, 0.001);
  EXPECT_FALSE(player.usesAudioClock());
  player.play();  // on to the end
  // The monitor hands its sound over late, in chunks of up to two seconds, and a starved output
  // plays in pieces with silence between them: half a second of what was heard, silence left out.
  std::vector<float> tone, pending;
  size_t taken = 0;
  auto heardTone = [&] {
    const auto samples = heard.all();
    const auto left = test::channelOf({samples.begin() + taken, samples.end()}, 0);
    taken = samples.size();
    pending.insert(pending.end(), left.begin(), left.end());
    size_t at = 0;
    for (; at + 480 <= pending.size(); at += 480)
      if (test::peakLevel({pending.begin() + at, pending.begin() + at + 480}) > 0.2)
        tone.insert(tone.end(), pending.begin() + at, pending.begin() + at + 480);
    pending.erase(pending.begin(), pending.begin() + at);
    return tone.size() >= 24000;
  };
  ASSERT_TRUE(test::waitUntil(heardTone, std::chrono::seconds(60)))
      << "the movie's sound never reached the output";
  monitor.reset();
  EXPECT_NEAR(test::spectrumPeak(tone, 48000), 880, 10);
  EXPECT_GT(test::peakLevel(tone), 0.4);
}

TEST_F(MediaPlayerTest, WithoutASoundServerTheSteadyClockPlays) {
  TK_REQUIRE_DESKTOP();
  const char* original = std::getenv("PULSE_SERVER");
  const std::optional<std::string> server = original ? std::optional<std::string>(original) : std::nullopt;
  setenv("PULSE_SERVER", "unix:/nonexistent/tk-no-server", 1);
  MediaPlayer player;
  const bool loaded = load(player, toneMovie());
  if (server)
    setenv("PULSE_SERVER", server->c_str(), 1);
  else
    unsetenv("PULSE_SERVER");
  ASSERT_TRUE(loaded);
  const double start = MonotonicClock::nowSeconds();
  player.play();
  test::waitUntil([&] { return MonotonicClock::nowSeconds() - start >= 0.5; });
  EXPECT_FALSE(player.usesAudioClock());
  EXPECT_NEAR(player.currentTime().seconds(), MonotonicClock::nowSeconds() - start, 0.05);
}

TEST_F(MediaPlayerTest, ViewFillsOrFitsKeepingTheProportions) {
  using Gravity = PlayerView::VideoGravity;
  const QRectF fill =
      PlayerView::targetRect(QSizeF(1920, 1080), QRectF(0, 0, 400, 300), Gravity::resizeAspectFill);
  EXPECT_NEAR(fill.width(), 533.33, 0.01);
  EXPECT_NEAR(fill.height(), 300, 0.01);
  EXPECT_NEAR(fill.left(), -66.67, 0.01);
  EXPECT_NEAR(fill.top(), 0, 0.01);
  const QRectF fit =
      PlayerView::targetRect(QSizeF(1920, 1080), QRectF(0, 0, 400, 300), Gravity::resizeAspect);
  EXPECT_NEAR(fit.width(), 400, 0.01);
  EXPECT_NEAR(fit.height(), 225, 0.01);
  EXPECT_NEAR(fit.top(), 37.5, 0.01);

  MediaPlayer player;
  ASSERT_TRUE(load(player, silentMovie()));
  PlayerView view;
  view.resize(320, 240);
  view.setVideoGravity(Gravity::resizeAspect);
  view.setPlayer(&player);
  std::optional<bool> done;
  player.seek(MediaTime(1, 30), [&](bool finished) { done = finished; });  // frame 1: band 0 white
  ASSERT_TRUE(test::waitUntil([&] { return done.has_value() && frameShown(player) == 1; }));
  const QImage shot = view.grab().toImage();
  // Fit: black bars above and below, the picture's white corner patch at its top left.
  EXPECT_EQ(QColor(shot.pixel(160, 10)).value(), 0);
  EXPECT_GE(QColor(shot.pixel(5, 40)).value(), 200);
  EXPECT_LE(QColor(shot.pixel(5, 195)).value(), 40);
  view.setPlayer(nullptr);
  EXPECT_EQ(view.player(), nullptr);
}

}  // namespace
}  // namespace tk
