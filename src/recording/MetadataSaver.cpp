#include "recording/MetadataSaver.h"

#include <QtConcurrent/QtConcurrentRun>
#include <cerrno>

#include "model/MetadataRecorder.h"
#include "model/RecordingMetadata.h"
#include "platform/json/JsonWriter.h"
#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

MetadataSaver::MetadataSaver() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { saveNow(); });
}

MetadataSaver::~MetadataSaver() {
  stop();
}

void MetadataSaver::start(std::shared_ptr<MetadataRecorder> recorder, std::filesystem::path file,
                          std::function<bool()> shown) {
  stop();
  recorder_ = std::move(recorder);
  file_ = std::move(file);
  shown_ = std::move(shown);
  timer_.start(kInterval);
}

void MetadataSaver::stop() {
  timer_.stop();
  recorder_.reset();
  inFlight_.waitForFinished();
}

void MetadataSaver::reset() {
  stop();
  file_.reset();
}

void MetadataSaver::saveNow() {
  // A save still writing (a slow disk) is not queued behind: the next tick takes a fresher snapshot.
  if (!recorder_ || !file_ || inFlight_.isRunning()) return;
  if (shown_) {
    if (!shown_()) return;
    shown_ = nullptr;
  }
  inFlight_ = QtConcurrent::run([metadata = recorder_->snapshot(), file = *file_, onFailure = onFailure_,
                                 folderFollowed = folderFollowed_] {
    std::string reason;
    bool folderGone = false;
    try {
      writeFileBytes(file, encodeRecordingMetadata(metadata));
      return;
    } catch (const PlatformError& error) {
      reason = error.localizedDescription();
      folderGone = error.domain() == "POSIX" && (error.code() == ENOENT || error.code() == ENOTDIR);
    } catch (const Error& error) {
      reason = error.localizedDescription();
    } catch (const std::exception& error) {
      reason = error.what();
    }
    // The last save stays; the recording goes on.
    Diagnostics::line("⚠️ Failed to save metadata: " + reason);
    if (onFailure && !(folderGone && folderFollowed)) onFailure(reason);
  });
}

}  // namespace tk
