// Times the editor's timeline on a one-hour recording: a movie our writer makes (small picture, one
// frame a second, a 440 Hz tone), loaded by the editor's model with its waveform, cut into many
// segments, and metadata with hundreds of zoom segments and camera positions. The timeline is then
// laid out at a new width and painted offscreen, and separately repainted after a playhead move;
// then painted again with 100,000 zoom segments.
// The peer is the display's frame: the time is printed against 1/60 s.
//
// bench_Timeline [--short]

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "editor/VideoTrimmerViewModel.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "model/RecordingMetadata.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/PixelBuffer.h"

namespace {

using namespace tk;
using Clock = std::chrono::steady_clock;

void writeMovie(const std::filesystem::path& file, double seconds, bool withAudio) {
  AssetWriter writer(file, ContainerFormat::mov);
  VideoInputSettings video;
  video.width = 64;
  video.height = 36;
  video.frameRate = 1;
  writer.addVideoInput(video);
  constexpr int kRate = 8000;
  if (withAudio) writer.addAudioInput(AudioInputSettings{kRate, 1, 32000});
  writer.start();
  auto pixels = PixelBuffer::create(64, 36);
  for (int y = 0; y < 36; ++y)
    for (int x = 0; x < 64; ++x) pixels->setPixel(x, y, 0xFF204060u);
  const int frames = static_cast<int>(seconds);
  for (int i = 0; i < frames; ++i) {
    if (withAudio) {
      auto block = std::make_shared<AudioBlock>();
      block->format = AudioFormat{kRate, 1, true};
      block->frameCount = kRate;
      block->samples.resize(kRate);
      // A tone whose loudness rises and falls over minutes, so the waveform has shape.
      const float level = 0.1f + 0.8f * static_cast<float>(std::abs(std::sin(i / 97.0)));
      for (int f = 0; f < kRate; ++f)
        block->samples[f] = level * static_cast<float>(std::sin(2 * M_PI * 440 * f / kRate));
      while (!writer.isReadyForAudio(0)) std::this_thread::sleep_for(std::chrono::microseconds(200));
      writer.appendAudio(0, block, MediaTime(static_cast<int64_t>(i) * kRate, kRate));
    }
    while (!writer.isReadyForVideo()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    writer.appendVideo(pixels, MediaTime(i, 1));
  }
  writer.finish(MediaTime::fromSeconds(seconds, 600));
}

RecordingMetadata metadataFor(double seconds) {
  RecordingMetadata metadata;
  metadata.duration = seconds;
  for (double t = 5; t + 4 < seconds; t += 12) {
    ZoomSegment segment;
    segment.startTime = t;
    segment.endTime = t + 4;
    segment.zoomLevel = 2;
    metadata.zoomSegments.push_back(segment);
  }
  for (double t = 1; t < seconds; t += 6) {
    CameraKeyframe keyframe;
    keyframe.timestamp = t;
    metadata.cameraPositions.push_back(keyframe);
  }
  return metadata;
}

bool waitFor(const std::function<bool()>& condition, double seconds) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

struct Stats {
  double median = 0, worst = 0;
};

Stats statsOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.back()};
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const double seconds = 3600;
  const int cuts = quick ? 10 : 120;
  const int rounds = quick ? 20 : 200;
  QTemporaryDir folder;
  const std::filesystem::path movie = folder.filePath("hour.mov").toStdString();

  std::printf("Writing a one-hour movie (64x36, 1 fps%s)...\n", quick ? "" : ", 8 kHz tone");
  auto start = Clock::now();
  writeMovie(movie, seconds, !quick);
  std::ofstream(folder.filePath("hour.metadata.json").toStdString())
      << encodeRecordingMetadata(metadataFor(seconds));
  std::printf("  written in %.1f s\n", secondsSince(start));

  VideoTrimmerViewModel model;
  bool loaded = false;
  model.loadVideo(movie, [&](std::optional<PlatformError> error) {
    if (error) std::printf("load failed: %s\n", error->localizedDescription().c_str());
    loaded = !error;
  });
  if (!waitFor([&] { return loaded && model.metadata() && !model.isGeneratingWaveform(); }, 120)) {
    std::printf("the movie did not load\n");
    return 1;
  }
  for (int i = 1; i <= cuts; ++i) {
    const double t = seconds * i / (cuts + 1);
    model.seek(t);
    waitFor([&] { return std::abs(model.player()->currentTime().seconds() - t) < 0.01; }, 10);
    model.addCutAtCurrentTime();
  }
  for (size_t i = 0; i < model.segments().size(); i += 2) model.toggleSegmentDeletion(model.segments()[i].id);

  TrimmerTimelineView timeline(model, {}, {});
  timeline.resize(1600, TrimmerTimelineView::kHeight);
  timeline.grab();  // first paint: fonts and glyph caches
  std::printf(
      "timeline of %.0f s: %zu waveform samples, %zu cut segments, %zu zoom segments, %zu camera "
      "positions, %d x %d pt\n",
      timeline.duration(), model.waveformSamples().size(), model.segments().size(),
      model.zoomSegments().size(), model.metadata()->cameraPositions.size(), timeline.width(),
      timeline.height());

  std::vector<double> layoutAndPaint, playheadPaint;
  for (int i = 0; i < rounds; ++i) {
    start = Clock::now();
    timeline.resize(1600 - (i % 2), timeline.height());  // a new width: every row lays out again
    QPixmap picture = timeline.grab();
    layoutAndPaint.push_back(secondsSince(start));

    const double t = seconds * (i + 0.5) / rounds;
    model.seek(t);
    start = Clock::now();
    QPixmap moved = timeline.grab();
    playheadPaint.push_back(secondsSince(start));
  }
  const Stats layout = statsOf(layoutAndPaint), playhead = statsOf(playheadPaint);
  constexpr double kFrame = 1.0 / 60;
  std::printf("                                   median     worst   (ms; a 60 Hz frame is %.1f ms)\n",
              kFrame * 1e3);
  std::printf("  lay out and paint at a new width %7.2f %9.2f   median = %.3f of a frame\n",
              layout.median * 1e3, layout.worst * 1e3, layout.median / kFrame);
  std::printf("  paint after a seek               %7.2f %9.2f   median = %.3f of a frame\n",
              playhead.median * 1e3, playhead.worst * 1e3, playhead.median / kFrame);

  // A recording with 100,000 zoom segments over the hour: the timeline draws only what shows.
  std::vector<ZoomSegment> many(100'000);
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].startTime = seconds * i / many.size();
    many[i].endTime = many[i].startTime + 0.03;
    many[i].zoomLevel = 2;
  }
  model.setZoomSegments(std::move(many));
  timeline.grab();
  std::vector<double> crowded;
  for (int i = 0; i < rounds; ++i) {
    model.seek(seconds * (i + 0.5) / rounds);
    start = Clock::now();
    QPixmap picture = timeline.grab();
    crowded.push_back(secondsSince(start));
  }
  const Stats many100k = statsOf(crowded);
  std::printf("  paint with %zu zoom segments  %7.2f %9.2f   median = %.3f of a frame\n",
              model.zoomSegments().size(), many100k.median * 1e3, many100k.worst * 1e3,
              many100k.median / kFrame);
  model.cleanup();
  return 0;
}
