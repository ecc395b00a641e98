#include "platform/qt/MemoryRelease.h"

#include <malloc.h>

#include <fstream>
#include <string>

namespace tk {

void MemoryRelease::configure() {
#if defined(__GLIBC__)
  // Fixed values also turn off glibc's growing threshold, which would otherwise soon put every
  // frame-sized block on a heap that never shrinks.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
  mallopt(M_ARENA_MAX, 4);
#endif
}

void MemoryRelease::trim() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

std::optional<uint64_t> MemoryRelease::residentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return std::nullopt;
}

}  // namespace tk
