#include "base/simd_level.h"

#include <atomic>

namespace tolvani {
namespace {

std::atomic<SimdLevel> g_cap{SimdLevel::Avx512};

SimdLevel ProbeCpu() {
#if defined(__x86_64__) || defined(__i386__)
  // Each level needs the ones before it, so a CPU (or a virtual machine)
  // that hides a narrower set stops there.
  if (!__builtin_cpu_supports("ssse3")) return SimdLevel::Portable;
  if (!__builtin_cpu_supports("avx2")) return SimdLevel::Sse;
  if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") ||
      !__builtin_cpu_supports("avx512vbmi"))
    return SimdLevel::Avx2;
  return SimdLevel::Avx512;
#else
  return SimdLevel::Portable;
#endif
}

}  // namespace

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::Portable:
      return "Portable";
    case SimdLevel::Sse:
      return "Sse";
    case SimdLevel::Avx2:
      return "Avx2";
    case SimdLevel::Avx512:
      return "Avx512";
  }
  return "?";
}

SimdLevel CpuSimdLevel() {
  static const SimdLevel level = ProbeCpu();
  return level;
}

SimdLevel DefaultSimdLevel() {
  return RunnableSimdLevel(g_cap.load(std::memory_order_relaxed));
}

void LimitSimdLevel(SimdLevel most) {
  g_cap.store(most, std::memory_order_relaxed);
}

}  // namespace tolvani
