#include "export/ExportSessionHandle.h"

namespace tk {

void ExportSessionHandle::cancel() {
  std::shared_ptr<AssetExportSession> session;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    session = session_.lock();
  }
  if (session) session->cancelExport();
}

void ExportSessionHandle::attach(const std::shared_ptr<AssetExportSession>& session) {
  {
    std::lock_guard lock(mutex_);
    session_ = session;
    if (!cancelled_) return;
  }
  if (session) session->cancelExport();
}

float ExportSessionHandle::progress() const {
  std::lock_guard lock(mutex_);
  auto session = session_.lock();
  return session ? session->progress() : 0.0f;
}

}  // namespace tk
