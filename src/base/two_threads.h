// Work halved over two threads: the caller's and one helper. Each half
// must write only its own part of preallocated outputs.
#pragma once

#include <cstddef>
#include <thread>

namespace tolvani {

// Whether a helper thread can run beside the caller: a second core, in a
// build with threads (not WebAssembly without pthreads).
inline bool SecondCoreAvailable() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  return false;
#else
  return std::thread::hardware_concurrency() >= 2;
#endif
}

// Whether `count` items are worth halving over two threads: at least
// minPerThread items each, and a second core to run them on.
inline bool TwoThreadsPay(size_t count, size_t minPerThread) {
  return count >= 2 * minPerThread && SecondCoreAvailable();
}

// Runs a then b, or both at once (b on the helper) when split.
template <typename A, typename B>
void RunSplit(bool split, const A& a, const B& b) {
  if (!split) {
    a();
    b();
    return;
  }
  std::thread worker(b);
  a();
  worker.join();
}

// Runs body(begin, end) over [0, count): once, or on the halves [0, half)
// and [half, count) at once when TwoThreadsPay(count, minPerThread).
template <typename Body>
void ForHalves(size_t count, size_t minPerThread, const Body& body) {
  const bool split = TwoThreadsPay(count, minPerThread);
  const size_t half = split ? count / 2 : count;
  RunSplit(
      split, [&] { body(size_t{0}, half); }, [&] { body(half, count); });
}

}  // namespace tolvani
