#include "export/ExportTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "recording/RecordingTestSupport.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk::test {

namespace fs = std::filesystem;

const RecordedMovie& recordedMovie() {
  static QTemporaryDir* folder = new QTemporaryDir();
  static std::optional<RecordedMovie> made;
  if (made) return *made;
  RecordedMovie movie;
  const fs::path dir = folder->path().toStdString();
  {
    PatternWindow window(QRect(300, 200, 320, 240), QColor(20, 200, 60));
    if (!window.showAndWait()) throw std::runtime_error("the pattern window never showed");
    ToneInNullSink tone;
    RecordingHarness harness;
    RecordingMode mode = RecordingMode::window(windowFor(window));
    RecordingConfiguration configuration = baseConfiguration(mode, dir / "out");
    configuration.backgroundColor = BackgroundType::black;
    configuration.recordSystemAudio = true;
    if (!harness.start(mode, configuration) || !harness.recordFor(3.0))
      throw std::runtime_error("recording failed: " + harness.error);
    auto result = harness.stop();
    if (!result) throw std::runtime_error("recording failed: " + harness.error);
    harness.waitForIdle();
    movie.movie = *result;
  }
  movie.camera = dir / "camera.mov";
  writeSolidMovie(movie.camera, 160, 120, 1.5, kCameraRed, false);
  made = movie;
  return *made;
}

const fs::path& soundlessMovie() {
  static QTemporaryDir* folder = new QTemporaryDir();
  static std::optional<fs::path> made;
  if (!made) {
    const fs::path file = fs::path(folder->path().toStdString()) / "soundless.mov";
    writeSolidMovie(file, 320, 240, 2.0, kWindowGreen, false);
    made = file;
  }
  return *made;
}

void writeSolidMovie(const fs::path& file, int width, int height, double seconds, uint32_t argb,
                     bool withAudio) {
  AssetWriter writer(file, ContainerFormat::mov);
  VideoInputSettings video;
  video.width = width;
  video.height = height;
  video.frameRate = 30;
  video.preset = "superfast";
  writer.addVideoInput(video);
  if (withAudio) writer.addAudioInput(AudioInputSettings{});
  writer.start();
  const int frames = static_cast<int>(std::lround(seconds * 30));
  for (int i = 0; i < frames; ++i) {
    auto frame = PixelBuffer::create(width, height);
    frame->fill(argb);
    while (!writer.isReadyForVideo()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    writer.appendVideo(frame, MediaTime(i, 30));
  }
  writer.finish(MediaTime::fromSeconds(seconds, 600));
}

void writeSoundOnlyMovie(const fs::path& file, double seconds) {
  TestMovieSpec spec;
  spec.withVideo = false;
  spec.seconds = seconds;
  writeTestMovie(file, spec);
}

LoadedEditor::LoadedEditor(const std::optional<RecordingMetadata>& metadata, const fs::path& source) {
  movie_ = fs::path(dir_.path().toStdString()) / ("clip.final" + source.extension().string());
  fs::copy_file(source, movie_);
  if (metadata) {
    std::ofstream out(fs::path(movie_).replace_extension("metadata.json"));
    out << encodeRecordingMetadata(*metadata);
  }
  model_ = std::make_unique<VideoTrimmerViewModel>();
  int completions = 0;
  model_->loadVideo(movie_, [&](std::optional<PlatformError> error) {
    ++completions;
    loaded_ = !error;
  });
  waitUntil([&] { return completions > 0; });
  if (loaded_ && metadata) loaded_ = waitUntil([&] { return model_->metadata().has_value(); });
}

std::vector<fs::path> LoadedEditor::outputs() const {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(folder()))
    if (entry.path() != movie_ && entry.path().extension() != ".json") found.push_back(entry.path());
  return found;
}

ExportCompletion ExportWait::completion() {
  return [this](ExportResult r) {
    ++calls;
    result = std::move(r);
  };
}

bool ExportWait::wait() {
  return waitUntil([&] { return calls > 0; }, std::chrono::minutes(3));
}

std::shared_ptr<PixelBuffer> frameOf(const fs::path& movie, double seconds) {
  VideoFrameReader reader(movie);
  return reader.frameAt(MediaTime::fromSeconds(seconds, 600)).pixelBuffer();
}

bool closeTo(uint32_t argb, uint32_t expected, int tolerance) {
  for (int shift : {0, 8, 16}) {
    const int a = (argb >> shift) & 0xFF, b = (expected >> shift) & 0xFF;
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

}  // namespace tk::test
