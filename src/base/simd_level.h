// Instruction-set levels of the SIMD kernels (image transposition, corner
// normals). Every kernel family has a portable kernel and may have kernels
// at wider levels; all of a family's kernels give the same bytes for the
// same input. A caller names the level to run; a level this CPU lacks, or
// one a family has no kernel for, runs the widest kernel below it.
#pragma once

namespace tolvani {

// Plainest first; each level includes the ones before it.
enum class SimdLevel : int {
  Portable,  // no instruction set beyond the build's baseline (SSE2 on x86-64)
  Sse,       // SSSE3
  Avx2,      // AVX2 (no fused multiply-add: results stay bit-identical)
  Avx512,    // AVX-512 F, BW and VBMI
};

inline constexpr SimdLevel kSimdLevels[] = {SimdLevel::Portable, SimdLevel::Sse, SimdLevel::Avx2,
                                            SimdLevel::Avx512};

// "Portable", "Sse", "Avx2", "Avx512": for test names and reports.
const char* SimdLevelName(SimdLevel level);

// The widest level this CPU runs (probed once; Portable off x86).
SimdLevel CpuSimdLevel();

inline bool SimdLevelSupported(SimdLevel level) {
  return level <= CpuSimdLevel();
}

// `wanted`, or the widest level below it that this CPU runs.
inline SimdLevel RunnableSimdLevel(SimdLevel wanted) {
  const SimdLevel cpu = CpuSimdLevel();
  return wanted < cpu ? wanted : cpu;
}

// The level the program runs its kernels at: CpuSimdLevel() within the
// process-wide cap set by LimitSimdLevel (none by default).
SimdLevel DefaultSimdLevel();

// Caps DefaultSimdLevel for the whole process (benchmarks compare levels
// through whole reads and opens). Work already running keeps the level it
// started with.
void LimitSimdLevel(SimdLevel most);

}  // namespace tolvani
