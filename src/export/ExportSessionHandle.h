#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "editor/ExportSession.h"
#include "platform/ffmpeg/AssetExportSession.h"

namespace tk {

// The view model's hold on a running export. The exporter attaches its AssetExportSession once it
// has built one; a cancel that comes before that stops the session as soon as it is attached, so a
// cancel is never lost in the gap. Any thread may call any function.
class ExportSessionHandle : public ExportSession {
 public:
  void cancel() override;
  bool isCancelled() const { return cancelled_.load(); }
  void attach(const std::shared_ptr<AssetExportSession>& session);
  // The attached session's progress, 0 before one is attached.
  float progress() const;

 private:
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::weak_ptr<AssetExportSession> session_;
};

}  // namespace tk
