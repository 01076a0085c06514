// The player's heap on transparent huge pages. Most of the player's
// start-up went into faulting in fresh 4 KiB heap pages (textures, balloon
// cards, the software rasteriser's buffers): about 23,000 faults before the
// first frame. glibc's malloc asks the kernel for 2 MiB pages for its heap
// when the tunable glibc.malloc.hugetlb=1 is set, and it reads its tunables
// only when a process starts; so the player starts itself once more with
// the tunable added (measured: 7,500 faults, start-up 550 -> 390 ms).
#pragma once

namespace tolvani {

// Replaces the process with the same program and arguments started with
// glibc.malloc.hugetlb=1 added to GLIBC_TUNABLES, when that helps: glibc on
// Linux, the kernel's transparent huge pages in "madvise" mode (in "always"
// the heap has them already, in "never" nothing would change), no sanitizer
// (it has its own allocator), and the tunable not chosen by the caller.
// In the started process it puts GLIBC_TUNABLES back as the caller had it,
// so that programs the player starts do not inherit the tunable, and
// returns. Returns at once, changing nothing, where the restart does not
// apply or fails. Call first thing in main(), before any thread starts.
void RestartWithHugePageHeap(char** argv);

}  // namespace tolvani
