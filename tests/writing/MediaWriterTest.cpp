#include "writing/MediaWriter.h"

#include <QCoroTask>
#include <QSize>
#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <thread>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"
#include "writing/AlphaChannelRecorder.h"

namespace tk {
namespace {

using test::audioBlock;
using test::CapturedLines;
using test::readMediaFile;
using test::seconds;
using test::splitFrame;
using test::writerConfiguration;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

class MediaWriterTest : public ::testing::Test {
 protected:
  std::filesystem::path file(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }

  // Writes `frames` frames at `frameRate` from source time 100 s, with 1024-frame audio blocks.
  void writeMovie(MediaWriter& writer, const WriterConfiguration& configuration, int frames, int frameRate,
                  int sourceWidth, int sourceHeight, bool withAudio = true) {
    writer.configure(configuration);
    writer.startWriting();
    writer.startSession(seconds(100));
    auto picture = splitFrame(sourceWidth, sourceHeight, kRed, kBlue);
    for (int i = 0; i < frames; ++i) {
      ASSERT_TRUE(test::waitForRoom([&] { return writer.isReadyForVideo(); }));
      ASSERT_TRUE(
          writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(100) + MediaTime(i, frameRate))));
    }
    if (withAudio) {
      const int blocks = frames * 48000 / frameRate / 1024;
      for (int b = 0; b < blocks; ++b) {
        auto sample = SampleBuffer::audio(audioBlock(1024, b % 2 == 0, 0.25f, 440, b * 1024LL),
                                          seconds(100) + MediaTime(b * 1024LL, 48000));
        ASSERT_TRUE(test::waitForRoom([&] { return writer.isReadyForAudio(false); }));
        ASSERT_TRUE(writer.appendMicrophoneAudio(sample, false, false));
      }
    }
  }

  std::filesystem::path finish(MediaWriter& writer) { return test::await(writer.finishWriting()); }

  QTemporaryDir dir;
};

TEST_F(MediaWriterTest, H264InMp4HasTaggedVideoFramesAndAudio) {
  MediaWriter writer;
  writeMovie(writer, writerConfiguration(file("a.mp4"), OutputFormat::mp4, 320, 240, 30), 60, 30, 320, 240);
  EXPECT_EQ(finish(writer), file("a.mp4"));

  auto info = readMediaFile(file("a.mp4"));
  ASSERT_NE(info.video(), nullptr);
  EXPECT_EQ(info.video()->codec, "h264");
  EXPECT_EQ(info.video()->width, 320);
  EXPECT_EQ(info.video()->height, 240);
  EXPECT_EQ(info.video()->packetCount, 60);
  EXPECT_NEAR(info.video()->duration, 2.0, 0.001);
  EXPECT_EQ(info.video()->colorPrimaries, "bt709");
  EXPECT_EQ(info.video()->colorTransfer, "bt709");
  EXPECT_EQ(info.video()->colorSpace, "bt709");
  EXPECT_EQ(info.video()->colorRange, "tv");
  ASSERT_EQ(info.audio().size(), 1u);
  EXPECT_EQ(info.audio()[0]->codec, "aac");
  EXPECT_EQ(info.audio()[0]->sampleRate, 48000);
  EXPECT_EQ(info.audio()[0]->channels, 2);
  EXPECT_NEAR(info.audio()[0]->duration, 2.0, 0.03);
}

TEST_F(MediaWriterTest, ConvertsWithTheBt709MatrixIntoLimitedRange) {
  MediaWriter writer;
  writeMovie(writer, writerConfiguration(file("colour.mov"), OutputFormat::mov, 64, 64, 30), 5, 30, 64, 64,
             false);
  finish(writer);
  // Red is Y 63 with BT.709 in limited range (BT.601 would give 81); blue on the right is Y 32.
  auto left = test::decodeVideoPixel(file("colour.mov"), 0, 8, 32);
  auto right = test::decodeVideoPixel(file("colour.mov"), 0, 56, 32);
  EXPECT_NEAR(left.y, 63, 2);
  EXPECT_NEAR(left.v, 240, 3);
  EXPECT_NEAR(right.y, 32, 2);
  EXPECT_NEAR(right.u, 240, 3);
}

