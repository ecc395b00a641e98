#include "platform/ffmpeg/AssetExportSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <sched.h>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <thread>

#include <QCoroFuture>

#include "platform/composition/StandardLayerRenderer.h"
#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/ffmpeg/VideoFrameReader.h"

namespace tk {
namespace {

constexpr AudioFormat kAudioFormat{48000, 2, true};
// What the composed frames of an export may take together (in the compositors, waiting for the
// writer, in its queue) and each compositor's own full-canvas images (the background, the backdrop
// with the screen's shadow). A bigger picture gets fewer frames and fewer compositors, so memory
// grows with the picture's size, not with the queues: 1080p keeps all of them, 8K the fewest.
constexpr double kCanvasBudget = 128.0 * 1024 * 1024;
// Full canvases each compositor holds: its two cached images and two frames in flight, plus one
// waiting for the writer.
constexpr int kCanvasesPerCompositor = 5;
// Frames the writer holds between us and the encoder: one waiting for conversion, the rest converted
// (under half the size); the encoder keeps its own frames to work on. One fewer above 1440p.
bool aboveQhd(QSize size) {
  return static_cast<double>(size.width()) * size.height() > 2560.0 * 1440;
}
int writerQueuedFrames(QSize size) {
  return aboveQhd(size) ? 3 : 4;
}

// Source frames are read forward; two decoder threads keep ahead of the encoder at 1080p60 and hold
// far fewer frames than one per core. Above that the encoder is the slower by far and one will do.
int decoderThreads(QSize size) {
  return aboveQhd(size) ? 1 : 2;
}

// How many compositors render side by side and how many frames each is handed ahead.
struct CompositorLanes {
  size_t lanes = 1;
  size_t framesEach = 1;
  size_t spare = 0;  // one more frame dealt, so that a lane finds its next frame waiting
};

// Compositors render side by side, each on its own thread, taking frames in turn: a frame depends only
// on its time and sources, so the order of rendering does not matter, and one render thread alone
// cannot keep up with a multithreaded encoder at 1080p60. Half the cores this process may run on, at
// most four, as many as the canvas budget holds.
CompositorLanes compositorLanes(QSize size) {
  const double canvasBytes = 4.0 * std::max(size.width(), 1) * std::max(size.height(), 1);
  const int canvases = static_cast<int>(kCanvasBudget / canvasBytes);
  CompositorLanes lanes;
  lanes.lanes = static_cast<size_t>(
      std::clamp(std::min((availableCores() + 1) / 2, canvases / kCanvasesPerCompositor), 1, 4));
  lanes.framesEach = canvases >= 4 * kCanvasesPerCompositor ? 2 : 1;
  lanes.spare = canvases >= 2 * kCanvasesPerCompositor ? 1 : 0;
  return lanes;
}

struct Cancelled {};

// Waits a little for a consumer that has no blocking wait of its own (the writer's queues).
void breathe() {
  std::this_thread::sleep_for(std::chrono::microseconds(300));
}

int evenFloor(int v) {
  return v - (v & 1);
}

// Renames without ever replacing: the final name is someone's file once it exists.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to, int& error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  error = errno;
  if (error != EINVAL && error != ENOSYS) return false;
  // A file system without the flag: a hard link fails on an existing name as well.
  if (::link(from.c_str(), to.c_str()) != 0) {
    error = errno;
    return false;
  }
  ::unlink(from.c_str());
  return true;
}

// The frames of one composition video track, in composition time order.
class VideoTrackCursor {
 public:
  VideoTrackCursor(const CompositionTrack& track, int decoderThreads)
      : track_(track), decoderThreads_(decoderThreads) {}

  // The source frame shown at composition time t; null in a gap.
  std::shared_ptr<PixelBuffer> frameAt(const MediaTime& t) {
    const CompositionTrackSegment* segment = track_.segmentAt(t);
    if (!segment) return nullptr;
    const MediaTime s = segment->sourceTime(t);
    if (segment != segment_) {
      if (!reader_ || !segment_ || segment_->sourceFile != segment->sourceFile ||
          segment_->sourceTrackID != segment->sourceTrackID)
        reader_ =
            std::make_unique<VideoFrameReader>(segment->sourceFile, segment->sourceTrackID, decoderThreads_);
      segment_ = segment;
      reader_->seek(s);
      next_ = reader_->advance();
      current_.reset();
    }
    while (next_ && *next_ <= s) {
      previousTime_ = currentTime_;
      currentTime_ = *next_;
      current_ = reader_->currentFrame().pixelBuffer();
      next_ = reader_->advance();
      // The file's frames stop well before the track claims to end (a movie cut short): the picture
      // ends one frame after its last one.
      if (!next_ && !endedEarly_ && segment->sourceRange.end() - currentTime_ > kShortfall) {
        const MediaTime frame =
            previousTime_ && currentTime_ > *previousTime_ ? currentTime_ - *previousTime_ : MediaTime(1, 60);
        endedEarly_ = t + (currentTime_ - s) + frame;
      }
    }
    // A time before the first frame shows the first frame.
    if (!current_ && next_) current_ = reader_->currentFrame().pixelBuffer();
    return current_;
  }

