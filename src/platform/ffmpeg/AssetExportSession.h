#pragma once

#include <QCoroTask>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/composition/MutableComposition.h"
#include "platform/composition/VideoComposition.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/Error.h"

namespace tk {

// Renders a composition into a new H.264 + AAC movie: decodes the edited ranges of every source
// track, composes each output frame (through the video composition's custom compositor on its own
// render threads, through the instructions' layer transforms, or, without a video composition, as the
// first video track's frames), and encodes them with AssetWriter. On a machine with cores to spare
// the video is exported in parts side by side (videoPartsFor), each starting with a keyframe, whose
// packets AssetWriter joins into the one track; the sound is encoded once. Progress is frames
// written over frames in total.
//
// The movie is written to a reserved hidden file in the destination folder (LeftoverFiles names it)
// and renamed into place only when complete; a failed or cancelled export removes it. An existing
// file is never touched: one under the output name at the start fails the export; one that took the
// name while the export ran sends the movie to the next free name (finalURL()).
//
// Threads: configure, then start it once, from one thread. The export runs on a worker thread (and
// one more per further part) while the compositors render on their own and the encoders encode on
// their own, so composing the next frame overlaps the encoding of the last. status(), progress(), error() and
// cancelExport() may be called from any thread at any time.
class AssetExportSession : public std::enable_shared_from_this<AssetExportSession> {
 public:
  enum class Status { unknown, waiting, exporting, completed, failed, cancelled };
  static constexpr const char* kErrorDomain = "AssetExportSession";
  // The x264 settings of every export; the benchmark re-encodes with the same. Fast enough to run
  // ahead of real time on two cores, at a rate factor that keeps small text sharp.
  static constexpr const char* kVideoPreset = "veryfast";
  static constexpr int kVideoConstantRateFactor = 18;
  static constexpr const char* kVideoTune = "";
  // B-frames in the preset's fixed run rather than chosen frame by frame. Choosing, even the fast
  // way, took the lookahead a seventh of an export's CPU and set its pace; in the fixed run a
  // screen recording's movie comes out about a fifth smaller at the same fidelity to the
  // compositor's frames.
  static constexpr int kVideoBFrameAdaptation = 0;
  // One x264 uses about three cores at 1080p however many it is given, so on a machine with more the
  // movie is cut at keyframes into parts that render and encode side by side, each on its own
  // sources, compositors and encoder, and joined into the one video track. A part is worth its
  // start-up only when it lasts a while; on two cores one pipeline is best.
  static constexpr int kCoresPerPart = 4;
  static constexpr int kMinPartSeconds = 2;
  static constexpr int kMaxParts = 2;
  // How many parts a movie of `frames` frames at this size and rate is exported in on `cores` cores.
  static int videoPartsFor(QSize size, int64_t frames, int frameRate, int cores);

  explicit AssetExportSession(std::shared_ptr<const MutableComposition> composition);
  ~AssetExportSession();
  AssetExportSession(const AssetExportSession&) = delete;
  AssetExportSession& operator=(const AssetExportSession&) = delete;

  void setOutputURL(std::filesystem::path url) { outputURL_ = std::move(url); }
  const std::filesystem::path& outputURL() const { return outputURL_; }
  void setOutputFileType(ContainerFormat type) { outputFileType_ = type; }
  void setVideoComposition(std::shared_ptr<const VideoComposition> composition) {
    videoComposition_ = std::move(composition);
  }
  void setShouldOptimizeForNetworkUse(bool value) { optimizeForNetworkUse_ = value; }

  // Runs the export on the calling thread and returns when it has ended (any status).
  void exportSynchronously();
  // Runs the export on a pool thread and calls `completionHandler` there when it has ended. The
  // session must be held by a std::shared_ptr; the run keeps it alive until then.
  void exportAsynchronously(std::function<void()> completionHandler);
  // The same, for a coroutine: resumes on the awaiting (main) thread once the export has ended.
  QCoro::Task<void> exportAsync();

  // Stops the export soon; its partial output is removed and the status ends as cancelled.
  void cancelExport();

  Status status() const { return status_.load(); }
  // 0 to 1: frames written over frames in total.
  float progress() const { return progress_.load(); }
  std::optional<PlatformError> error() const;
  // Where the export writes until it renames its file into place (empty before it starts).
  std::filesystem::path temporaryURL() const;
  // Where the finished movie lies: the output URL, or the next free name after it when that name was
  // taken while the export ran (empty until completed).
  std::filesystem::path finalURL() const;
  // Set when the first video track's file held less picture than it claims (a movie cut short): the
  // export ends where that picture ends, and this says where (composition time).
  std::optional<MediaTime> sourceEndedAt() const;
  // How many parts the video was exported in (0 before the export has set up its encoders).
  int videoParts() const;

 private:
  void run();
  void fail(const std::string& description);

  std::shared_ptr<const MutableComposition> composition_;
  std::shared_ptr<const VideoComposition> videoComposition_;
  std::filesystem::path outputURL_;
  ContainerFormat outputFileType_ = ContainerFormat::mp4;
  bool optimizeForNetworkUse_ = false;

  std::atomic<Status> status_{Status::unknown};
  std::atomic<float> progress_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> started_{false};
  mutable std::mutex mutex_;
  std::optional<PlatformError> error_;
  std::filesystem::path temporaryURL_;
  std::filesystem::path finalURL_;
  std::optional<MediaTime> endedEarlyAt_;
  int videoParts_ = 0;
};

}  // namespace tk
