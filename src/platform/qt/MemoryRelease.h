#pragma once

#include <cstdint>
#include <optional>

namespace tk {

// How the process gives memory back to the system. Frames are megabytes each; glibc would keep
// the heap that held them (its mmap threshold grows with every large block freed, and each thread
// gets an arena of its own), so a process that recorded or edited once would stay large for good.
// Any thread.
class MemoryRelease {
 public:
  // Called once at start, before threads: large blocks are always mapped (and unmapped when
  // freed), and the arenas are few.
  static void configure();
  // Returns the free pages of every arena to the system; after a big window or a recording has
  // gone.
  static void trim();
  // The process's resident size in bytes (VmRSS), if the system tells it.
  static std::optional<uint64_t> residentBytes();
};

}  // namespace tk
