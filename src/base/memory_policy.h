// Process-wide memory policy: how freed memory is kept and whether the large
// load buffers (model arrays, normals, drawing vertices, images) ask the
// kernel for 2 MiB pages.
#pragma once

#include <cstddef>

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

// Whether AdviseHugePages asks for 2 MiB pages. Off unless set; the
// environment variable TOLVANI_HUGE_PAGES=1 (or 0) sets the start value.
bool HugePageAdvice();
void SetHugePageAdvice(bool on);

// Asks for 2 MiB pages over the 2 MiB-aligned part of [data, data + bytes)
// when HugePageAdvice() is on and the block spans at least one such page.
// Call before the block is first written. A kernel that refuses (no
// transparent huge pages, old kernel) leaves ordinary pages: nothing else
// changes.
void AdviseHugePages(const void* data, size_t bytes);

}  // namespace tolvani