  // Where the picture ended (composition time) when the file holds less than the track claims.
  const std::optional<MediaTime>& endedEarly() const { return endedEarly_; }

 private:
  static inline const MediaTime kShortfall{1, 2};
  MediaTime currentTime_ = MediaTime::zero();
  std::optional<MediaTime> previousTime_;
  std::optional<MediaTime> endedEarly_;
  const CompositionTrack& track_;
  const int decoderThreads_;
  const CompositionTrackSegment* segment_ = nullptr;
  std::unique_ptr<VideoFrameReader> reader_;
  std::optional<MediaTime> next_;
  std::shared_ptr<PixelBuffer> current_;
};

// The sound of one composition audio track, block by block in composition time order.
class AudioTrackPump {
 public:
  AudioTrackPump(const CompositionTrack& track, AssetWriter& writer, const std::atomic<bool>& cancelled)
      : track_(track), writer_(writer), cancelled_(cancelled) {}

  // Hands the writer every block that starts before `until` (composition time).
  void pumpUntil(const MediaTime& until) {
    while (index_ < track_.segments().size() && position_ < until) {
      const auto& segment = track_.segments()[index_];
      if (!opened_) {
        reader_ =
            std::make_unique<AudioSampleReader>(segment.sourceFile, kAudioFormat, segment.sourceTrackID);
        reader_->seek(segment.sourceRange.start);
        opened_ = true;
        position_ = segment.targetStart;
      }
      std::optional<SampleBuffer> block = reader_->nextBlock();
      const MediaTime sourceEnd = segment.sourceRange.end();
      if (!block || block->presentationTime() >= sourceEnd) {
        nextSegment();
        continue;
      }
      std::shared_ptr<const AudioBlock> audio = block->audioBlock();
      const MediaTime start = block->presentationTime();
      const int64_t room =
          (sourceEnd - start).convertScale(kAudioFormat.sampleRate, MediaTime::Rounding::Floor).value();
      if (room < audio->frameCount) {
        // The edit ends inside this block: keep only its head.
        auto head = std::make_shared<AudioBlock>();
        head->format = audio->format;
        head->frameCount = static_cast<int>(std::max<int64_t>(room, 0));
        head->samples.assign(
            audio->samples.begin(),
            audio->samples.begin() + static_cast<ptrdiff_t>(head->frameCount) * audio->format.channels);
        audio = std::move(head);
      }
      const MediaTime target = segment.targetStart + (start - segment.sourceRange.start);
      position_ = target + MediaTime(audio->frameCount, kAudioFormat.sampleRate);
      if (audio->frameCount > 0) append(std::move(audio), target);
      if (room <= block->audioBlock()->frameCount) nextSegment();
    }
  }

 private:
  void nextSegment() {
    ++index_;
    opened_ = false;
    if (index_ < track_.segments().size()) position_ = track_.segments()[index_].targetStart;
  }
  void append(std::shared_ptr<const AudioBlock> block, const MediaTime& at) {
    while (!writer_.isReadyForAudio(0)) {
      if (cancelled_) throw Cancelled{};
      if (writer_.failed()) return;
      breathe();
    }
    writer_.appendAudio(0, std::move(block), at);
  }

  const CompositionTrack& track_;
  AssetWriter& writer_;
  const std::atomic<bool>& cancelled_;
  size_t index_ = 0;
  bool opened_ = false;
  MediaTime position_ = MediaTime::zero();
  std::unique_ptr<AudioSampleReader> reader_;
};

// Composed frames coming back from the compositors' threads, by frame index.
struct ComposedFrames {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<int64_t, std::pair<std::shared_ptr<PixelBuffer>, std::optional<PlatformError>>> done;
};

}  // namespace

AssetExportSession::AssetExportSession(std::shared_ptr<const MutableComposition> composition)
    : composition_(std::move(composition)) {}

AssetExportSession::~AssetExportSession() = default;

