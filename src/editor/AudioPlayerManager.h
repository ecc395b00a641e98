#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "writing/AudioOnlyRecorder.h"

namespace tk {

class AudioMixEngine;

// Plays an audio package (the folder holding the system audio and the microphone as two files)
// with a volume for each track, seeks with a progress value, and exports the two tracks mixed
// into one file. Published fields are Qt properties announcing every change.
//
// Playback position: every play starts from where the listener last was: the paused position
// after pause(), the sought position after a seek while stopped, the start after stop(). Times
// and lengths count on the 48 kHz grid both tracks are decoded to.
//
// Main thread only: every function and signal. The export renders on a worker thread and reports
// back on the main thread; until then play and seek do nothing.
class AudioPlayerManager : public QObject {
  Q_OBJECT
  Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
  Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
  Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
  Q_PROPERTY(double audioLength READ audioLength NOTIFY audioLengthChanged)
  Q_PROPERTY(float sysVol READ sysVol WRITE setSysVol NOTIFY sysVolChanged)
  Q_PROPERTY(float micVol READ micVol WRITE setMicVol NOTIFY micVolChanged)

 public:
  // Called once on the main thread: the written file, or the error (then the path is empty).
  using ExportCompletion = std::function<void(std::filesystem::path url, std::exception_ptr error)>;

  static constexpr int kRenderFrames = 4096;

  // Sets up the playback graph at once; a sound server that does not answer leaves the player
  // silent (it still exports).
  explicit AudioPlayerManager(QObject* parent = nullptr);
  ~AudioPlayerManager() override;

  double progress() const { return progress_; }
  bool isPlaying() const { return isPlaying_; }
  bool exporting() const { return exporting_; }
  double audioLength() const { return audioLength_; }
  float sysVol() const { return sysVol_; }
  float micVol() const { return micVol_; }
  void setSysVol(float volume);
  void setMicVol(float volume);

  // A seek starts playback when this is set, even while stopped.
  bool shouldPlay = false;
  bool isSeeking() const { return isSeeking_; }
  double seekTime() const { return seekTime_; }
  int64_t lastStartFramePosition() const { return lastStartFramePosition_; }
  bool hasSystemAudioFile() const { return hasSystemFile_; }
  bool hasMicrophoneAudioFile() const { return hasMicrophoneFile_; }
  const std::string& fileFormat() const { return fileFormat_; }
  const std::string& fileEncoder() const { return fileEncoder_; }
  bool exportMP3() const { return exportMP3_; }
  const std::optional<std::filesystem::path>& packageURL() const { return packageURL_; }
  bool progressTimerActive() const { return timer_.isActive(); }
  bool endOfTrackStopPending() const { return endStop_.isActive(); }

  void setupAudioEngine();
  // Opens "sys.<format>" and "mic.<format>" inside the package folder.
  void loadAudioPackage(const std::string& format, const std::filesystem::path& package,
                        const std::string& encoder, bool exportMP3);
  void play();
  void pause();
  void stop();
  void seek(double seconds);
  void exportAudio(const std::filesystem::path& url, ExportCompletion completion);
  void reset();
  void startProgressTimer();
  // Renders the mix into the file on the calling thread. Throws PlatformError ("Audio files not
  // loaded", domain "AudioPlayerManager", code -1) or the writer's FfmpegError; a failed export
  // leaves no file behind.
  void exportMixedAudio(const std::filesystem::path& url);
  AudioOutputSettings exportAudioSettings() const;

 signals:
  void progressChanged(double progress);
  void isPlayingChanged(bool isPlaying);
  void exportingChanged(bool exporting);
  void audioLengthChanged(double audioLength);
  void sysVolChanged(float volume);
  void micVolChanged(float volume);

 private:
  bool bothFilesOpen() const { return hasSystemFile_ && hasMicrophoneFile_; }
  int64_t systemFrames() const;
  void stopTimer();
  void tick();
  void setProgress(double value);
  void setIsPlaying(bool value);
  void setExporting(bool value);
  void setAudioLength(double value);

  // Shared with a running export, which must not depend on the manager staying alive.
  std::shared_ptr<AudioMixEngine> engine_;
  double progress_ = 0;
  bool isPlaying_ = false;
  bool exporting_ = false;
  double audioLength_ = 0;
  float sysVol_ = 1.0f;
  float micVol_ = 1.0f;
  QTimer timer_;    // the progress timer while playing
  QTimer endStop_;  // the one pending stop after the end of the track
  int64_t lastStartFramePosition_ = 0;
  int64_t nextStartFrame_ = 0;  // where the next play() begins
  bool hasSystemFile_ = false;
  bool hasMicrophoneFile_ = false;
  bool isSeeking_ = false;
  double seekTime_ = 0;
  std::string fileFormat_;
  std::string fileEncoder_;
  bool exportMP3_ = false;
  std::optional<std::filesystem::path> packageURL_;
};

}  // namespace tk
