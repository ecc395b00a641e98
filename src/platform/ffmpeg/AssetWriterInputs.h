#pragma once

// Internals of AssetWriter: the muxer shared by the inputs and the two kinds of encoding input.

#include <array>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/BoundedQueue.h"
#include "platform/ffmpeg/FfmpegHandles.h"

namespace tk {

class AssetWriterFile;

struct AssetWriterMuxer {
  // A fragmented file is cut about every second of video (of audio in a file without video),
  // keyframe or not: a kill loses about that much, and the keyframe interval, which bounds an exact
  // seek, stays as it is.
  static constexpr double kFragmentSeconds = 1.0;

  ff::OutputContextPtr context;
  AssetWriterFile* file = nullptr;
  bool fragmented = false;  // set before the header is written
  bool hasVideo = false;
  std::mutex mutex;  // held while a packet is written
  std::atomic<bool> failed{false};
  // Called once, on the thread that met the first failure; it must only hand the news on.
  std::function<void(const std::string&)> onFailure;
  // Passed by each encode thread before it hands the encoder a frame (see AssetWriter::setEncodeGate).
  std::function<void()> encodeGate;
  // Set for an encoder whose packets are kept for later (VideoPartEncoder): they go here, in the
  // encoder's time base, instead of into a file.
  std::function<void(const AVPacket&)> packetSink;

  // Any encode thread may call it. After the first failure packets are dropped, so that the file
  // holds exactly what its index will describe.
  void write(AVPacket* packet, AVStream* stream, AVRational encoderTimeBase);
  // Fragmented files: writes what the muxer holds as one whole fragment and marks the file's end
  // there. Called with `mutex` held.
  void cutFragment();
  // Fragmented files, at finish: writes the packets held back and cuts the last fragment. Called
  // with `mutex` held.
  void finishFragments();
  // Records the first failure of the file (a write, an encoder) and reports it.
  void noteFailure(const std::string& text);
  std::string firstError();

 private:
  bool startsFragment(const AVPacket* packet, const AVStream* stream);
  bool writeHeld(AVPacket& packet);

  std::mutex errorMutex_;
  std::string error_;
  bool pending_ = false;             // packets given to the muxer since the last cut
  bool moovWritten_ = false;         // the header of a fragmented file goes out with its first fragment
  double fragmentStart_ = 0;         // seconds
  std::vector<ff::PacketPtr> held_;  // by stream: the latest packet, until the next gives its length
};

// The movie file under the muxer: our own descriptor, and a reserve of disk space beside it.
//
// A fragmented file is whole at every committed end (a fragment boundary). The first failed write
// cuts the file back to the last one and refuses every write after it, so nothing is written past
// the failure and the file stays playable. Each commit is also pushed to the disk by a thread of
// its own, so a power cut loses no more than the fragments written since.
//
// The reserve keeps room for what a recording writes after its movies are closed (the metadata,
// a package's manifest) when the disk has filled: it is released when the file is closed.
class AssetWriterFile {
 public:
  static constexpr int64_t kReserveBytes = 16 << 20;

  // Takes the descriptor of the file just created at `created`: `path` itself, or the hidden working
  // name of a file that takes `path` once it holds a whole fragment (`named` false).
  AssetWriterFile(std::filesystem::path path, std::filesystem::path created, bool named, int fd,
                  AssetWriterMuxer& muxer);
  ~AssetWriterFile();
  AVIOContext* io() const { return io_; }
  // Sets aside the reserve; without room for it the file is written without one.
  void reserveSpace();
  // Until the first commit the file holds nothing whole: a failure empties it.
  void setFragmented() { committedEnd_ = 0; }
  bool holdsWholeFragment() const { return committedEnd_ > 0; }
  // Everything flushed so far is whole: a failure later cuts the file back to here. Starts the
  // thread that pushes commits to the disk on the first call.
  void commit();
  // Flushes, frees the I/O context and closes the descriptor; the first error, or 0. A file still
  // under its working name takes its own if it holds anything whole, and is removed if not. A file
  // that is `kept` has its place checked once more first, as the sync thread does, so that what
  // became of its folder since the last check is followed too.
  int close(bool kept = true);
  // Told what became of the file's place (see AssetWriter::setPlaceHandler). Before the first commit.
  void setPlaceHandler(std::function<void(const FilePlaceChange&)> handler) {
    placeHandler_ = std::move(handler);
  }
  // See AssetWriter::setPlaceWatchGate. Before the first commit.
  void setPlaceWatchGate(std::function<bool()> gate) { placeWatchGate_ = std::move(gate); }
  // See AssetWriter::setFallbackFolder. Before the first commit.
  void setFallbackFolder(
      std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> chooser) {
    fallbackFolder_ = std::move(chooser);
  }
  // The name the file has, or will take. Any thread.
  std::filesystem::path name() const;
  // Where the file lies now (its working name until it took its own). Any thread.
  std::filesystem::path currentPath() const;

