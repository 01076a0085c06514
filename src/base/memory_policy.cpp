#include "base/memory_policy.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/two_threads.h"

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

#if defined(__linux__)
constexpr uintptr_t kPage = 4096;
// MADV_POPULATE_WRITE (Linux 5.14): older headers lack the name; an older
// kernel refuses the advice, which leaves the ordinary page faults.
constexpr int kPopulateWrite = 23;

using PageRuns = std::vector<std::pair<uintptr_t, uintptr_t>>;

// The whole pages inside [data, data + bytes).
std::pair<uintptr_t, uintptr_t> InnerPages(const void* data, size_t bytes) {
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kPage - 1);
  return {begin, std::max(begin, end)};
}

// The runs of pages in [begin, end) (page-aligned) that are not mapped yet:
// a block reused from freed memory usually has all its pages already, and
// asking is far cheaper than populating mapped pages again (one call for
// the whole range against a page-table walk per page). All of the range
// when the kernel cannot tell.
PageRuns UnmappedRuns(uintptr_t begin, uintptr_t end) {
  if (end <= begin) return {};
  std::vector<unsigned char> mapped((end - begin) / kPage);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, mapped.data()) != 0)
    return {{begin, end}};
  PageRuns runs;
  for (size_t p = 0; p < mapped.size();) {
    if (mapped[p] & 1) {
      ++p;
      continue;
    }
    size_t q = p;
    while (q < mapped.size() && !(mapped[q] & 1)) ++q;
    runs.push_back({begin + p * kPage, begin + q * kPage});
    p = q;
  }
  return runs;
}

uintptr_t RunBytes(const PageRuns& runs) {
  uintptr_t bytes = 0;
  for (const auto& [a, b] : runs) bytes += b - a;
  return bytes;
}

// Populates the bytes [from, to) of the runs, counted along them.
void PopulateRuns(const PageRuns& runs, uintptr_t from, uintptr_t to) {
  uintptr_t seen = 0;
  for (const auto& [a, b] : runs) {
    const uintptr_t lo = std::max(a, a + (from > seen ? from - seen : 0));
    const uintptr_t hi = std::min(b, a + (to > seen ? to - seen : 0));
    if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, kPopulateWrite);
    seen += b - a;
    if (seen >= to) break;
  }
}
#endif

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

void Prefault(const void* data, size_t bytes) {
#if defined(__linux__)
  if (bytes < kPrefaultMinBytes) return;
  AdviseHugePages(LoadBuffer::Model, data, bytes);
  const auto [begin, end] = InnerPages(data, bytes);
  const PageRuns runs = UnmappedRuns(begin, end);
  const uintptr_t missing = RunBytes(runs);
  if (missing == 0) return;
  // Halves of the missing pages, counted in bytes along the runs.
  const uintptr_t mid = (missing / 2) & ~(kPage - 1);
  RunSplit(
      TwoThreadsPay(missing, kPrefaultMinBytes / 2), [&] { PopulateRuns(runs, 0, mid); },
      [&] { PopulateRuns(runs, mid, missing); });
#else
  (void)data;
  (void)bytes;
#endif
}

BackgroundPrefault::~BackgroundPrefault() {
  if (worker_.joinable()) worker_.join();
}

void BackgroundPrefault::Add(const void* data, size_t advise, size_t populate) {
#if defined(__linux__)
  if (advise < kPrefaultMinBytes) return;
  AdviseHugePages(LoadBuffer::Model, data, advise);
  const auto range = InnerPages(data, std::min(advise, populate));
  if (range.second > range.first) ranges_.push_back(range);
#else
  (void)data;
  (void)advise;
  (void)populate;
#endif
}

void BackgroundPrefault::Start() {
#if defined(__linux__)
  if (ranges_.empty() || !SecondCoreAvailable()) return;
  worker_ = std::thread([ranges = ranges_] {
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
      const PageRuns runs = UnmappedRuns(it->first, it->second);
      PopulateRuns(runs, 0, RunBytes(runs));
    }
  });
#endif
}

}  // namespace tolvani
