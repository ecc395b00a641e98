#pragma once

#include <QObject>
#include <QSize>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ffmpeg/MediaAsset.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

class QTimer;

namespace tk {

class PlaybackSession;

// Plays one media file: video frames for a PlayerView, sound on the default output.
//
// Each item runs two threads: "tk-play-video" demuxes and decodes the video, keeps time and applies
// seeks and rate changes; "tk-play-audio" demuxes and decodes the audio into a short queue from
// which the audio output pulls. While sound plays the clock is the sound server's playback
// position; without an audio track, at a rate other than 1, or without a sound server, it is the
// monotonic clock. Frames that are late are skipped without being converted.
//
// A player paused for a while closes its decoder (see decoderOpen()), which for a large picture holds
// hundreds of megabytes of frames, and opens it again when it is next needed.
//
// Seeks are exact (the frame shown at the time) and coalesced: while one runs, only the latest of
// the seeks asked for after it is carried out; the others complete with false.
//
// Threads: every function is called on the main thread unless it says otherwise; every signal,
// completion and time observer is delivered on the main thread.
class MediaPlayer : public QObject {
  Q_OBJECT

 public:
  enum class Status { unknown, readyToPlay, failed };

  explicit MediaPlayer(QObject* parent = nullptr);
  // Stops and joins the item's threads.
  ~MediaPlayer() override;

  // Starts loading a file (none: no item). status() becomes unknown, then readyToPlay or failed,
  // announced by statusChanged.
  void replaceCurrentItem(std::optional<std::filesystem::path> file);
  bool hasItem() const;
  // A muted player plays no sound; it takes effect from the next item on.
  void setMuted(bool muted) { muted_ = muted; }
  bool isMuted() const { return muted_; }
  Status status() const { return status_; }
  // The reason of a failed item.
  const std::string& errorDescription() const { return error_; }
  // The loaded file, once ready.
  const std::optional<MediaAsset>& asset() const { return asset_; }
  // The item's duration; invalid until ready.
  MediaTime itemDuration() const;

  void play() { setRate(1.0); }
  void pause() { setRate(0.0); }
  // 0 pauses; playback stops at the end of the item (didPlayToEnd). Negative rates are taken as 0.
  void setRate(double rate);
  double rate() const { return rate_; }

  // An exact seek. `completion` runs on the main thread: true once the frame at `time` is shown,
  // false when a later seek or a new item took its place. The time is clamped to the item.
  void seek(MediaTime time, std::function<void(bool finished)> completion = {});

  // The playback position; any thread.
  MediaTime currentTime() const;

  // Calls `observer` with the current time every `interval` while playing, and once whenever
  // the time jumps or playback starts or stops. Returns a token for removeTimeObserver.
  int addPeriodicTimeObserver(MediaTime interval, std::function<void(MediaTime)> observer);
  void removeTimeObserver(int token);

  // The frame to show now, or null; any thread.
  std::shared_ptr<PixelBuffer> currentFrame() const;
  // The size frames are converted to (the view's size); 0 x 0 = the natural size.
  void setVideoOutputSize(QSize size);
  QSize naturalSize() const;
  // Whether the clock is the sound server's (false: the monotonic clock); any thread.
  bool usesAudioClock() const;
  // Whether the item's picture decoder is open. Paused for a couple of seconds, a player closes it
  // and gives back the frames it held; the next seek or play opens it again. Any thread.
  bool decoderOpen() const;
  // Closes the decoder without the wait: now if paused, else when it next pauses.
  void releaseDecoderSoon();

 signals:
  void statusChanged(tk::MediaPlayer::Status status);
  // After every seek has been carried out (the time jumped).
  void timeJumped();
  void didPlayToEnd();
  // A new frame is ready in currentFrame(). Coalesced: one signal for any number of frames.
  void frameChanged();

 private:
  struct Observer {
    MediaTime interval;
    std::function<void(MediaTime)> callback;
    QTimer* timer = nullptr;
  };

  void notifyObservers();
  void updateObserverTimers();
  // Posted by the session's threads; `generation` tells a stale item's messages apart.
  void onReady(uint64_t generation, MediaAsset asset);
  void onFailed(uint64_t generation, std::string reason);
  void onSeekDone(uint64_t generation, uint64_t seek);
  void onEnded(uint64_t generation);
  void onFrame();
  void finishSeeks(uint64_t upTo, bool finished);

  std::unique_ptr<PlaybackSession> session_;
  bool muted_ = false;
  uint64_t generation_ = 0;
  Status status_ = Status::unknown;
  std::string error_;
  std::optional<MediaAsset> asset_;
  double rate_ = 0;
  uint64_t nextSeek_ = 0;
  std::map<uint64_t, std::function<void(bool)>> seekCompletions_;
  std::map<int, Observer> observers_;
  int nextObserver_ = 1;
  QSize outputSize_;
};

}  // namespace tk
