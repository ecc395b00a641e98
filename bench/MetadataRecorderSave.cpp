// Saves the metadata of a long recording: a recorder fed with a million distinct cursor samples
// (about nine hours at the 30 Hz sampling rate), then stopped and saved. Reports how long recording
// the samples, saving and reading the file back take, and the file's size.
// --short: a small load, so CI keeps the program working.

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "model/MetadataRecorder.h"
#include "platform/qt/Diagnostics.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory of the process so far, in MB (VmHWM).
double peakMegabytes() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kilobytes = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kilobytes) == 1) break;
  }
  std::fclose(status);
  return kilobytes / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const int samples = shortRun ? 20'000 : 1'000'000;

  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot create a temporary folder\n");
    return 1;
  }
  const std::filesystem::path file = dir.filePath("bench.metadata.json").toStdString();

  // The recorder's own lines are not what is measured.
  tk::Diagnostics::setSink([](const std::string&) {});
  double clock = 0;
  tk::MetadataRecorder recorder(QSizeF(3840, 2160), 60, [&clock] { return clock; });
  recorder.startRecording(std::chrono::system_clock::now());

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < samples; ++i) {
    clock += 1.0 / 30;
    const double phase = i * 0.001;
    recorder.recordCursorPosition(QPointF(0.5 + 0.4 * std::sin(phase), 0.5 + 0.4 * std::cos(phase * 1.3)));
  }
  const double recordSeconds = secondsSince(start);
  const double recordPeak = peakMegabytes();
  recorder.stopRecording(clock);

  start = std::chrono::steady_clock::now();
  recorder.saveMetadata(file);
  const double saveSeconds = secondsSince(start);
  const double savePeak = peakMegabytes();
  const auto bytes = std::filesystem::file_size(file);

  start = std::chrono::steady_clock::now();
  const tk::RecordingMetadata read = tk::readRecordingMetadata(file);
  const double readSeconds = secondsSince(start);
  tk::Diagnostics::setSink({});

  const size_t kept = recorder.metadata().cursorPositions.size();
  std::printf("MetadataRecorderSave: %zu cursor samples kept of %d offered\n", kept, samples);
  std::printf("  record: %.3f s (%.0f ns per sample), peak memory %.0f MB\n", recordSeconds,
              recordSeconds * 1e9 / samples, recordPeak);
  std::printf("  save:   %.3f s, peak memory %.0f MB\n", saveSeconds, savePeak);
  std::printf("  file:   %llu bytes (%.1f MB)\n", static_cast<unsigned long long>(bytes), bytes / 1e6);
  std::printf("  read:   %.3f s\n", readSeconds);
  if (kept != static_cast<size_t>(samples) || read.cursorPositions.size() != kept) {
    std::fprintf(stderr, "samples were lost\n");
    return 1;
  }
  return 0;
}