TEST_F(MediaWriterTest, H264AndH265AreTaggedAndCarryAKeyframeEverySecond) {
  // H.265 is tagged hvc1 in both containers. An exact seek decodes forward from the keyframe before
  // its target: the encoders' own interval of 250 frames would cost up to four seconds of 60 fps
  // video per seek.
  struct Case {
    VideoEncoder codec;
    OutputFormat format;
    const char* name;
    const char* codecName;
    const char* tag;  // nullptr: not checked
  };
  for (const Case& c : {Case{VideoEncoder::h264, OutputFormat::mp4, "gop264.mp4", "h264", nullptr},
                        Case{VideoEncoder::h265, OutputFormat::mp4, "gop265.mp4", "hevc", "hvc1"},
                        Case{VideoEncoder::h265, OutputFormat::mov, "gop265.mov", "hevc", "hvc1"}}) {
    SCOPED_TRACE(c.name);
    MediaWriter writer;
    writeMovie(writer, writerConfiguration(file(c.name), c.format, 64, 64, 30, c.codec), 150, 30, 64, 64,
               false);
    finish(writer);
    auto info = readMediaFile(file(c.name));
    ASSERT_NE(info.video(), nullptr);
    EXPECT_EQ(info.video()->codec, c.codecName);
    if (c.tag) {
      EXPECT_EQ(info.video()->codecTag, c.tag);
    }
    EXPECT_EQ(info.video()->packetCount, 150);
    EXPECT_EQ(info.video()->colorPrimaries, "bt709");
    const std::vector<double> keyframes = test::videoKeyframeTimes(file(c.name));
    ASSERT_EQ(keyframes.size(), 5u);
    for (size_t i = 0; i < keyframes.size(); ++i) EXPECT_NEAR(keyframes[i], double(i), 1e-6);
  }
}

TEST_F(MediaWriterTest, ProRes4444KeepsTheAlphaChannelInMov) {
  auto configuration = writerConfiguration(file("alpha.mov"), OutputFormat::mov, 64, 48, 30);
  configuration.videoSettings->hasAlphaChannel = true;
  configuration.videoSettings->alphaCodec = AlphaVideoCodec::proRes4444;
  MediaWriter writer;
  writer.configure(configuration);
  writer.startWriting();
  writer.startSession(seconds(5));
  // Opaque red on the left, fully transparent on the right; then half-transparent red (premultiplied).
  ASSERT_TRUE(
      writer.appendVideoBuffer(SampleBuffer::video(splitFrame(64, 48, kRed, 0x00000000), seconds(5))));
  ASSERT_TRUE(writer.appendVideoBuffer(
      SampleBuffer::video(splitFrame(64, 48, 0x80800000, 0x80800000), seconds(5.1))));
  finish(writer);

  auto info = readMediaFile(file("alpha.mov"));
  ASSERT_NE(info.video(), nullptr);
  EXPECT_EQ(info.video()->codec, "prores");
  EXPECT_EQ(info.video()->codecTag, "ap4h");
  EXPECT_TRUE(info.video()->hasAlpha);
  EXPECT_EQ(info.video()->packetCount, 2);
  auto left = test::decodeVideoPixel(file("alpha.mov"), 0, 4, 24);
  auto right = test::decodeVideoPixel(file("alpha.mov"), 0, 60, 24);
  EXPECT_GT(left.a, 1000);
  EXPECT_LT(right.a, 24);
  // Stored straight: the half-transparent pixel's colour is full red (Y 63; the decoder gives 12 bits).
  auto half = test::decodeVideoPixel(file("alpha.mov"), 1, 10, 10);
  EXPECT_NEAR(half.y, 63 * 16, 24);
  EXPECT_NEAR(half.a, 128 * 4095 / 255, 24);
}

