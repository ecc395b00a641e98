#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

enum class ContainerFormat { mp4, mov, m4a };

enum class VideoCodecKind { h264, hevc, prores4444, prores4444xq };

struct VideoInputSettings {
  int width = 0;  // odd sizes are encoded at the even size below them (4:2:0 codecs)
  int height = 0;
  int frameRate = 60;
  VideoCodecKind codec = VideoCodecKind::h264;
  int64_t bitRate = 0;  // average; ignored by ProRes
  std::string preset;   // x264/x265 speed preset; empty for the encoder's default
  bool bt709 = true;    // BT.709 matrix, primaries and transfer, limited range, tagged as such
  // Frames from one keyframe to the next at most (H.264, H.265); 0 = one second's worth. Exact
  // seeks decode forward from the keyframe before their target, so this bounds their cost.
  int keyframeInterval = 0;
  // x264/x265 constant rate factor (lower keeps more); < 0 leaves the encoder's default, or the
  // bit rate when one is given.
  int constantRateFactor = -1;
  std::string tune;  // x264 tuning; empty for none
  // Frames the input holds before the encoder (captured frames waiting for conversion, then
  // converted ones); 0 holds enough to ride out 400 ms of a busy machine at 60 fps. A producer that
  // waits for room anyway (an export) keeps this small, so memory grows with the picture, not the queue.
  int queuedFrames = 0;
  // Bytes x264 may hold in its own frames before its threading narrows (h264Threading); 0 for the
  // writer's default, sized for exports, which wait for the encoder. Any value set (a live
  // recording's, smaller; each part's of an export made in parts) also makes x264 queue no frames
  // between its lookahead and its frame threads (the same bitstream).
  double encoderMemory = 0;
  // Cores the encoder's threads are sized for (x264); 0 for every core this process may run on.
  // Encoders working side by side on parts of one track share them out.
  int cores = 0;
  // Frames x264 looks ahead (each a whole frame held); < 0 for the preset's, or the threading's.
  int lookahead = -1;
  // Threads x264 decides frame types on (x264); < 0 for the writer's choice. Without them that work
  // runs on the thread that hands x264 its frames, one frame after another, whatever the frame
  // threads could take.
  int lookaheadThreads = -1;
  // Frames x264 queues between its lookahead and its frame threads (each a whole frame held), so that
  // frame types are decided while the frame threads encode; < 0 for the writer's choice (none when
  // encoderMemory is set, x264's own otherwise).
  int syncLookahead = -1;
  // How x264 places its B-frames (its b-adapt): 0 always the full run the preset allows, 1 and 2
  // chosen frame by frame in the lookahead, at a cost; < 0 for the preset's.
  int bFrameAdaptation = -1;
};

// How the writer threads x264 for a picture of width × height when `cores` cores may run it. Frame
// threads hold a whole frame each and the lookahead and B-frames hold more, so as the picture grows
// the frame threads get fewer and then the encoder works in slices, without B-frames, with a
// lookahead that shortens: its memory stays near a fixed budget.
struct H264Threading {
  int threads = 0;  // 0: x264's own choice
  bool sliced = false;
  int lookahead = -1;  // frames; < 0 for the preset's
  bool noBFrames = false;
  int syncLookahead = -1;    // frames waiting between the lookahead and the frame threads; < 0 for x264's own
  int lookaheadThreads = 0;  // threads deciding frame types ahead of the encoder; 0 for x264's own
};
// The frames x264 may hold, in bytes, when nothing smaller is asked for (an export's budget).
inline constexpr double kX264FrameBudget = 320.0 * 1024 * 1024;
H264Threading h264Threading(int width, int height, int cores, double frameBudget = kX264FrameBudget);
// The budget that gives a picture of width × height `frameThreads` frame threads (the inverse of
// h264Threading's rule).
double h264FrameThreadMemory(int width, int height, int frameThreads);
// The threading, and the B-frame placement when one is given (< 0: the preset's), as x264
// parameters ("sliced-threads=1:rc-lookahead=4:bframes=0"); empty when they need none.
std::string x264Parameters(const H264Threading& threading, int bFrameAdaptation = -1);
// The cores this process may run on (its affinity), at least one.
int availableCores();

struct AudioInputSettings {
  int sampleRate = 48000;
  int channels = 2;
  int64_t bitRate = 128000;
};

