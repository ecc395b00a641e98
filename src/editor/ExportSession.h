#pragma once

namespace tk {

// A running export that can be told to stop. The exporters hand one to the view model so that
// its cancelExport reaches them. cancel() is called on the main thread and must not block.
class ExportSession {
 public:
  virtual ~ExportSession() = default;
  virtual void cancel() = 0;
};

}  // namespace tk
