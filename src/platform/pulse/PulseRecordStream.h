#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/media/SampleBuffer.h"

namespace tk {

// Records one sound-server source on a thread of its own. The source is read at its own rate and
// channel count and converted to `deliveredFormat`; samples are handed over in blocks of
// `blockFrames` frames, each stamped on MonotonicClock with the capture time of its first frame.
// When the source stops delivering for a while (a device that sleeps, a switch of output) the
// stamps pick up the monotonic clock again instead of counting on from the last sample, so a gap
// stays a gap.
//
// start, stop and the destructor are called from any one thread other than the stream's own;
// stop may also be called from a handler, where it only asks the stream to end.
class PulseRecordStream {
 public:
  struct Options {
    std::string sourceName;             // empty = default source
    bool monitorOfDefaultSink = false;  // what plays on the default output; follows it when it changes
    AudioFormat deliveredFormat{48000, 2, true};
    int blockFrames = 1024;
  };

  using SampleHandler = std::function<void(const SampleBuffer&)>;       // on the stream's own thread
  using ErrorHandler = std::function<void(const std::string& reason)>;  // the stream failed or ended

  // Connects, finds the source and starts recording. Throws tk::PlatformError (domain
  // "PulseAudio") with the server's message when any of that fails; no handler runs then.
  static std::unique_ptr<PulseRecordStream> start(Options options, SampleHandler onSamples,
                                                  ErrorHandler onError);

  // Stops and joins; no handler runs after it returns. Not to be called from a handler.
  ~PulseRecordStream();
  PulseRecordStream(const PulseRecordStream&) = delete;
  PulseRecordStream& operator=(const PulseRecordStream&) = delete;

  // Ends the recording; from outside the stream's thread it also waits for the thread to end.
  // Idempotent.
  void stop();

  // Asks for everything captured before `end` (a MonotonicClock time) and nothing after: the stream
  // goes on reading until it has handed over the frame just before `end`, hands over the block it
  // was filling (cut at `end`), and delivers nothing more. drained() says when that is done, or
  // when the stream has ended; a stop before then still hands over what was read up to it. Any
  // thread; the first call counts.
  void drainUntil(MediaTime end);
  bool drained() const;

  // The source being recorded (its server name) and its own format.
  std::string sourceName() const;
  AudioFormat sourceFormat() const;

 private:
  struct Impl;
  explicit PulseRecordStream(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