TEST_F(MediaWriterTest, ProResIsRefusedInMp4AndHevcWithAlphaIsNotAvailable) {
  auto configuration = writerConfiguration(file("alpha.mp4"), OutputFormat::mp4, 64, 48, 30);
  configuration.videoSettings->hasAlphaChannel = true;
  configuration.videoSettings->alphaCodec = AlphaVideoCodec::proRes4444;
  MediaWriter refused;
  try {
    refused.configure(configuration);
    FAIL() << "ProRes in mp4 was accepted";
  } catch (const MediaWriterError& error) {
    EXPECT_EQ(error.localizedDescription(), "Cannot add video input to asset writer");
  }
  EXPECT_FALSE(std::filesystem::exists(file("alpha.mp4")));

  configuration.outputFormat = OutputFormat::mov;
  configuration.outputURL = file("hevc-alpha.mov");
  configuration.videoSettings->alphaCodec = AlphaVideoCodec::hevcWithAlpha;
  MediaWriter hevc;
  try {
    hevc.configure(configuration);
    FAIL() << "HEVC with alpha was accepted";
  } catch (const MediaWriterError& error) {
    EXPECT_EQ(error.localizedDescription(), "Alpha codec 'HEVC with Alpha' is not supported on this system");
  }
}

TEST_F(MediaWriterTest, OddSizesAreEncodedEvenAndOtherFrameSizesAreScaled) {
  MediaWriter writer;
  // Configured 321x241, frames arrive at 640x480: the track is 320x240 and keeps every frame.
  writeMovie(writer, writerConfiguration(file("odd.mp4"), OutputFormat::mp4, 321, 241, 30), 6, 30, 640, 480,
             false);
  finish(writer);
  auto info = readMediaFile(file("odd.mp4"));
  EXPECT_EQ(info.video()->width, 320);
  EXPECT_EQ(info.video()->height, 240);
  EXPECT_EQ(info.video()->packetCount, 6);
  // Scaled, not cropped: the red half still ends in the middle.
  EXPECT_NEAR(test::decodeVideoPixel(file("odd.mp4"), 0, 150, 120).y, 63, 3);
  EXPECT_NEAR(test::decodeVideoPixel(file("odd.mp4"), 0, 170, 120).y, 32, 3);
}

TEST_F(MediaWriterTest, BitRatesFollowTheStandardRule) {
  EXPECT_EQ(MediaWriter::standardBitRate(VideoEncoder::h265, VideoQuality::high, 1920, 1080, 60), 7776000);
  EXPECT_EQ(MediaWriter::standardBitRate(VideoEncoder::h264, VideoQuality::medium, 1920, 1080, 60), 8117384);
  EXPECT_EQ(MediaWriter::standardBitRate(VideoEncoder::h264, VideoQuality::medium, 1280, 720, 30), 1866240);
  EXPECT_EQ(MediaWriter::standardBitRate(VideoEncoder::h265, VideoQuality::low, 320, 240, 15), 200000);

  CapturedLines lines;
  auto configuration =
      writerConfiguration(file("rate.mp4"), OutputFormat::mp4, 1920, 1080, 60, VideoEncoder::h265);
  configuration.videoSettings->quality = VideoQuality::high;
  MediaWriter writer;
  writer.configure(configuration);
  EXPECT_TRUE(lines.contains("   Target bitrate: 7 Mbps"));
  EXPECT_TRUE(lines.contains("   Codec: h265"));
  EXPECT_TRUE(lines.contains("   Quality: high"));
}

TEST_F(MediaWriterTest, PauseOffsetAndMicrophoneRetimingMoveSamplesOntoTheMovieClock) {
  MediaTime host = seconds(1000);
  MediaWriter writer([&] { return host; });
  auto configuration = writerConfiguration(file("retime.mov"), OutputFormat::mov, 64, 64, 30);
  writer.configure(configuration);
  writer.startWriting();
  writer.startSession(seconds(50));
  writer.startSession(seconds(70));  // a second start changes nothing
  EXPECT_EQ(*writer.sessionStartTime(), seconds(50));
  EXPECT_EQ(*writer.sessionStartHostTime(), seconds(1000));

  auto picture = splitFrame(64, 64, kRed, kBlue);
  ASSERT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(50))));
  // Microphone stamped at host 1005 s lands at 55 s source time: 5 s into the movie.
  auto tone = SampleBuffer::audio(audioBlock(4800, false, 0.5f, 1000), seconds(1005));
  ASSERT_TRUE(writer.appendMicrophoneAudio(tone, false, true));
  writer.addTimeOffset(seconds(2));
  // A frame stamped 60 s after a 2 s pause is written at 58 s: 8 s into the movie.
  ASSERT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(60))));
  EXPECT_EQ(*writer.lastPTS(), seconds(58));
  finish(writer);

  auto times = test::videoFrameTimes(file("retime.mov"));
  ASSERT_EQ(times.size(), 2u);
  EXPECT_NEAR(times[0], 0.0, 1e-6);
  EXPECT_NEAR(times[1], 8.0, 1e-6);
  int rate = 0;
  auto audio = test::decodeAudioChannel(file("retime.mov"), 0, &rate);
  size_t onset = 0;
  while (onset < audio.size() && std::abs(audio[onset]) < 0.1f) ++onset;
  EXPECT_NEAR(static_cast<double>(onset) / rate, 5.0, 0.01);
}

