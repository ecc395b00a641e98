#pragma once

#include <cstddef>
#include <cstdint>

namespace tk {

// Whether the processor runs AVX2: the pixel loops built twice (plain and AVX2) pick theirs once,
// at load, by it.
inline bool hasAvx2() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// Asks for the cache line `bytes` past `at` to be read in. The address may lie past the end of the
// buffer (a hint never faults), so it is computed as a number, not as a pointer into the buffer.
inline void prefetchAhead(const void* at, std::ptrdiff_t bytes) {
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(at) + bytes));
}

}  // namespace tk