// Counters of one input, readable from any thread.
struct InputCounters {
  uint64_t accepted = 0;
  uint64_t refused = 0;        // the input's queue was full: the sample was not taken
  uint64_t encoded = 0;        // video frames or audio sample frames that reached the encoder
  uint64_t silenceFrames = 0;  // audio frames of silence inserted for gaps
  uint64_t trimmedFrames = 0;  // audio frames dropped because they overlapped earlier audio
};

class AssetWriterVideoInput;
class AssetWriterAudioInput;
class AssetWriterFile;
struct AssetWriterMuxer;
class VideoPartEncoder;

// How a file takes its name.
enum class FileNaming {
  // Under its name from the start.
  immediate,
  // Under a hidden working name (LeftoverFiles::workingName) until it holds its first whole
  // fragment, then under its own: a process killed before then leaves nothing under the name, and
  // the next start removes the working file. Should the name be taken meanwhile, the file takes
  // the first free "<name> 2", "<name> 3" (path() says which). Where the folder gives it no name
  // (it turned read-only), the file goes on under its name in a fallback folder (fallbackFolders),
  // told as FilePlaceChange::Kind::carried. A file that never holds a whole fragment is removed
  // when closed. Meant for fragmented files; any other is named when closed.
  onceWhole,
};

// What became of a fragmented file's place while it was written (AssetWriter::setPlaceHandler).
struct FilePlaceChange {
  enum class Kind {
    moved,      // the file or its folder was moved or renamed: it goes on where it is now
    restored,   // its folder was removed: made again, and the file put back under its name
    relocated,  // its folder was removed and could not be made again: the file was put in another
    lost,       // nowhere took the file again: it has no name left
    carried,    // its folder would not give the working file its name: it went on in another
  };
  Kind kind = Kind::moved;
  std::filesystem::path path;  // where the file is now; for lost, where it was
  std::filesystem::path from;  // relocated, carried: where it was
  std::string reason;          // relocated, lost, carried: why it could not stay
};

// Where a file goes on when its folder `lost` cannot be made again, in order: the nearest folder
// above `lost` that exists, then the home folder.
std::vector<std::filesystem::path> fallbackFolders(const std::filesystem::path& lost);

// "<stem> <number><extension>" beside `wanted`: the name a file takes where `wanted` is taken;
// `wanted` itself for 1.
std::filesystem::path numberedName(const std::filesystem::path& wanted, int number);

// Writes one movie or audio file with FFmpeg: mp4, mov, or m4a (ipod muxer).
//
// Each input owns a bounded queue and its own encode thread, so the threads that append never wait
// on an encoder: a full queue refuses the sample and counts it. Encoded packets meet in the muxer
// under one lock. Times given to the inputs are on the file's clock (0 = start of the file).
//
// Threads: construct, add inputs, start, finish and cancel from one controlling thread; append from
// any thread (the inputs are thread-safe). finish blocks until every queued sample is written.
class AssetWriter {
 public:
  // Creates the file exclusively: an existing file is never replaced (FfmpegError). An unsupported
  // combination (ProRes in mp4) is refused here too.
  AssetWriter(std::filesystem::path path, ContainerFormat format, FileNaming naming = FileNaming::immediate);
  ~AssetWriter();
  AssetWriter(const AssetWriter&) = delete;
  AssetWriter& operator=(const AssetWriter&) = delete;

  // The file's name: the one asked for, or the free one it took (FileNaming::onceWhole). Any thread.
  std::filesystem::path path() const;
  // Where the file lies: under its name, or under the working name no folder would change.
  // Any thread.
  std::filesystem::path place() const;

  // Before start. Opening the encoder happens here, so a codec or size it refuses fails early.
  // Returns the input's index (video inputs and audio inputs are numbered separately).
  int addVideoInput(const VideoInputSettings& settings);
  int addAudioInput(const AudioInputSettings& settings);
  int encodedWidth() const;
  int encodedHeight() const;

  // Before start: put the index at the front of the file once it is finished (a second pass over
  // the file in finish), so a player can start before it has the whole file.
  void setOptimizeForNetworkUse(bool value) { optimizeForNetworkUse_ = value; }
  // Before start: write the file as a series of self-contained fragments, each made whole on the
  // disk as it is written (about every second), so that a file whose process is killed, or whose
  // disk fills, plays up to its last fragment. A finished file has the same form.
  void setFragmented(bool value) { fragmented_ = value; }