TEST_F(MediaWriterTest, DropsSamplesBeforeTheSessionAndFramesThatDoNotMoveForward) {
  MediaWriter writer;
  writer.configure(writerConfiguration(file("order.mp4"), OutputFormat::mp4, 64, 64, 30));
  writer.startWriting();
  auto picture = splitFrame(64, 64, kRed, kBlue);
  EXPECT_FALSE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(9))));  // before the session
  writer.startSession(seconds(10));
  EXPECT_FALSE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(9.9))));
  EXPECT_FALSE(
      writer.appendMicrophoneAudio(SampleBuffer::audio(audioBlock(480, true), seconds(9.5)), false, false));
  EXPECT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(10.1))));
  EXPECT_FALSE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(10.1))));
  EXPECT_FALSE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(10.05))));
  EXPECT_TRUE(writer.appendPixelBuffer(picture, seconds(10.2)));
  finish(writer);
  EXPECT_EQ(readMediaFile(file("order.mp4")).video()->packetCount, 2);
}

TEST_F(MediaWriterTest, InputsAreReadyWhileTheSessionRunsAndTheirQueueHasRoom) {
  MediaWriter writer;
  writer.configure(writerConfiguration(file("ready.mp4"), OutputFormat::mp4, 640, 360, 30));
  EXPECT_FALSE(writer.isReadyForVideo());
  writer.startWriting();
  EXPECT_FALSE(writer.isReadyForVideo());  // no session yet: an append would be refused
  writer.startSession(seconds(1));
  EXPECT_TRUE(writer.isReadyForVideo());
  EXPECT_TRUE(writer.isReadyForAudio(false));
  EXPECT_FALSE(writer.isReadyForAudio(true));  // one audio track: no microphone input

  // Frames offered faster than they are encoded fill the queue and are refused; once it has room
  // again the next frame is taken.
  auto picture = splitFrame(640, 360, kRed, kBlue);
  int frame = 0;
  while (frame < 1000 &&
         writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(1) + MediaTime(frame, 30))))
    ++frame;
  ASSERT_LT(frame, 1000);
  EXPECT_EQ(writer.refusedVideoFrames(), 1u);
  ASSERT_TRUE(test::waitForRoom([&] { return writer.isReadyForVideo(); }));
  EXPECT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(1) + MediaTime(frame + 1, 30))));
  finish(writer);
  EXPECT_FALSE(writer.isReadyForVideo());
  EXPECT_EQ(readMediaFile(file("ready.mp4")).video()->packetCount, frame + 1);
}

TEST_F(MediaWriterTest, SeparateAudioTracksWriteSystemAudioAndMicrophoneApart) {
  auto configuration = writerConfiguration(file("tracks.mov"), OutputFormat::mov, 64, 64, 30);
  configuration.separateAudioTracks = true;
  MediaWriter writer;
  writer.configure(configuration);
  writer.startWriting();
  writer.startSession(seconds(1));
  ASSERT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(splitFrame(64, 64, kRed, kBlue), seconds(1))));
  ASSERT_TRUE(writer.appendMicrophoneAudio(SampleBuffer::audio(audioBlock(4800, true, 0.5f, 500), seconds(1)),
                                           false, false));
  ASSERT_TRUE(
      writer.appendMicrophoneAudio(SampleBuffer::audio(audioBlock(4800, false), seconds(1)), true, false));
  finish(writer);
  auto info = readMediaFile(file("tracks.mov"));
  ASSERT_EQ(info.audio().size(), 2u);
  auto system = test::decodeAudioChannel(file("tracks.mov"), 0);
  auto microphone = test::decodeAudioChannel(file("tracks.mov"), 1);
  auto peak = [](const std::vector<float>& samples) {
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::abs(s));
    return peak;
  };
  EXPECT_GT(peak(system), 0.3f);
  EXPECT_LT(peak(microphone), 0.01f);

  // A single-track writer has no microphone input.
  MediaWriter single;
  CapturedLines lines;
  single.configure(writerConfiguration(file("single.mov"), OutputFormat::mov, 64, 64, 30));
  single.startWriting();
  single.startSession(seconds(1));
  EXPECT_FALSE(
      single.appendMicrophoneAudio(SampleBuffer::audio(audioBlock(480, true), seconds(1)), true, false));
  EXPECT_TRUE(lines.contains("❌ Microphone audio input is nil"));
}

