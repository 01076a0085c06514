// Process-wide memory policy: how freed memory is kept, whether the large
// load buffers (model arrays, normals, drawing vertices, images) ask the
// kernel for 2 MiB pages, and how their pages are faulted in ahead of the
// first writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace tolvani {

// Keeps freed memory in the process instead of returning it to the kernel:
// every allocation comes from the C library's heap (no block gets a mapping
// of its own) and the heap is not trimmed below 1 GiB of free memory, so a
// freed block is reused with its pages already faulted in: a driver that
// allocates and frees megabytes per frame causes no page faults, and opening
// a project reuses the memory of the one closed before. The process keeps
// its peak heap size. Call once at start-up, before other threads run. Does
// nothing outside glibc.
void KeepFreedMemory();

// The large load buffers that may ask for 2 MiB pages.
enum class LoadBuffer {
  Image,  // embedded images, written once front to back by the reader
  Model,  // model arrays, face and corner normals, drawing vertices
};

// Whether AdviseHugePages asks for 2 MiB pages for a kind of buffer. By
// default images do (a fresh process reads a texture-heavy project 1.3 to
// 1.6 times faster) and model buffers do not (their first open was as fast
// or slower, the kernel compacting memory to find the pages). The
// environment variable TOLVANI_HUGE_PAGES=1 (or 0) turns the advice on (or
// off) for every kind, for measurements.
bool HugePageAdvice(LoadBuffer kind);

// Asks for 2 MiB pages over the 2 MiB-aligned part of [data, data + bytes)
// when HugePageAdvice(kind) is on and the block spans at least one such
// page. Call before the block is first written. A kernel that refuses (no
// transparent huge pages, old kernel) leaves ordinary pages: nothing else
// changes.
void AdviseHugePages(LoadBuffer kind, const void* data, size_t bytes);

// Blocks below this many bytes are left to the ordinary page faults.
inline constexpr size_t kPrefaultMinBytes = size_t{4} << 20;

// Maps the pages of a freshly reserved model block of `bytes` bytes for
// writing (2 MiB pages where AdviseHugePages asks for them) before its first
// writes: one call per run of missing pages instead of one page fault per
// 4 KiB, large blocks on two threads. Pages already mapped (a block reused
// from freed memory) are left alone. The contents never change. Does nothing
// for blocks under kPrefaultMinBytes, outside Linux, or where the kernel
// lacks MADV_POPULATE_WRITE (Linux 5.14).
void Prefault(const void* data, size_t bytes);

// Reserves n elements of an empty vector and faults their pages in.
template <typename T, typename A>
void ReserveFaulted(std::vector<T, A>& v, size_t n) {
  v.reserve(n);
  Prefault(v.data(), n * sizeof(T));
}

// Model arrays that a reader fills front to back, faulted in on a helper
// thread while the reader parses the stream. Populating only maps pages, so
// the reader's own writes may meet it anywhere. The thread is joined when the
// object goes: destroy it before the arrays can be freed.
class BackgroundPrefault {
 public:
  BackgroundPrefault() = default;
  BackgroundPrefault(const BackgroundPrefault&) = delete;
  BackgroundPrefault& operator=(const BackgroundPrefault&) = delete;
  ~BackgroundPrefault();

  // Asks for 2 MiB pages (as AdviseHugePages with LoadBuffer::Model) over
  // the `advise` bytes from data, and has Start fault in the first
  // `populate` of them. Blocks under kPrefaultMinBytes are left alone.
  void Add(const void* data, size_t advise, size_t populate);

  // Faults in the added blocks on a helper thread, last added first (the
  // reader writes the first ones first), skipping pages already mapped.
  // Nothing runs on a single core.
  void Start();

 private:
  std::vector<std::pair<uintptr_t, uintptr_t>> ranges_;  // page-aligned
  std::thread worker_;
};

}  // namespace tolvani
