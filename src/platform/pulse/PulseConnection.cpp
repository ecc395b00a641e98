#include "platform/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include "platform/media/Error.h"

namespace tk {

namespace {

constexpr const char* kDomain = "PulseAudio";

PulseConnection::SourceInfo sourceInfoFrom(const pa_source_info& info) {
  PulseConnection::SourceInfo source;
  source.index = info.index;
  source.name = info.name ? info.name : "";
  source.description = info.description ? info.description : source.name;
  if (const char* bus = info.proplist ? pa_proplist_gets(info.proplist, PA_PROP_DEVICE_BUS) : nullptr)
    source.bus = bus;
  source.isMonitor = info.monitor_of_sink != PA_INVALID_INDEX;
  source.sampleRate = static_cast<int>(info.sample_spec.rate);
  source.channels = info.sample_spec.channels;
  return source;
}

}  // namespace

PulseConnection::PulseConnection(std::chrono::milliseconds timeout) : timeout_(timeout) {
  mainloop_ = pa_mainloop_new();
  if (!mainloop_) throw PlatformError(kDomain, -1, "Creating the sound server loop failed");
  context_ = pa_context_new(pa_mainloop_get_api(mainloop_), "tavelkombrix");
  if (!context_) {
    pa_mainloop_free(mainloop_);
    throw PlatformError(kDomain, -1, "Creating the sound server context failed");
  }
  try {
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      fail("Connecting to the sound server");
    runUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; },
             "Connecting to the sound server");
  } catch (...) {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_mainloop_free(mainloop_);
    throw;
  }
}

PulseConnection::~PulseConnection() {
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_set_subscribe_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  pa_mainloop_free(mainloop_);
}

std::string PulseConnection::describeFailure(const std::string& operation) const {
  return operation + ": " + pa_strerror(pa_context_errno(context_));
}

void PulseConnection::fail(const std::string& operation) const {
  throw PlatformError(kDomain, pa_context_errno(context_), describeFailure(operation));
}

void PulseConnection::runUntil(const std::function<bool()>& done, const std::string& operation) {
  const auto deadline = std::chrono::steady_clock::now() + timeout_;
  while (!done()) {
    const pa_context_state_t state = pa_context_get_state(context_);
    if (!PA_CONTEXT_IS_GOOD(state)) fail(operation);
    const auto remaining = deadline - std::chrono::steady_clock::now();
    if (remaining <= std::chrono::steady_clock::duration::zero())
      throw PlatformError(kDomain, PA_ERR_TIMEOUT, operation + ": " + pa_strerror(PA_ERR_TIMEOUT));
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(remaining).count();
    if (pa_mainloop_prepare(mainloop_, static_cast<int>(micros)) < 0 || pa_mainloop_poll(mainloop_) < 0 ||
        pa_mainloop_dispatch(mainloop_) < 0)
      throw PlatformError(kDomain, -1, operation + ": the sound server loop stopped");
  }
}

void PulseConnection::wait(pa_operation* operation, const std::string& what) {
  if (!operation) fail(what);
  try {
    runUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, what);
  } catch (...) {
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    throw;
  }
  pa_operation_unref(operation);
}

PulseConnection::ServerInfo PulseConnection::serverInfo() {
  ServerInfo result;
  auto callback = [](pa_context*, const pa_server_info* info, void* userdata) {
    auto* out = static_cast<ServerInfo*>(userdata);
    if (!info) return;
    out->defaultSourceName = info->default_source_name ? info->default_source_name : "";
    out->defaultSinkName = info->default_sink_name ? info->default_sink_name : "";
  };
  wait(pa_context_get_server_info(context_, callback, &result), "Reading the sound server's defaults");
  return result;
}

std::vector<PulseConnection::SourceInfo> PulseConnection::sources() {
  std::vector<SourceInfo> result;
  auto callback = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info) return;
    static_cast<std::vector<SourceInfo>*>(userdata)->push_back(sourceInfoFrom(*info));
  };
  wait(pa_context_get_source_info_list(context_, callback, &result), "Listing the sound sources");
  return result;
}

PulseConnection::SourceInfo PulseConnection::source(const std::string& name) {
  struct Lookup {
    bool found = false;
    SourceInfo info;
  } lookup;
  auto callback = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info) return;
    auto* out = static_cast<Lookup*>(userdata);
    out->found = true;
    out->info = sourceInfoFrom(*info);
  };
  const std::string what = "Looking up the sound source \"" + name + "\"";
  wait(pa_context_get_source_info_by_name(context_, name.c_str(), callback, &lookup), what);
  if (!lookup.found)
    throw PlatformError(kDomain, PA_ERR_NOENTITY, what + ": " + pa_strerror(PA_ERR_NOENTITY));
  return lookup.info;
}

std::string PulseConnection::monitorOfSink(const std::string& sinkName) {
  struct Lookup {
    bool found = false;
    std::string monitor;
  } lookup;
  auto callback = [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol || !info) return;
    auto* out = static_cast<Lookup*>(userdata);
    out->found = true;
    out->monitor = info->monitor_source_name ? info->monitor_source_name : "";
  };
  const std::string what = "Looking up the sound output \"" + sinkName + "\"";
  wait(pa_context_get_sink_info_by_name(context_, sinkName.c_str(), callback, &lookup), what);
  if (!lookup.found || lookup.monitor.empty())
    throw PlatformError(kDomain, PA_ERR_NOENTITY, what + ": " + pa_strerror(PA_ERR_NOENTITY));
  return lookup.monitor;
}

}  // namespace tk
