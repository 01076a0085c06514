#include "base/memory_policy.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tolvani {
namespace {

int InitialHugePageAdvice() {
  const char* env = std::getenv("TOLVANI_HUGE_PAGES");
  return env != nullptr && std::strcmp(env, "1") == 0 ? 1 : 0;
}

std::atomic<int>& HugePageFlag() {
  static std::atomic<int> flag{InitialHugePageAdvice()};
  return flag;
}

}  // namespace

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // 32 MiB is the largest mmap threshold glibc accepts on 64-bit; fixing it
  // also stops the dynamic threshold from moving.
  // Every block comes from the heap, none from a mapping of its own: a
  // freed block (the arrays of the project just closed, a driver's frame
  // buffers) is reused already faulted in instead of being unmapped and
  // faulted in again. The heap is only trimmed above 1 GiB of free top.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 16 << 20);
#endif
}

bool HugePageAdvice() {
  return HugePageFlag().load(std::memory_order_relaxed) != 0;
}

void SetHugePageAdvice(bool on) {
  HugePageFlag().store(on ? 1 : 0, std::memory_order_relaxed);
}

void AdviseHugePages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (!HugePageAdvice()) return;
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace tolvani
