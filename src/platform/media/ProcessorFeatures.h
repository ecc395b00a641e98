#pragma once

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

}  // namespace tk
