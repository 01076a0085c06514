#include "app/huge_page_heap.h"

#include <cstdlib>
#include <fstream>
#include <string>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace tolvani {
namespace {

constexpr char kTunables[] = "GLIBC_TUNABLES";
constexpr char kHugeHeap[] = "glibc.malloc.hugetlb=1";
// Set only between the restart and the started process's first step: the
// caller's GLIBC_TUNABLES ("" when it had none).
constexpr char kCallerTunables[] = "TOLVANI_CALLER_GLIBC_TUNABLES";

bool ThpOnRequestOnly() {
  std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  std::getline(in, modes);
  return modes.find("[madvise]") != std::string::npos;
}

void PutBack(const std::string& caller, bool hadTunables) {
  if (hadTunables) {
    setenv(kTunables, caller.c_str(), 1);
  } else {
    unsetenv(kTunables);
  }
  unsetenv(kCallerTunables);
}

}  // namespace

void RestartWithHugePageHeap(char** argv) {
#if defined(__GLIBC__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
  if (const char* caller = std::getenv(kCallerTunables)) {
    // The started process: the heap is on huge pages now.
    const std::string value = caller;
    PutBack(value, !value.empty());
    return;
  }
  const char* current = std::getenv(kTunables);
  const std::string before = current ? current : "";
  if (before.find("glibc.malloc.hugetlb") != std::string::npos || !ThpOnRequestOnly()) return;
  const std::string tuned = before.empty() ? kHugeHeap : before + ":" + kHugeHeap;
  setenv(kCallerTunables, before.c_str(), 1);
  setenv(kTunables, tuned.c_str(), 1);
  execv("/proc/self/exe", argv);
  // Not restarted: carry on with ordinary pages.
  PutBack(before, current != nullptr);
#else
  (void)argv;
#endif
}

}  // namespace tolvani
