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

}  // namespace tolvani
