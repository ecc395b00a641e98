#include "platform/player/MediaPlayer.h"

#include <QTimer>
#include <algorithm>

#include "platform/player/PlaybackSession.h"

namespace tk {

MediaPlayer::MediaPlayer(QObject* parent) : QObject(parent) {}

MediaPlayer::~MediaPlayer() {
  session_.reset();
}

void MediaPlayer::replaceCurrentItem(std::optional<std::filesystem::path> file) {
  session_.reset();
  ++generation_;
  status_ = Status::unknown;
  error_.clear();
  asset_.reset();
  const bool wasPlaying = rate_ != 0;
  rate_ = 0;
  finishSeeks(UINT64_MAX, false);
  if (wasPlaying) updateObserverTimers();
  if (!file) return;
  const uint64_t generation = generation_;
  // The session's threads post back; a message of an item that has since been replaced, or of a
  // player that is gone, is dropped (the player is the context object of every post).
  PlaybackSession::Callbacks callbacks;
  callbacks.ready = [this, generation](MediaAsset asset) {
    QMetaObject::invokeMethod(
        this,
        [this, generation, asset = std::move(asset)]() mutable { onReady(generation, std::move(asset)); },
        Qt::QueuedConnection);
  };
  callbacks.failed = [this, generation](std::string reason) {
    QMetaObject::invokeMethod(
        this,
        [this, generation, reason = std::move(reason)]() mutable { onFailed(generation, std::move(reason)); },
        Qt::QueuedConnection);
  };
  callbacks.seekDone = [this, generation](uint64_t seek) {
    QMetaObject::invokeMethod(
        this, [this, generation, seek] { onSeekDone(generation, seek); }, Qt::QueuedConnection);
  };
  callbacks.ended = [this, generation] {
    QMetaObject::invokeMethod(
        this, [this, generation] { onEnded(generation); }, Qt::QueuedConnection);
  };
  callbacks.frame = [this] {
    QMetaObject::invokeMethod(
        this, [this] { onFrame(); }, Qt::QueuedConnection);
  };
  session_ = std::make_unique<PlaybackSession>(std::move(*file), std::move(callbacks), muted_);
  if (outputSize_.isValid()) session_->setOutputSize(outputSize_.width(), outputSize_.height());
}

bool MediaPlayer::hasItem() const {
  return session_ != nullptr;
}

MediaTime MediaPlayer::itemDuration() const {
  return asset_ ? asset_->duration() : MediaTime::invalid();
}

void MediaPlayer::setRate(double rate) {
  rate = std::isfinite(rate) ? std::max(0.0, rate) : 0.0;
  if (rate == rate_) return;
  rate_ = rate;
  if (session_) session_->setRate(rate);
  updateObserverTimers();
  notifyObservers();
}

void MediaPlayer::seek(MediaTime time, std::function<void(bool)> completion) {
  const uint64_t id = ++nextSeek_;
  // Seeks not yet carried out give way to this one.
  finishSeeks(id - 1, false);
  if (!session_) {
    if (completion)
      QMetaObject::invokeMethod(
          this, [completion] { completion(false); }, Qt::QueuedConnection);
    return;
  }
  if (completion) seekCompletions_[id] = std::move(completion);
  session_->seek(time, id);
}

void MediaPlayer::finishSeeks(uint64_t upTo, bool finished) {
  std::vector<std::function<void(bool)>> done;
  for (auto it = seekCompletions_.begin(); it != seekCompletions_.end() && it->first <= upTo;) {
    done.push_back(std::move(it->second));
    it = seekCompletions_.erase(it);
  }
  if (finished) {
    for (auto& completion : done) completion(true);
    return;
  }
  // Never inside the caller's own seek(): completions of superseded seeks run from the event loop.
  for (auto& completion : done)
    QMetaObject::invokeMethod(
        this, [completion = std::move(completion)] { completion(false); }, Qt::QueuedConnection);
}

MediaTime MediaPlayer::currentTime() const {
  // session_ is replaced on the main thread only; other threads read the time through it while the
  // item lives.
  if (!session_) return MediaTime::zero();
  return MediaTime::fromSeconds(session_->currentSeconds(), 600'000);
}

int MediaPlayer::addPeriodicTimeObserver(MediaTime interval, std::function<void(MediaTime)> observer) {
  const int token = nextObserver_++;
  Observer& entry = observers_[token];
  entry.interval = interval;
  entry.callback = std::move(observer);
  entry.timer = new QTimer(this);
  entry.timer->setTimerType(Qt::PreciseTimer);
  const double seconds = interval.isValid() ? interval.seconds() : 0.033;
  entry.timer->setInterval(std::max(1, static_cast<int>(seconds * 1000 + 0.5)));
  connect(entry.timer, &QTimer::timeout, this, [this, token] {
    auto it = observers_.find(token);
    if (it != observers_.end()) it->second.callback(currentTime());
  });
  if (rate_ != 0) entry.timer->start();
  return token;
}

void MediaPlayer::removeTimeObserver(int token) {
  auto it = observers_.find(token);
  if (it == observers_.end()) return;
  delete it->second.timer;
  observers_.erase(it);
}

void MediaPlayer::updateObserverTimers() {
  for (auto& [token, observer] : observers_) {
    if (rate_ != 0 && session_)
      observer.timer->start();
    else
      observer.timer->stop();
  }
}

void MediaPlayer::notifyObservers() {
  const MediaTime now = currentTime();
  std::vector<int> tokens;
  for (const auto& [token, observer] : observers_) tokens.push_back(token);
  // An observer may remove itself or another one.
  for (int token : tokens) {
    auto it = observers_.find(token);
    if (it != observers_.end()) it->second.callback(now);
  }
}

std::shared_ptr<PixelBuffer> MediaPlayer::currentFrame() const {
  return session_ ? session_->currentFrame() : nullptr;
}

void MediaPlayer::setVideoOutputSize(QSize size) {
  outputSize_ = size;
  if (session_) session_->setOutputSize(std::max(0, size.width()), std::max(0, size.height()));
}

QSize MediaPlayer::naturalSize() const {
  if (!asset_) return {};
  const MediaTrack* video = asset_->firstTrack(MediaKind::video);
  return video ? QSize(video->width, video->height) : QSize();
}

bool MediaPlayer::usesAudioClock() const {
  return session_ && session_->usesAudioClock();
}

bool MediaPlayer::decoderOpen() const {
  return session_ && session_->decoderOpen();
}

void MediaPlayer::releaseDecoderSoon() {
  if (session_) session_->releaseDecoderSoon();
}

void MediaPlayer::onReady(uint64_t generation, MediaAsset asset) {
  if (generation != generation_) return;
  asset_ = std::move(asset);
  status_ = Status::readyToPlay;
  emit statusChanged(status_);
}

void MediaPlayer::onFailed(uint64_t generation, std::string reason) {
  if (generation != generation_) return;
  error_ = std::move(reason);
  status_ = Status::failed;
  emit statusChanged(status_);
}

void MediaPlayer::onSeekDone(uint64_t generation, uint64_t seek) {
  if (generation != generation_) return;
  finishSeeks(seek, true);
  emit timeJumped();
  notifyObservers();
}

void MediaPlayer::onEnded(uint64_t generation) {
  if (generation != generation_) return;
  rate_ = 0;
  updateObserverTimers();
  notifyObservers();
  emit didPlayToEnd();
}

void MediaPlayer::onFrame() {
  if (session_) session_->frameTaken();
  emit frameChanged();
}

}  // namespace tk