 private:
  static int writePacket(void* opaque, uint8_t* data, int size);
  static int64_t seek(void* opaque, int64_t offset, int whence);
  void releaseReserve();
  void syncLoop();
  void stopSyncing();
  // Moves the working file to its name, or the first free one after it: 0, or errno's value when
  // it could not (EEXIST when every name was taken).
  int takeName();
  // Takes the name; where the folder refuses it (read-only) and `carry` is set, carries the file on
  // under its name to a fallback folder (told as carried). False while it stays under its working
  // name.
  bool takeNameOrCarry(bool carry);
  // The working name is no longer one to sweep (LeftoverFiles::release). With nameMutex_ held.
  void letGoOfWorkingName();
  // Makes the folder's entries (a new name) survive a power cut.
  void syncFolder() const;
  // Sync thread: finds out whether the file still lies where it was put, and follows it or puts it
  // back when not.
  void followPlace();
  // Makes the folder of `place` again and gives the file that name back. False, with why, when it
  // could not.
  bool restoreAt(const std::filesystem::path& place, std::string& reason);
  // Where no folder can be made at the file's place: puts the file in the folder its fallback
  // chooser gives, else in the nearest folder above it that takes files, or else in the home
  // folder, under the first free name. Where it went, or nothing (with why) when no folder took it.
  std::optional<std::filesystem::path> restoreElsewhere(const std::filesystem::path& place,
                                                        std::string& reason);
  // Gives the file the name `place` in a folder that exists: where the system refuses a name to a
  // file that has none left (Linux does), a copy of everything written so far takes over the
  // descriptor. 0, or errno's value (with why in `reason`).
  int nameAgain(const std::filesystem::path& place, std::string& reason);

  mutable std::mutex nameMutex_;
  std::filesystem::path path_;
  std::filesystem::path workingPath_;
  bool named_ = true;
  std::filesystem::path claimed_;  // the working name as listed for the sweep, until let go
  std::filesystem::path reservePath_;
  int fd_ = -1;
  int reserveFd_ = -1;
  AssetWriterMuxer& muxer_;
  AVIOContext* io_ = nullptr;
  int64_t committedEnd_ = -1;  // none yet: a failure leaves the file as it is
  bool refusing_ = false;      // a write failed: nothing more goes into the file

  std::function<void(const FilePlaceChange&)> placeHandler_;
  std::function<bool()> placeWatchGate_;
  std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)> fallbackFolder_;
  bool placeLost_ = false;  // sync thread only, then the closing thread

  std::thread syncer_;
  std::mutex syncMutex_;
  std::condition_variable syncWake_;
  bool syncWanted_ = false;
  bool syncStop_ = false;
};

// Creates the encoder's stream in the muxer and copies the opened encoder's parameters to it.
AVStream* addEncoderStream(AssetWriterMuxer& muxer, AVCodecContext* encoder);

// The common half of both inputs: its thread, its failure and the packets it hands to the muxer.
class EncodingInput {
 public:
  EncodingInput(AssetWriterMuxer& muxer, const char* threadName) : muxer_(muxer), threadName_(threadName) {}
  virtual ~EncodingInput() = default;

  AVCodecContext* encoder() const { return encoder_.get(); }
  bool failed() const { return failed_; }
  // The decoding time of the last packet handed to the muxer (encoder's time base); INT64_MIN before
  // the first. Read once the encode thread has stopped.
  int64_t lastDts() const { return lastDts_; }
  std::string error() const;

 protected:
  // Sends a frame (or nullptr to flush) and writes every packet the encoder gives back.
  void encode(AVFrame* frame, const char* operation);
  void fail(const std::string& text);
  void nameThread();

  AssetWriterMuxer& muxer_;
  ff::CodecContextPtr encoder_;
  AVStream* stream_ = nullptr;
  ff::PacketPtr packet_{av_packet_alloc()};
  int64_t packetDuration_ = 0;  // duration given to packets that have none (the last frame's)
  int64_t timestampShift_ = 0;  // added to every packet's times, in the encoder's time base
  int64_t lastDts_ = INT64_MIN;
  std::atomic<bool> failed_{false};
  mutable std::mutex errorMutex_;
  std::string error_;
  const char* threadName_;
};