TEST_F(MediaWriterTest, StateErrorsCarryTheirTexts) {
  auto text = [](auto&& action) {
    try {
      action();
    } catch (const Error& error) {
      return error.localizedDescription();
    }
    return std::string("no error");
  };
  MediaWriter unconfigured;
  EXPECT_EQ(text([&] { unconfigured.startWriting(); }), "Media writer is not configured");
  EXPECT_EQ(text([&] { unconfigured.startSession(seconds(1)); }), "Media writer is not configured");
  EXPECT_EQ(text([&] { unconfigured.finishWritingBlocking(); }), "Media writer is not configured");

  MediaWriter writer;
  writer.configure(writerConfiguration(file("state.mp4"), OutputFormat::mp4, 64, 64, 30));
  EXPECT_EQ(text([&] { writer.startSession(seconds(1)); }), "Invalid writer state: unknown");
  writer.startWriting();
  EXPECT_EQ(text([&] { writer.startWriting(); }), "Invalid writer state: writing");
  // Finishing before any session fails, and leaves no unplayable stub behind.
  EXPECT_EQ(text([&] { writer.finishWritingBlocking(); }), "Writer is not currently writing");
  EXPECT_FALSE(std::filesystem::exists(file("state.mp4")));

  EXPECT_EQ(MediaWriterError::writerInitializationFailed().localizedDescription(),
            "Failed to initialize media writer");
  EXPECT_EQ(MediaWriterError::writingFailed().localizedDescription(), "Writing failed");
  EXPECT_EQ(MediaWriterError::writingFailed("disk full").localizedDescription(), "Writing failed: disk full");
  EXPECT_EQ(MediaWriterError::outputURLMissing().localizedDescription(), "Output URL is missing");
  EXPECT_EQ(MediaWriterError::cannotAddInput("microphone audio").localizedDescription(),
            "Cannot add microphone audio input to asset writer");
}

TEST_F(MediaWriterTest, NeverOverwritesAndNeverDeletesAFinishedFile) {
  {
    std::ofstream existing(file("taken.mp4"));
    existing << "someone's recording";
  }
  MediaWriter writer;
  try {
    writer.configure(writerConfiguration(file("taken.mp4"), OutputFormat::mp4, 64, 64, 30));
    FAIL() << "an existing file was accepted";
  } catch (const MediaWriterError& error) {
    EXPECT_EQ(error.kind(), MediaWriterError::Kind::writerInitializationFailed);
    EXPECT_NE(error.localizedDescription().find("Failed to initialize media writer: "), std::string::npos);
  }
  EXPECT_EQ(std::filesystem::file_size(file("taken.mp4")), 19u);

  MediaWriter finished;
  writeMovie(finished, writerConfiguration(file("kept.mp4"), OutputFormat::mp4, 64, 64, 30), 3, 30, 64, 64,
             false);
  finish(finished);
  finished.cancelWriting();
  EXPECT_EQ(readMediaFile(file("kept.mp4")).video()->packetCount, 3);

  MediaWriter cancelled;
  writeMovie(cancelled, writerConfiguration(file("gone.mp4"), OutputFormat::mp4, 64, 64, 30), 3, 30, 64, 64,
             false);
  cancelled.cancelWriting();
  EXPECT_FALSE(std::filesystem::exists(file("gone.mp4")));
  EXPECT_EQ(cancelled.status(), MediaWriter::Status::cancelled);
}

