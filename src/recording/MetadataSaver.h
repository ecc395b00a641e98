#pragma once

#include <QFuture>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tk {

class MetadataRecorder;

// Keeps the metadata file of a running recording up to date: every two seconds a snapshot of the
// recorder is written on a worker, whole or not at all (writeFileBytes), so that a recording whose
// process is killed keeps its clicks, cursor and zooms up to the last save, and a disk that fills
// keeps the last save instead of an empty file. The save at stop goes to the same file.
//
// Threads: main thread only; the writing itself runs on a worker.
class MetadataSaver {
 public:
  static constexpr std::chrono::milliseconds kInterval{2000};

  MetadataSaver();
  // Waits for a save in flight.
  ~MetadataSaver();
  MetadataSaver(const MetadataSaver&) = delete;
  MetadataSaver& operator=(const MetadataSaver&) = delete;

  // Told, on the worker that tried, why a save failed (the folder turned read-only, went away);
  // the next saves are tried all the same. With `folderFollowed`, a save that finds no folder at its
  // place is not told: whoever follows the folder (the movie's watch) tells what became of it and
  // points the saver where it went (moveTo), and the next save goes there. Set before start, or
  // again to change it.
  void setFailureHandler(std::function<void(const std::string&)> handler, bool folderFollowed = false) {
    onFailure_ = std::move(handler);
    folderFollowed_ = folderFollowed;
  }
  // Saves `recorder` to `file` from now on, the first time after one interval; with `shown`, only
  // once it says so (the movie the file describes shows under its name), so that no metadata
  // stands beside a movie that is not there.
  void start(std::shared_ptr<MetadataRecorder> recorder, std::filesystem::path file,
             std::function<bool()> shown = {});
  // Saves to `file` from now on (the movie it describes was moved); the file saved so far stays.
  void moveTo(std::filesystem::path file) { file_ = std::move(file); }
  // No more saves; waits for one in flight, so that nothing older lands over a later save. The
  // file stays, and so does its name.
  void stop();
  // Forgets the file (a new recording is being prepared).
  void reset();
  // The file saved to since start, when there was one.
  const std::optional<std::filesystem::path>& file() const { return file_; }

 private:
  void saveNow();

  QTimer timer_;
  std::shared_ptr<MetadataRecorder> recorder_;
  std::optional<std::filesystem::path> file_;
  QFuture<void> inFlight_;
  std::function<void(const std::string&)> onFailure_;
  bool folderFollowed_ = false;
  std::function<bool()> shown_;
};

}  // namespace tk
