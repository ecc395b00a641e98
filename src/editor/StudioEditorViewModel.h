#pragma once

#include <QObject>
#include <QUuid>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/composition/MediaTimeRange.h"
#include "platform/player/MediaPlayer.h"

namespace tk {

// A span of the studio editor's timeline: part of the source video, kept in the export or cut.
struct TimelineSegment {
  QUuid id = QUuid::createUuid();
  MediaTimeRange timeRange;
  bool isActive = true;

  bool operator==(const TimelineSegment&) const = default;
};

// A small editor for one video: plays it, keeps its timeline as segments that can be split at a time
// and switched on or off, and exports the switched-on parts, joined in order, to a QuickTime movie
// (index at the front). Published fields announce every change through `changed`.
//
// Main thread only: every function and signal. Loading and the export continue off the main thread
// and come back to it before they touch the model; a model destroyed meanwhile is not touched.
class StudioEditorViewModel : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kErrorDomain = "StudioEditor";

  explicit StudioEditorViewModel(QObject* parent = nullptr);
  ~StudioEditorViewModel() override;

  // ---- published ----
  MediaPlayer* player() const { return player_.get(); }
  bool isPlaying() const { return isPlaying_; }
  double currentTime() const { return currentTime_; }
  double duration() const { return duration_; }
  bool isLoading() const { return isLoading_; }
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }
  const std::vector<TimelineSegment>& segments() const { return segments_; }
  bool isExporting() const { return isExporting_; }
  float exportProgress() const { return exportProgress_; }
  bool isDestroyed() const { return isDestroyed_; }

  // ---- operations ----
  void loadVideo(const std::filesystem::path& url);
  void play();
  void pause();
  void splitSegment(double time);
  void toggleSegment(const QUuid& id);
  void exportVideo(const std::filesystem::path& outputURL);
  void destroy();

  // What shows a finished export (the file manager, selecting it, by default).
  void setRevealHandler(std::function<void(const std::filesystem::path&)> handler) {
    reveal_ = std::move(handler);
  }

 signals:
  // Any published field changed.
  void changed();
  // An export ended (whatever its outcome); for callers that wait on it.
  void exportFinished();

 private:
  void onPlayerStatus(MediaPlayer::Status status);
  void setLoading(bool value);

  std::unique_ptr<MediaPlayer> player_;
  bool isPlaying_ = false;
  double currentTime_ = 0;
  double duration_ = 0;
  bool isLoading_ = false;
  std::optional<std::string> errorMessage_;
  std::vector<TimelineSegment> segments_;
  bool isDestroyed_ = false;
  bool isExporting_ = false;
  float exportProgress_ = 0;
  std::function<void(const std::filesystem::path&)> reveal_;
};

}  // namespace tk