TEST_F(MediaWriterTest, AppendsFromThreeThreadsAtOnceGiveAValidFile) {
  auto configuration = writerConfiguration(file("threads.mp4"), OutputFormat::mp4, 128, 72, 30);
  configuration.separateAudioTracks = true;
  MediaWriter writer;
  writer.configure(configuration);
  writer.startWriting();
  writer.startSession(seconds(0));
  auto picture = splitFrame(128, 72, kRed, kBlue);
  // Each input has one producer, so room it sees stays until it appends.
  std::atomic<int> refused{0};
  std::thread video([&] {
    for (int i = 0; i < 90; ++i) {
      if (!test::waitForRoom([&] { return writer.isReadyForVideo(); }) ||
          !writer.appendVideoBuffer(SampleBuffer::video(picture, MediaTime(i, 30))))
        ++refused;
    }
  });
  auto audio = [&](bool microphone) {
    for (int b = 0; b < 140; ++b) {
      auto sample =
          SampleBuffer::audio(audioBlock(1024, microphone, 0.2f, 300), MediaTime(b * 1024LL, 48000));
      if (!test::waitForRoom([&] { return writer.isReadyForAudio(microphone); }) ||
          !writer.appendMicrophoneAudio(sample, microphone, false))
        ++refused;
    }
  };
  std::thread system(audio, false);
  std::thread microphone(audio, true);
  video.join();
  system.join();
  microphone.join();
  EXPECT_EQ(refused, 0);
  finish(writer);
  auto info = readMediaFile(file("threads.mp4"));
  EXPECT_EQ(info.video()->packetCount, 90);
  ASSERT_EQ(info.audio().size(), 2u);
  EXPECT_NEAR(info.audio()[0]->duration, 3.0, 0.05);
  EXPECT_NEAR(info.audio()[1]->duration, 3.0, 0.05);
}

TEST_F(MediaWriterTest, ARecordingRunsFrameThreadsAtEverySizeAndFewerThanAnExport) {
  // x264 writes the options it ran with into the stream. An export's budget gives 1080p five frame
  // threads (each holds its own frames), a recording's three; a 4K recording gets frame threads for
  // three quarters of the cores (at least three), where 1080p's budget would have cut its frames
  // into slices without B-frames.
  const auto& option = test::x264Option;
  const int cores = availableCores();
  struct Case {
    QSize size;
    int threads;
  };
  for (const Case& c : {Case{{1920, 1080}, std::min(cores, 3)},
                        Case{{3840, 2160}, std::min(cores, std::max(cores * 3 / 4, 3))}}) {
    const QSize size = c.size;
    SCOPED_TRACE(size.width());
    const std::string name = "threads-" + std::to_string(size.width()) + ".mp4";
    MediaWriter writer;
    writeMovie(writer, writerConfiguration(file(name), OutputFormat::mp4, size.width(), size.height(), 60), 3,
               60, size.width(), size.height(), false);
    const std::filesystem::path movie = finish(writer);
    const std::string options = test::x264Options(movie);
    ASSERT_FALSE(options.empty()) << "x264's options are missing from " << movie;
    EXPECT_EQ(option(options, "threads"), c.threads) << options;
    EXPECT_EQ(option(options, "sliced_threads"), 0) << options;
    // Above 1080p frame types are decided on as many threads as encode, not on one that sets the
    // pace; at 1080p one keeps up.
    EXPECT_EQ(option(options, "lookahead_threads"), size.width() > 1920 ? c.threads : 1) << options;
  }
  EXPECT_GT(h264Threading(1920, 1080, 8).threads,
            h264Threading(1920, 1080, 8, MediaWriter::recordingEncoderMemory(1920, 1080, 8)).threads);
  // On a larger machine 4K gets more; 8K stays within the cap, in slices as before.
  EXPECT_EQ(h264Threading(3840, 2160, 16, MediaWriter::recordingEncoderMemory(3840, 2160, 16)).threads, 12);
  EXPECT_TRUE(h264Threading(7680, 4320, 8, MediaWriter::recordingEncoderMemory(7680, 4320, 8)).sliced);
  EXPECT_EQ(MediaWriter::recordingEncoderMemory(1280, 720, 8), MediaWriter::kRecordingEncoderMemory);
}

}  // namespace
}  // namespace tk
