#include "base/memory_policy.h"

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

// -1: the defaults; 0 or 1: every kind off or on.
int HugePageOverride() {
  static const int value = [] {
    const char* env = std::getenv("TOLVANI_HUGE_PAGES");
    if (env == nullptr) return -1;
    return std::strcmp(env, "1") == 0 ? 1 : std::strcmp(env, "0") == 0 ? 0 : -1;
  }();
  return value;
}

}  // namespace

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // Every block comes from the heap, none from a mapping of its own: a
  // freed block (the arrays of the project just closed, a driver's frame
  // buffers) is reused already faulted in instead of being unmapped and
  // faulted in again. The heap is only trimmed above 1 GiB of free top.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 16 << 20);
#endif
}

bool HugePageAdvice(LoadBuffer kind) {
  const int forced = HugePageOverride();
  if (forced >= 0) return forced == 1;
  return kind == LoadBuffer::Image;
}

void AdviseHugePages(LoadBuffer kind, const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (!HugePageAdvice(kind)) return;
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)kind;
  (void)data;
  (void)bytes;
#endif
}

}  // namespace tolvani