std::optional<PlatformError> AssetExportSession::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::optional<MediaTime> AssetExportSession::sourceEndedAt() const {
  std::lock_guard lock(mutex_);
  return endedEarlyAt_;
}

std::filesystem::path AssetExportSession::finalURL() const {
  std::lock_guard lock(mutex_);
  return finalURL_;
}

std::filesystem::path AssetExportSession::temporaryURL() const {
  std::lock_guard lock(mutex_);
  return temporaryURL_;
}

void AssetExportSession::cancelExport() {
  cancelled_ = true;
  Status waiting = Status::waiting;
  status_.compare_exchange_strong(waiting, Status::cancelled);
  Status unknown = Status::unknown;
  status_.compare_exchange_strong(unknown, Status::cancelled);
}

void AssetExportSession::fail(const std::string& description) {
  std::lock_guard lock(mutex_);
  if (!error_) error_ = PlatformError(kErrorDomain, -1, description);
}

void AssetExportSession::exportSynchronously() {
  if (started_.exchange(true)) return;
  run();
}

void AssetExportSession::exportAsynchronously(std::function<void()> completionHandler) {
  if (started_.exchange(true)) return;
  Status unknown = Status::unknown;
  status_.compare_exchange_strong(unknown, Status::waiting);
  auto self = shared_from_this();
  (void)QtConcurrent::run([self, completionHandler = std::move(completionHandler)] {
    self->run();
    if (completionHandler) completionHandler();
  });
}

QCoro::Task<void> AssetExportSession::exportAsync() {
  auto promise = std::make_shared<QPromise<void>>();
  QFuture<void> ended = promise->future();
  promise->start();
  exportAsynchronously([promise] { promise->finish(); });
  co_await ended;
}

