#include "platform/ffmpeg/AssetExportSession.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <pthread.h>
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
#include "platform/ffmpeg/VideoPartEncoder.h"

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

// The encoder of each part when the video is exported in parts (see videoPartsFor). x264 holds most
// of an export's memory: at 1080p each frame thread about 22 MB, each frame of lookahead about 7 MB.
// A three-frame lookahead (as long as the B-frame run) keeps the movie's quality (the bench's comes
// out a little smaller at the same SSIM) and, with one converted frame fewer waiting before each
// encoder, leaves room for four frames queued between each lookahead and its frame threads: frame
// types are then decided while the frame threads encode, not between their frames (two frames made
// it about a tenth faster, four some 2% more). Two pipelines peak at about 575 MB at 1080p; a
// fourth frame thread each would take them past 600 and is no faster.
constexpr int kPartEncoderThreads = 3;
constexpr int kPartLookahead = 3;
constexpr int kPartSyncLookahead = 4;
constexpr int kPartQueuedFrames = 3;

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
// cannot keep up with a multithreaded encoder at 1080p60. Half the cores given, at most four, as many
// as the canvas budget holds.
// With the movie in parts, each part's compositors get their share of the cores and of the budget.
CompositorLanes compositorLanes(QSize size, int cores, int parts) {
  const double canvasBytes = 4.0 * std::max(size.width(), 1) * std::max(size.height(), 1);
  const int canvases = static_cast<int>(kCanvasBudget / std::max(parts, 1) / canvasBytes);
  CompositorLanes lanes;
  lanes.lanes =
      static_cast<size_t>(std::clamp(std::min((cores + 1) / 2, canvases / kCanvasesPerCompositor), 1, 4));
  lanes.framesEach = canvases >= 4 * kCanvasesPerCompositor ? 2 : 1;
  lanes.spare = canvases >= 2 * kCanvasesPerCompositor ? 1 : 0;
  return lanes;
}

struct Cancelled {};

// How far below the encoders an export's own threads run. x264's frame threads set an export's
// pace, and the stages before them (reading, decoding, composing) have frames queued to spare: with
// every core busy, a frame thread that waits for a core holds up the frames behind it, while a
// compositor that waits costs nothing until the encoder's queue runs dry (about 5% faster on 8
// cores).
constexpr int kRenderNiceness = 5;

// Lowers the calling thread's priority; the threads it starts from then on (the compositors' and
// the decoders') inherit it. The encoders' and the writers' threads, started before, keep the
// priority of the thread that started the export. Only for a thread made for the export: an
// unprivileged thread cannot raise its priority back.
void yieldToTheEncoders() {
  const auto self = static_cast<id_t>(::gettid());
  errno = 0;
  const int now = ::getpriority(PRIO_PROCESS, self);
  if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(now + kRenderNiceness, 19));
}

// Waits a little for a consumer that has no blocking wait of its own (the writer's queues).
void breathe() {
  std::this_thread::sleep_for(std::chrono::microseconds(300));
}

int evenFloor(int v) {
  return v - (v & 1);
}

// The frames of one composition video track, in composition time order.
class VideoTrackCursor {
 public:
  VideoTrackCursor(const CompositionTrack& track, int decoderThreads, double scale)
      : track_(track), decoderThreads_(decoderThreads), scale_(scale) {}

