#pragma once

// Internals of AssetWriter: the muxer shared by the inputs and the two kinds of encoding input.

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/BoundedQueue.h"
#include "platform/ffmpeg/FfmpegHandles.h"

namespace tk {

struct AssetWriterMuxer {
  ff::OutputContextPtr context;
  std::mutex mutex;  // held while a packet is written
  std::atomic<bool> failed{false};
  // Called once, on the thread that met the first failure; it must only hand the news on.
  std::function<void(const std::string&)> onFailure;
  // Passed by each encode thread before it hands the encoder a frame (see AssetWriter::setEncodeGate).
  std::function<void()> encodeGate;

  // Any encode thread may call it. After the first failure packets are dropped, so that the file
  // holds exactly what its index will describe.
  void write(AVPacket* packet, AVStream* stream, AVRational encoderTimeBase);
  // Records the first failure of the file (a write, an encoder) and reports it.
  void noteFailure(const std::string& text);
  std::string firstError();

 private:
  std::mutex errorMutex_;
  std::string error_;
};

// The movie file under the muxer: our own descriptor, and a reserve of disk space beside it that is
// released when the disk fills, so that what was written can still be closed with its index.
class AssetWriterFile {
 public:
  static constexpr int64_t kReserveBytes = 16 << 20;

  // Takes the descriptor of the file just created.
  AssetWriterFile(std::filesystem::path path, int fd, AssetWriterMuxer& muxer);
  ~AssetWriterFile();
  AVIOContext* io() const { return io_; }
  // Sets aside the reserve; without room for it the file is written without one.
  void reserveSpace();
  // Flushes, frees the I/O context and closes the descriptor; the first error, or 0.
  int close();

 private:
  static int writePacket(void* opaque, uint8_t* data, int size);
  static int64_t seek(void* opaque, int64_t offset, int whence);
  void releaseReserve();

  std::filesystem::path path_;
  std::filesystem::path reservePath_;
  int fd_ = -1;
  int reserveFd_ = -1;
  AssetWriterMuxer& muxer_;
  AVIOContext* io_ = nullptr;
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
  std::atomic<bool> failed_{false};
  mutable std::mutex errorMutex_;
  std::string error_;
  const char* threadName_;
};

class AssetWriterVideoInput : public EncodingInput {
 public:
  static constexpr int kTimescale = 90000;
  // Captured frames waiting for conversion hold the capture's buffers, so that queue stays short;
  // converted frames (under half the size) wait in a deeper set. Together they ride out 400 ms at
  // 60 fps of an encoder held up by a busy machine or its own start-up.
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
  // Conversion and encoding run on two threads, handing frames round a fixed set, so the colour
  // conversion of one frame overlaps the encoding of the ones before.
  std::array<ff::FramePtr, kFrameCount> frames_;
  BoundedQueue<int> freeFrames_{kFrameCount};
  BoundedQueue<int> convertedFrames_{kFrameCount};
  SwsContext* scaler_ = nullptr;          // owned; sws_getCachedContext may replace it
  std::vector<uint8_t> unpremultiplied_;  // ProRes only: straight-alpha copy of the frame
  int scalerSourceWidth_ = 0;
  int scalerSourceHeight_ = 0;
  BoundedQueue<Item> queue_{kQueueCapacity};
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