void AssetExportSession::run() {
  if (cancelled_) {
    status_ = Status::cancelled;
    return;
  }
  status_ = Status::exporting;
  std::unique_ptr<AssetWriter> writer;
  std::vector<std::unique_ptr<VideoCompositing>> compositors;
  try {
    if (!composition_) throw PlatformError(kErrorDomain, -1, "The export has no composition");
    if (outputURL_.empty()) throw PlatformError(kErrorDomain, -1, "The export has no output file");
    const MediaTime duration = composition_->duration();
    if (duration <= MediaTime::zero()) throw PlatformError(kErrorDomain, -1, "The composition is empty");
    std::error_code ec;
    if (std::filesystem::exists(outputURL_, ec))
      throw PlatformError(kErrorDomain, -1,
                          "A file named " + outputURL_.filename().string() + " exists already");

    const auto videoTracks = composition_->tracks(MediaKind::video);
    const auto audioTracks = composition_->tracks(MediaKind::audio);
    const VideoComposition* vc = videoComposition_.get();
    const MediaTime frameDuration = vc && vc->frameDuration.isValid() && vc->frameDuration > MediaTime::zero()
                                        ? vc->frameDuration
                                        : MediaTime(1, 60);
    QSize size = vc ? vc->renderSize : (videoTracks.empty() ? QSize() : videoTracks.front()->naturalSize());
    const bool hasVideo = !videoTracks.empty() && size.width() >= 2 && size.height() >= 2;
    if (!videoTracks.empty() && !hasVideo) throw PlatformError(kErrorDomain, -1, "The picture has no size");
    size = QSize(evenFloor(size.width()), evenFloor(size.height()));

    // Reserve a hidden name beside the destination; the writer creates it exclusively.
    std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; !writer; ++attempt) {
      char tag[17];
      std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
      auto candidate = outputURL_.parent_path() / LeftoverFiles::partialExportName(outputURL_, tag);
      try {
        writer = std::make_unique<AssetWriter>(candidate, outputFileType_);
      } catch (const FfmpegError&) {
        if (attempt >= 8 || !std::filesystem::exists(candidate)) throw;
      }
    }
    {
      std::lock_guard lock(mutex_);
      temporaryURL_ = writer->path();
    }
    writer->setOptimizeForNetworkUse(optimizeForNetworkUse_);
    const int frameRate = static_cast<int>(std::lround(1.0 / frameDuration.seconds()));
    if (hasVideo) {
      VideoInputSettings video;
      video.width = size.width();
      video.height = size.height();
      video.frameRate = std::max(frameRate, 1);
      video.codec = VideoCodecKind::h264;
      video.preset = kVideoPreset;
      video.constantRateFactor = kVideoConstantRateFactor;
      video.tune = kVideoTune;
      video.queuedFrames = writerQueuedFrames(size);
      writer->addVideoInput(video);
    }
    if (!audioTracks.empty()) writer->addAudioInput({kAudioFormat.sampleRate, kAudioFormat.channels, 128000});
    writer->start();

    std::optional<AudioTrackPump> audio;
    if (!audioTracks.empty()) audio.emplace(*audioTracks.front(), *writer, cancelled_);
    std::vector<std::unique_ptr<VideoTrackCursor>> cursors;
    for (const auto* track : videoTracks)
      cursors.push_back(std::make_unique<VideoTrackCursor>(*track, decoderThreads(size)));
    const auto cursorFor = [&](int32_t id) -> VideoTrackCursor* {
      for (size_t i = 0; i < videoTracks.size(); ++i)
        if (videoTracks[i]->trackID() == id) return cursors[i].get();
      return nullptr;
    };

    const auto appendFrame = [&](std::shared_ptr<PixelBuffer> frame, const MediaTime& at) {
      while (!writer->isReadyForVideo()) {
        if (cancelled_) throw Cancelled{};
        if (writer->failed())
          throw PlatformError(kErrorDomain, -1, "Writing the movie: " + writer->failure());
        breathe();
      }
      writer->appendVideo(std::move(frame), at);
    };

    // Frames whose start lies before the end: ceil(duration / frameDuration), less a thousandth of a
    // frame of slack, since times read from files come rounded to their own clocks (a picture 4/60 s
    // long reads as 66667 µs, which must not make a fifth frame).
    const int64_t total =
        hasVideo
            ? std::max<int64_t>(
                  0, static_cast<int64_t>(std::ceil(duration.seconds() / frameDuration.seconds() - 1e-3)))
            : 0;
    int64_t written = 0;
    const auto noteWritten = [&] {
      ++written;
      progress_ = static_cast<float>(written) / static_cast<float>(std::max<int64_t>(total, 1));
    };

    // Compositor path state.
    std::shared_ptr<VideoCompositionRenderContext> context;
    auto composed = std::make_shared<ComposedFrames>();
    size_t inFlight = 0;
    const CompositorLanes shape =
        hasVideo && vc && vc->customVideoCompositor ? compositorLanes(size) : CompositorLanes{};
    const size_t lanes = shape.lanes;
    const size_t maxInFlight = lanes * shape.framesEach + shape.spare;
    const auto collect = [&](bool all) {
      std::unique_lock lock(composed->mutex);
      while (inFlight > 0) {
        auto next = composed->done.find(written);
        if (next == composed->done.end()) {
          if (!all && inFlight < maxInFlight) return;
          composed->changed.wait_for(lock, std::chrono::milliseconds(20));
          if (cancelled_) throw Cancelled{};
          if (writer->failed())
            throw PlatformError(kErrorDomain, -1, "Writing the movie: " + writer->failure());
          continue;
        }
        auto [frame, error] = std::move(next->second);
        composed->done.erase(next);
        --inFlight;
        lock.unlock();
        if (error) throw *error;
        appendFrame(std::move(frame), frameDuration.multiplied(written));
        noteWritten();
        lock.lock();
      }
    };
    if (hasVideo && vc && vc->customVideoCompositor) {
      // Composed frames are held by the compositors, by this thread, by the writer's queue (one frame
      // unconverted) and by its converter; the context must outlast all of them or a frame finds no
      // buffer.
      context = std::make_shared<VideoCompositionRenderContext>(size, frameDuration, maxInFlight + 3);
      for (size_t lane = 0; lane < lanes; ++lane) {
        compositors.push_back(vc->customVideoCompositor());
        if (!compositors.back())
          throw PlatformError(kErrorDomain, -1, "The custom compositor could not be made");
        compositors.back()->renderContextChanged(context);
      }
    }
    StandardLayerRenderer layerRenderer;
    std::unique_ptr<PixelBufferPool> canvasPool;
    if (hasVideo && vc && compositors.empty())
      canvasPool = std::make_unique<PixelBufferPool>(size.width(), size.height(), 8);

    const auto instructionAt = [&](const MediaTime& t) -> std::shared_ptr<const VideoCompositionInstruction> {
      for (const auto& instruction : vc->instructions)
        if (instruction && instruction->timeRange.containsTime(t)) return instruction;
      return nullptr;
    };

    // The movie's end: the composition's, or where the first video track's picture ran out.
    MediaTime end = duration;
    for (int64_t i = 0; i < total; ++i) {
      if (cancelled_) throw Cancelled{};
      if (const auto* early = cursors.empty() ? nullptr : &cursors.front()->endedEarly();
          early && *early && frameDuration.multiplied(i) >= **early) {
        end = frameDuration.multiplied(i);
        break;
      }
      if (writer->failed()) throw PlatformError(kErrorDomain, -1, "Writing the movie: " + writer->failure());
      const MediaTime t = frameDuration.multiplied(i);
      if (audio) audio->pumpUntil(t + MediaTime(1, 2));

      if (!vc) {
        auto frame = cursors.front()->frameAt(t);
        if (!frame) {
          // A gap in the track shows black.
          frame = PixelBuffer::create(size.width(), size.height());
          frame->fill(0xFF000000);
        }
        appendFrame(std::move(frame), t);
        noteWritten();
        continue;
      }
      auto instruction = instructionAt(t);
      if (!compositors.empty() && instruction) {
        std::vector<VideoCompositionRequest::SourceFrame> sources;
        if (instruction->requiredSourceTrackIDs) {
          for (int32_t id : *instruction->requiredSourceTrackIDs) {
            VideoTrackCursor* cursor = cursorFor(id);
            if (!cursor) continue;
            sources.push_back({id, composition_->track(id)->timeRange(), cursor->frameAt(t)});
          }
        }
        {
          std::lock_guard lock(composed->mutex);
          ++inFlight;
        }
        compositors[static_cast<size_t>(i) % lanes]->startVideoCompositionRequest(
            std::make_shared<VideoCompositionRequest>(
                t, instruction, context, std::move(sources),
                [composed, i](std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error) {
                  std::lock_guard lock(composed->mutex);
                  composed->done.emplace(i, std::make_pair(std::move(frame), std::move(error)));
                  composed->changed.notify_all();
                }));
        collect(false);
        continue;
      }
      collect(true);
      // Plain path (or a time no instruction covers): layers over black, bottom one first.
      auto canvas = canvasPool ? canvasPool->acquire() : nullptr;
      if (!canvas) {
        canvasPool = std::make_unique<PixelBufferPool>(size.width(), size.height(), 8);
        canvas = canvasPool->acquire();
      }
      canvas->fill(0xFF000000);
      if (instruction) {
        const auto& layers = instruction->layerInstructions;
        for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
          VideoTrackCursor* cursor = cursorFor(layer->trackID());
          auto frame = cursor ? cursor->frameAt(t) : nullptr;
          if (frame) layerRenderer.draw(*canvas, *frame, layer->transformAt(t));
        }
      }
      appendFrame(std::move(canvas), t);
      noteWritten();
    }
    collect(true);
    if (audio) audio->pumpUntil(end + MediaTime(1, 1));
    compositors.clear();
    if (cancelled_) throw Cancelled{};
    writer->finish(end);
    if (end < duration) {
      std::lock_guard lock(mutex_);
      endedEarlyAt_ = end;
    }
    if (writer->failed()) throw PlatformError(kErrorDomain, -1, "Writing the movie: " + writer->failure());
    const std::filesystem::path written_path = writer->path();
    writer.reset();
    // A name taken meanwhile (another program, another export) is left alone: the finished movie
    // takes the next free one, "<name> 2", "<name> 3", ...
    int renameError = 0;
    std::filesystem::path finalURL = outputURL_;
    for (int n = 2; !renameNoReplace(written_path, finalURL, renameError); ++n) {
      if (renameError != EEXIST || n > 1000) {
        std::filesystem::remove(written_path, ec);
        throw PlatformError(kErrorDomain, -1,
                            "Moving the movie into place: " + std::string(std::strerror(renameError)));
      }
      finalURL = outputURL_.parent_path() /
                 (outputURL_.stem().string() + " " + std::to_string(n) + outputURL_.extension().string());
    }
    {
      std::lock_guard lock(mutex_);
      finalURL_ = finalURL;
    }
    progress_ = 1;
    status_ = Status::completed;
    return;
  } catch (const Cancelled&) {
  } catch (const PlatformError& e) {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = e;
  } catch (const Error& e) {
    fail(e.localizedDescription());
  } catch (const std::exception& e) {
    fail(e.what());
  }
  // The compositors go first: their queued requests finish (as failed) into `composed`, not into a
  // writer that is gone.
  compositors.clear();
  if (writer) writer->cancel();
  std::error_code ignored;
  if (const auto partial = temporaryURL(); !partial.empty()) std::filesystem::remove(partial, ignored);
  status_ = cancelled_ ? Status::cancelled : Status::failed;
}

}  // namespace tk