  // The source frame shown at composition time t; null in a gap.
  std::shared_ptr<PixelBuffer> frameAt(const MediaTime& t) {
    const CompositionTrackSegment* segment = track_.segmentAt(t);
    if (!segment) return nullptr;
    const MediaTime s = segment->sourceTime(t);
    if (segment != segment_) {
      if (!reader_ || !segment_ || segment_->sourceFile != segment->sourceFile ||
          segment_->sourceTrackID != segment->sourceTrackID)
        reader_ = openReader(*segment);
      segment_ = segment;
      reader_->seek(s);
      next_ = reader_->advance();
      current_.reset();
      stepped_ = false;
    }
    while (next_ && *next_ <= s) {
      // Only a frame decoded just before this one tells a frame's length: after a jump (a part that
      // starts late, a new segment) there is none yet.
      if (stepped_)
        previousTime_ = currentTime_;
      else
        previousTime_.reset();
      stepped_ = true;
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
  std::unique_ptr<VideoFrameReader> openReader(const CompositionTrackSegment& segment) const {
    auto reader =
        std::make_unique<VideoFrameReader>(segment.sourceFile, segment.sourceTrackID, decoderThreads_);
    if (scale_ < 1) {
      const QSize size =
          VideoComposition::scaledSourceSize(QSize(reader->naturalWidth(), reader->naturalHeight()), scale_);
      reader->setOutputSize(size.width(), size.height());
    }
    return reader;
  }

  static inline const MediaTime kShortfall{1, 2};
  MediaTime currentTime_ = MediaTime::zero();
  std::optional<MediaTime> previousTime_;
  bool stepped_ = false;  // currentTime_ is a frame of the reader's present run
  std::optional<MediaTime> endedEarly_;
  const CompositionTrack& track_;
  const int decoderThreads_;
  const double scale_;
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

// Where one part's frames go: the movie's own writer (the first part) or an encoder of its own.
struct PartOutput {
  AssetWriter* writer = nullptr;
  VideoPartEncoder* part = nullptr;

  bool ready() const { return writer ? writer->isReadyForVideo() : part->isReadyForVideo(); }
  void append(std::shared_ptr<PixelBuffer> frame, const MediaTime& at) const {
    if (writer)
      writer->appendVideo(std::move(frame), at);
    else
      part->appendVideo(std::move(frame), at);
  }
  void checkFailure() const {
    if (writer ? writer->failed() : part->failed())
      throw PlatformError(AssetExportSession::kErrorDomain, -1,
                          "Writing the movie: " + (writer ? writer->failure() : part->failure()));
  }
};

// The frames of one stretch of the movie, [first, end), with its own source readers and
// compositors, handed in order to one output. The stretches of a movie render side by side.
class PartRenderer {
 public:
  struct Shape {
    QSize size;
    MediaTime frameDuration;
    CompositorLanes lanes;
    int decoderThreads = 1;
    bool readAhead = false;  // read a frame's sources before waiting for room for it
  };

  PartRenderer(const MutableComposition& composition, const VideoComposition* vc, const Shape& shape,
               PartOutput output, std::function<bool()> stopped, std::function<void()> noteWritten)
      : composition_(composition),
        vc_(vc),
        shape_(shape),
        output_(output),
        stopped_(std::move(stopped)),
        noteWritten_(std::move(noteWritten)),
        videoTracks_(composition.tracks(MediaKind::video)) {
    for (const auto* track : videoTracks_)
      cursors_.push_back(
          std::make_unique<VideoTrackCursor>(*track, shape.decoderThreads, vc ? vc->sourceScale : 1.0));
  }
  ~PartRenderer() {
    // The compositors go first: their queued requests finish (as failed) into `composed_`, not into
    // an output that is gone.
    compositors_.clear();
  }

  // Renders the frames, pumping `audio` ahead of them when given. Returns where the first video
  // track's picture ran out when its file holds less than it claims (no frame from there on is
  // rendered). Throws Cancelled once stopped, PlatformError on a failure.
  std::optional<MediaTime> render(int64_t first, int64_t end, AudioTrackPump* audio) {
    const QSize size = shape_.size;
    const MediaTime frameDuration = shape_.frameDuration;
    const bool composing = vc_ && vc_->customVideoCompositor;
    const size_t lanes = composing ? shape_.lanes.lanes : 1;
    const size_t maxInFlight = lanes * shape_.lanes.framesEach + shape_.lanes.spare;
    if (composing) {
      // Composed frames are held by the compositors, by this thread, by the output's queue (one
      // frame unconverted) and by its converter; the context must outlast all of them or a frame
      // finds no buffer.
      context_ = std::make_shared<VideoCompositionRenderContext>(size, frameDuration, maxInFlight + 3);
      for (size_t lane = 0; lane < lanes; ++lane) {
        compositors_.push_back(vc_->customVideoCompositor());
        if (!compositors_.back())
          throw PlatformError(AssetExportSession::kErrorDomain, -1,
                              "The custom compositor could not be made");
        compositors_.back()->renderContextChanged(context_);
      }
    }
    int64_t next = first;  // the next frame to hand the output
    size_t inFlight = 0;
    const auto appendFrame = [&](std::shared_ptr<PixelBuffer> frame, const MediaTime& at) {
      while (!output_.ready()) {
        if (stopped_()) throw Cancelled{};
        output_.checkFailure();
        breathe();
      }
      output_.append(std::move(frame), at);
      ++next;
      noteWritten_();
    };
    const auto collect = [&](bool all) {
      std::unique_lock lock(composed_->mutex);
      while (inFlight > 0) {
        auto done = composed_->done.find(next);
        if (done == composed_->done.end()) {
          if (!all && inFlight < maxInFlight) return;
          composed_->changed.wait_for(lock, std::chrono::milliseconds(20));
          if (stopped_()) throw Cancelled{};
          output_.checkFailure();
          continue;
        }
        auto [frame, error] = std::move(done->second);
        composed_->done.erase(done);
        --inFlight;
        lock.unlock();
        if (error) throw *error;
        appendFrame(std::move(frame), frameDuration.multiplied(next));
        lock.lock();
      }
    };
    const auto instructionAt = [&](const MediaTime& t) -> std::shared_ptr<const VideoCompositionInstruction> {
      for (const auto& instruction : vc_->instructions)
        if (instruction && instruction->timeRange.containsTime(t)) return instruction;
      return nullptr;
    };

    std::optional<MediaTime> endedAt;
    for (int64_t i = first; i < end; ++i) {
      if (stopped_()) throw Cancelled{};
      if (const auto& early = cursors_.front()->endedEarly();
          early && frameDuration.multiplied(i) >= *early) {
        endedAt = frameDuration.multiplied(i);
        break;
      }
      output_.checkFailure();
      const MediaTime t = frameDuration.multiplied(i);
      if (audio) audio->pumpUntil(t + MediaTime(1, 2));

      if (!vc_) {
        auto frame = cursors_.front()->frameAt(t);
        if (!frame) {
          // A gap in the track shows black.
          frame = PixelBuffer::create(size.width(), size.height());
          frame->fill(0xFF000000);
        }
        appendFrame(std::move(frame), t);
        continue;
      }
      auto instruction = instructionAt(t);
      if (!compositors_.empty() && instruction) {
        std::vector<VideoCompositionRequest::SourceFrame> sources;
        if (instruction->requiredSourceTrackIDs) {
          for (int32_t id : *instruction->requiredSourceTrackIDs) {
            VideoTrackCursor* cursor = cursorFor(id);
            if (!cursor) continue;
            sources.push_back({id, composition_.track(id)->timeRange(), cursor->frameAt(t)});
          }
        }
        // A part waits for room among the frames in flight only now, so that reading this frame's
        // sources overlapped the composing of the last. A movie made whole has compositors enough to
        // overlap them anyway, and at 8K no room for another source frame.
        if (shape_.readAhead) collect(false);
        {
          std::lock_guard lock(composed_->mutex);
          ++inFlight;
        }
        compositors_[static_cast<size_t>(i) % lanes]->startVideoCompositionRequest(
            std::make_shared<VideoCompositionRequest>(
                t, instruction, context_, std::move(sources),
                [composed = composed_, i](std::shared_ptr<PixelBuffer> frame,
                                          std::optional<PlatformError> error) {
                  std::lock_guard lock(composed->mutex);
                  composed->done.emplace(i, std::make_pair(std::move(frame), std::move(error)));
                  composed->changed.notify_all();
                }));
        if (!shape_.readAhead) collect(false);
        continue;
      }
      collect(true);
      // Plain path (or a time no instruction covers): layers over black, bottom one first.
      auto canvas = canvasPool_ ? canvasPool_->acquire() : nullptr;
      if (!canvas) {
        canvasPool_ = std::make_unique<PixelBufferPool>(size.width(), size.height(), 8);
        canvas = canvasPool_->acquire();
      }
      canvas->fill(0xFF000000);
      if (instruction) {
        const auto& layers = instruction->layerInstructions;
        for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
          VideoTrackCursor* cursor = cursorFor(layer->trackID());
          auto frame = cursor ? cursor->frameAt(t) : nullptr;
          if (frame) layerRenderer_.draw(*canvas, *frame, layer->transformAt(t));
        }
      }
      appendFrame(std::move(canvas), t);
    }
    collect(true);
    compositors_.clear();
    return endedAt;
  }

 private:
  VideoTrackCursor* cursorFor(int32_t id) {
    for (size_t i = 0; i < videoTracks_.size(); ++i)
      if (videoTracks_[i]->trackID() == id) return cursors_[i].get();
    return nullptr;
  }

  const MutableComposition& composition_;
  const VideoComposition* vc_;
  const Shape shape_;
  const PartOutput output_;
  const std::function<bool()> stopped_;
  const std::function<void()> noteWritten_;
  const std::vector<const CompositionTrack*> videoTracks_;
  std::vector<std::unique_ptr<VideoTrackCursor>> cursors_;
  std::shared_ptr<VideoCompositionRenderContext> context_;
  std::shared_ptr<ComposedFrames> composed_ = std::make_shared<ComposedFrames>();
  std::vector<std::unique_ptr<VideoCompositing>> compositors_;
  StandardLayerRenderer layerRenderer_;
  std::unique_ptr<PixelBufferPool> canvasPool_;
};

// Joins the threads of the parts rendering beside the calling one on every way out, after telling
// them to stop when the way out is an early one.
class PartThreads {
 public:
  explicit PartThreads(std::atomic<bool>& stop) : stop_(stop) {}
  ~PartThreads() {
    stop_ = true;
    join();
  }
  void add(std::function<void()> work) { threads_.emplace_back(std::move(work)); }
  void join() {
    for (auto& thread : threads_)
      if (thread.joinable()) thread.join();
  }

 private:
  std::atomic<bool>& stop_;
  std::vector<std::thread> threads_;
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

int AssetExportSession::videoParts() const {
  std::lock_guard lock(mutex_);
  return videoParts_;
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

int AssetExportSession::videoPartsFor(QSize size, int64_t frames, int frameRate, int cores) {
  // Above 1440p memory, not cores, bounds the export: every part would hold its own pictures.
  if (aboveQhd(size) || frameRate < 1) return 1;
  const int64_t byLength = frames / (int64_t{kMinPartSeconds} * frameRate);
  return static_cast<int>(
      std::clamp<int64_t>(std::min<int64_t>(cores / kCoresPerPart, byLength), 1, kMaxParts));
}

void AssetExportSession::run() {
  if (cancelled_) {
    status_ = Status::cancelled;
    return;
  }
  status_ = Status::exporting;
  std::unique_ptr<AssetWriter> writer;
  std::vector<std::unique_ptr<VideoPartEncoder>> parts;
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
    const int frameRate = std::max(static_cast<int>(std::lround(1.0 / frameDuration.seconds())), 1);

    // Frames whose start lies before the end: ceil(duration / frameDuration), less a thousandth of a
    // frame of slack, since times read from files come rounded to their own clocks (a picture 4/60 s
    // long reads as 66667 µs, which must not make a fifth frame).
    const int64_t total =
        hasVideo
            ? std::max<int64_t>(
                  0, static_cast<int64_t>(std::ceil(duration.seconds() / frameDuration.seconds() - 1e-3)))
            : 0;
    const int cores = availableCores();
    int partCount = hasVideo ? videoPartsFor(size, total, frameRate, cores) : 1;

    // Hidden names beside the destination, each created exclusively by its maker.
    std::mt19937_64 random(std::random_device{}());
    const auto reserve = [&](const std::filesystem::path& like, auto make) {
      for (int attempt = 0;; ++attempt) {
        char tag[17];
        std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(random()));
        auto candidate = outputURL_.parent_path() / LeftoverFiles::partialExportName(like, tag);
        try {
          return make(candidate);
        } catch (const FfmpegError&) {
          if (attempt >= 8 || !std::filesystem::exists(candidate)) throw;
        }
      }
    };
    const auto openWriter = [&] {
      writer = reserve(outputURL_, [&](const std::filesystem::path& path) {
        // Listed before it exists, for the sweep after a kill; not ours when it could not be made.
        LeftoverFiles::claim(path);
        try {
          return std::make_unique<AssetWriter>(path, outputFileType_);
        } catch (...) {
          LeftoverFiles::release(path);
          throw;
        }
      });
      {
        std::lock_guard lock(mutex_);
        temporaryURL_ = writer->path();
      }
      writer->setOptimizeForNetworkUse(optimizeForNetworkUse_);
      if (hasVideo) {
        VideoInputSettings video;
        video.width = size.width();
        video.height = size.height();
        video.frameRate = frameRate;
        video.codec = VideoCodecKind::h264;
        video.preset = kVideoPreset;
        video.constantRateFactor = kVideoConstantRateFactor;
        video.tune = kVideoTune;
        video.bFrameAdaptation = kVideoBFrameAdaptation;
        video.queuedFrames = writerQueuedFrames(size);
        video.cores = std::max(cores / partCount, 1);
        if (partCount > 1) {
          // Two encoders in little more memory than one: fewer frame threads each, a shorter
          // lookahead, and few frames queued between it and the frame threads (the same bitstream).
          video.cores = std::min(video.cores, kPartEncoderThreads);
          video.lookahead = kPartLookahead;
          video.queuedFrames = std::min(video.queuedFrames, kPartQueuedFrames);
          // Frame types are decided on one thread of their own. With B-frames chosen frame by frame
          // that work set each part's pace on one thread and was split; in a fixed run it keeps
          // ahead on one, and the split only added work (about 2% slower).
          video.lookaheadThreads = 1;
          video.syncLookahead = kPartSyncLookahead;
          video.encoderMemory = kX264FrameBudget;
        }
        writer->addVideoInput(video);
      }
      if (!audioTracks.empty())
        writer->addAudioInput({kAudioFormat.sampleRate, kAudioFormat.channels, 128000});
      // The later parts' packets wait in hidden files beside the movie's until it is finished.
      for (int p = 1; p < partCount; ++p) {
        std::filesystem::path like = outputURL_;
        like.replace_extension("part" + std::to_string(p));
        auto part =
            reserve(like, [&](const std::filesystem::path& path) { return writer->makeVideoPart(path); });
        if (!part) {
          // An encoder that would not start its stream as the first did: one pipeline writes it all.
          parts.clear();
          writer->discard();
          LeftoverFiles::release(writer->path());
          writer.reset();
          return false;
        }
        parts.push_back(std::move(part));
      }
      return true;
    };
    if (!openWriter()) {
      partCount = 1;
      openWriter();
    }
    writer->start();
    for (auto& part : parts) part->start();
    {
      std::lock_guard lock(mutex_);
      videoParts_ = partCount;
    }

    // Each part starts at a keyframe interval's multiple, so the keyframes fall where one encoder
    // would have put them.
    std::vector<int64_t> starts;
    for (int p = 0; p <= partCount; ++p) {
      const int64_t at = total * p / partCount;
      starts.push_back(p == 0 || p == partCount ? at : at / frameRate * frameRate);
    }

    std::atomic<int64_t> written{0};
    const auto noteWritten = [&] {
      const float now =
          static_cast<float>(written.fetch_add(1) + 1) / static_cast<float>(std::max<int64_t>(total, 1));
      // The parts count side by side: progress only ever grows.
      float before = progress_.load();
      while (now > before && !progress_.compare_exchange_weak(before, now)) {
      }
    };
    std::atomic<bool> stopParts{false};
    const auto stopped = [&] { return cancelled_.load() || stopParts.load(); };
    PartRenderer::Shape shape{size, frameDuration,
                              hasVideo && vc && vc->customVideoCompositor
                                  ? compositorLanes(size, std::max(cores / partCount, 1), partCount)
                                  : CompositorLanes{},
                              partCount > 1 ? 1 : decoderThreads(size), partCount > 1};
    std::vector<std::optional<MediaTime>> endedAt(static_cast<size_t>(partCount));
    std::vector<std::optional<PlatformError>> partErrors(static_cast<size_t>(partCount));
    std::vector<char> completed(static_cast<size_t>(partCount), 0);  // one writer each: no vector<bool>
    std::optional<AudioTrackPump> audio;
    if (!audioTracks.empty()) audio.emplace(*audioTracks.front(), *writer, cancelled_);
    {
      // Every part renders on a thread of its own, below the encoders (see yieldToTheEncoders); this
      // one waits for them.
      PartThreads threads(stopParts);
      for (int p = 0; p < partCount; ++p) {
        threads.add([&, p] {
          pthread_setname_np(pthread_self(), "tk-export-part");
          yieldToTheEncoders();
          const auto at = static_cast<size_t>(p);
          VideoPartEncoder* part = p > 0 ? parts[at - 1].get() : nullptr;
          try {
            if (hasVideo) {
              PartRenderer renderer(*composition_, vc, shape,
                                    part ? PartOutput{nullptr, part} : PartOutput{writer.get(), nullptr},
                                    stopped, noteWritten);
              endedAt[at] = renderer.render(starts[at], starts[at + 1], p == 0 && audio ? &*audio : nullptr);
            }
            if (part) {
              part->finish();
              if (part->failed())
                throw PlatformError(kErrorDomain, -1, "Writing the movie: " + part->failure());
            }
            completed[at] = 1;
            return;
          } catch (const Cancelled&) {
            // Cancelled, or stopped by another part's failure: that one's error is reported below.
          } catch (const PlatformError& e) {
            partErrors[at] = e;
          } catch (const Error& e) {
            partErrors[at] = PlatformError(kErrorDomain, -1, e.localizedDescription());
          } catch (const std::exception& e) {
            partErrors[at] = PlatformError(kErrorDomain, -1, e.what());
          }
          if (part) part->cancel();
          stopParts = true;
        });
      }
      threads.join();
    }
    if (cancelled_) throw Cancelled{};

    // The movie's end: the composition's, or where the first video track's picture ran out. The
    // parts after the one that met that end hold nothing of the movie, and whatever befell them
    // does not matter.
    MediaTime end = duration;
    std::vector<VideoPartEncoder*> joined;
    for (size_t p = 0; p < completed.size(); ++p) {
      if (!completed[p]) {
        for (auto& error : partErrors)
          if (error) throw *error;
        throw PlatformError(kErrorDomain, -1, "A part of the movie stopped unfinished");
      }
      if (p > 0) joined.push_back(parts[p - 1].get());
      if (endedAt[p]) {
        end = *endedAt[p];
        break;
      }
    }
    if (audio) audio->pumpUntil(end + MediaTime(1, 1));
    if (cancelled_) throw Cancelled{};
    writer->finish(end, joined);
    parts.clear();
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
    for (int n = 2; !LeftoverFiles::renameNoReplace(written_path, finalURL, renameError); ++n) {
      if (renameError != EEXIST || n > 1000) {
        LeftoverFiles::removeOwn(written_path);
        throw PlatformError(kErrorDomain, -1,
                            "Moving the movie into place: " + std::string(std::strerror(renameError)));
      }
      finalURL = outputURL_.parent_path() /
                 (outputURL_.stem().string() + " " + std::to_string(n) + outputURL_.extension().string());
    }
    LeftoverFiles::release(written_path);
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
  parts.clear();
  if (writer) writer->cancel();
  if (const auto partial = temporaryURL(); !partial.empty()) LeftoverFiles::removeOwn(partial);
  status_ = cancelled_ ? Status::cancelled : Status::failed;
}

}  // namespace tk
