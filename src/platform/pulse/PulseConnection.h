#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct pa_mainloop;
struct pa_context;
struct pa_operation;

namespace tk {

// A client connection to the sound server on its own pa_mainloop. The loop is driven by whichever
// one thread uses the connection at a time (the caller while setting up, a record stream's thread
// afterwards); the object is not safe to use from two threads at once.
class PulseConnection {
 public:
  struct ServerInfo {
    std::string defaultSourceName;
    std::string defaultSinkName;
  };

  struct SourceInfo {
    uint32_t index = 0;
    std::string name;
    std::string description;
    std::string bus;         // the "device.bus" property: "usb", "pci", ... or empty
    bool isMonitor = false;  // the monitor of a sink: what plays, not a microphone
    int sampleRate = 0;
    int channels = 0;
  };

  // Connects without spawning a server. Throws PlatformError (domain "PulseAudio") carrying the
  // server's message when no server answers within `timeout`.
  explicit PulseConnection(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_mainloop* mainloop() const { return mainloop_; }
  pa_context* context() const { return context_; }

  ServerInfo serverInfo();
  std::vector<SourceInfo> sources();
  // Throws PlatformError when the server knows no source of that name.
  SourceInfo source(const std::string& name);
  // The name of the monitor source of a sink; throws when the sink is unknown.
  std::string monitorOfSink(const std::string& sinkName);

  // Drives the loop until `done` holds; throws PlatformError naming `operation` when the context
  // fails or the timeout passes first.
  void runUntil(const std::function<bool()>& done, const std::string& operation);
  // Waits for an operation (and releases it).
  void wait(pa_operation* operation, const std::string& what);

  // "<operation>: <the server's message>"
  std::string describeFailure(const std::string& operation) const;
  [[noreturn]] void fail(const std::string& operation) const;

 private:
  pa_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  std::chrono::milliseconds timeout_;
};

}  // namespace tk