class AssetWriterVideoInput : public EncodingInput {
 public:
  AVStream* stream() const { return stream_; }
  static constexpr int kTimescale = 90000;
  // Captured frames waiting for conversion hold the capture's buffers, so that queue stays short;
  // converted frames (under half the size) wait in a deeper set. Together they ride out 400 ms at
  // 60 fps of an encoder held up by a busy machine or its own start-up. VideoInputSettings::queuedFrames
  // sets another hold.
  static constexpr size_t kQueueCapacity = 8;
  static constexpr int kFrameCount = 16;

  AssetWriterVideoInput(AssetWriterMuxer& muxer, const VideoInputSettings& settings, ContainerFormat format);
  ~AssetWriterVideoInput() override;

  void start();
  bool append(std::shared_ptr<PixelBuffer> pixels, MediaTime time);
  bool hasRoom() const { return queue_.hasRoom(); }
  void stop(bool drain);
  InputCounters counters() const;
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  struct Item {
    std::shared_ptr<PixelBuffer> pixels;
    int64_t pts = 0;
  };
  void convertLoop();
  void encodeLoop();
  bool convert(const PixelBuffer& pixels, AVFrame* frame);

  int width_;
  int height_;
  AVPixelFormat pixelFormat_;
  bool bt709_;
  // The set's free frames, the one freed last taken first: a set deep enough for a burst keeps the
  // frames beyond what the encoder's pace needs untouched, so they take no memory until one comes.
  class FreeFrames {
   public:
    void push(int index);
    int pop();  // waits for a frame

   private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<int> indices_;
  };

  // Conversion and encoding run on two threads, handing frames round a fixed set, so the colour
  // conversion of one frame overlaps the encoding of the ones before.
  std::vector<ff::FramePtr> frames_;
  FreeFrames freeFrames_;
  BoundedQueue<int> convertedFrames_;
  SwsContext* scaler_ = nullptr;          // owned; sws_getCachedContext may replace it
  std::vector<uint8_t> unpremultiplied_;  // ProRes only: straight-alpha copy of the frame
  int scalerSourceWidth_ = 0;
  int scalerSourceHeight_ = 0;
  BoundedQueue<Item> queue_;
  std::mutex appendMutex_;
  int64_t lastQueuedPts_ = INT64_MIN;
  std::thread convertThread_;
  std::thread thread_;
  std::atomic<uint64_t> accepted_{0}, refused_{0}, encoded_{0};
};

class AssetWriterAudioInput : public EncodingInput {
 public:
  static constexpr size_t kQueueCapacity = 128;

  AssetWriterAudioInput(AssetWriterMuxer& muxer, const AudioInputSettings& settings);
  ~AssetWriterAudioInput() override;

  // Before start, for a fragmented file. Its header is written before the track's start is known,
  // so no edit list can hide the encoder's priming; instead the track starts at 0 with the priming
  // in place of its first frames of sound, and what follows plays at its own time.
  void startTrackAtZero();
  void start();
  bool append(std::shared_ptr<const AudioBlock> block, MediaTime time);
  bool hasRoom() const { return queue_.hasRoom(); }
  void stop(bool drain, MediaTime endTime);
  InputCounters counters() const;

 private:
  struct Item {
    std::shared_ptr<const AudioBlock> block;
    MediaTime time;
  };
  void run();
  void place(const AudioBlock& block, MediaTime time);
  void pushSilence(int64_t frames);
  void pushConverted(const AudioBlock& block, int firstFrame);
  void encodeAvailable(bool includePartial);
  bool prepareResampler(const AudioFormat& format);

  int sampleRate_;
  int channels_;
  int64_t gapTolerance_;       // frames: smaller mismatches are left alone, larger ones mended
  int64_t lead_ = 0;           // frames of the track before the encoder's first (the priming)
  int64_t position_ = 0;       // frames placed into the track so far, silence included
  int64_t encodedFrames_ = 0;  // frames handed to the encoder (the next frame's pts)
  ff::SwrPtr resampler_;
  AudioFormat resamplerFormat_{0, 0, false};
  ff::AudioFifoPtr fifo_;
  ff::FramePtr frame_{av_frame_alloc()};
  std::vector<std::vector<float>> planes_;   // converted audio, grown on demand only
  std::vector<std::vector<float>> silence_;  // zeros, fixed size
  std::vector<void*> planePointers_;
  BoundedQueue<Item> queue_{kQueueCapacity};
  std::thread thread_;
  std::atomic<uint64_t> accepted_{0}, refused_{0}, encoded_{0}, silenceFrames_{0}, trimmedFrames_{0};
};

}  // namespace tk