  // Writes the header and starts the encode threads.
  void start();
  bool started() const { return started_; }

  // False when refused (queue full, or not started / already finishing).
  bool appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime time);
  bool appendAudio(int input, std::shared_ptr<const AudioBlock> block, MediaTime time);
  // Whether the input would take a sample now: started, not finishing, and room in its queue. For
  // producers that can wait (a file being re-encoded); a capture thread just appends.
  bool isReadyForVideo() const;
  bool isReadyForAudio(int input) const;

  // After addVideoInput: an encoder for a later part of the video track, with the track's settings,
  // keeping its packets in the hidden file `spillPath` until finish joins them; null when its
  // parameter sets differ from the track's (its stream could not follow the track's own).
  std::unique_ptr<VideoPartEncoder> makeVideoPart(const std::filesystem::path& spillPath) const;

  // Drains the queues, pads every audio track with silence up to `endTime` when given, flushes the
  // encoders and writes the trailer. The packets of `parts` (finished, made by makeVideoPart) follow
  // the video input's own, in the order given; their times must follow on too. Throws FfmpegError when the
  // file could not be closed with its index; the file stays on disk either way. After an earlier failure (see
  // failed()) the file is closed with what was written up to it, and finish succeeds when that worked. A
  // fragmented file whose last fragment finds no room ends at the one before: failed() says why.
  void finish(MediaTime endTime = MediaTime::invalid(), const std::vector<VideoPartEncoder*>& parts = {});
  // Stops the threads, discards what is queued, closes and removes the file.
  void cancel();
  // Closes and removes the file when nothing was started; used for writers that never began.
  void discard();

  // True once an encoder or the muxer failed (a full disk, an encoder error); failure() says why.
  // From then on nothing more is written: the file ends at the failure.
  bool failed() const;
  std::string failure() const;
  // Called once at the first failure, on the encode thread that met it: hand the news on, do not
  // call back into the writer there. Set before start.
  void setFailureHandler(std::function<void(const std::string&)> handler);
  // A fragmented file keeps track of its place (checked every second, at each fragment and once
  // more as finish closes it): moved with its folder, it goes on where it went (path() follows);
  // removed with its folder, the folder is made again (where a link to it points) and the file put
  // back under its name with everything written so far, and writing goes on there; where no folder
  // can be made, the file goes to the nearest folder above that takes it, or to the home folder.
  // Called on the file's sync thread, or the one finishing, with what happened. Set before start.
  void setPlaceHandler(std::function<void(const FilePlaceChange&)> handler);
  // Asked by the sync thread before each of its place checks; while it returns false, the check
  // waits for a later turn (the one at finish is always made). For tests that need the finish to
  // come before the check. Set before start.
  void setPlaceWatchGate(std::function<bool()> gate);
  // For a file that belongs with others in its folder (a package's member): given the folder that
  // could not be made again, `chooser` gives the folder the file goes on in under its own name (one
  // made for the whole package), or nothing; the file goes where any other would when it gives
  // nothing or that folder refuses the file. Called on the sync thread or the one finishing. Set
  // before start.
  void setFallbackFolder(
      std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> chooser);
  // Called on an encode thread each time it is about to hand its encoder a frame; while it does not
  // return, that input's queue fills and appends are refused. For tests that need an encoder slower
  // than whatever feeds it. Set before start.
  void setEncodeGate(std::function<void()> gate);

  InputCounters videoCounters() const;
  InputCounters audioCounters(int input) const;
  size_t audioInputCount() const { return audioInputs_.size(); }

 private:
  void stopThreads(bool drain);
  int closeFile(bool kept = true);
  void joinVideoParts(const std::vector<VideoPartEncoder*>& parts);

  std::filesystem::path path_;
  ContainerFormat format_;
  std::unique_ptr<AssetWriterMuxer> muxer_;
  std::unique_ptr<AssetWriterFile> file_;
  std::unique_ptr<AssetWriterVideoInput> videoInput_;
  VideoInputSettings videoSettings_;
  std::vector<std::unique_ptr<AssetWriterAudioInput>> audioInputs_;
  std::atomic<bool> started_{false};
  bool closed_ = false;
  bool optimizeForNetworkUse_ = false;
  bool fragmented_ = false;
};

}  // namespace tk
