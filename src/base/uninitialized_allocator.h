// UninitializedAllocator: a std::allocator whose value-initialising
// construct (no arguments, as vector::resize(n) uses) leaves the element's
// bytes as allocated. For the large arrays of plain values (vertices,
// normals) that are sized once and then written element by element: the
// zero fill of a value-initialising resize would be a second pass over
// hundreds of megabytes of fresh memory.
//
// Only for implicit-lifetime types (trivially copyable, trivially
// destructible aggregates of floats and integers): their objects exist as
// soon as the storage is allocated. Every element must be written before it
// is read; construct with arguments (push_back, assign, resize(n, value))
// initialises as usual.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolvani {

template <typename T>
class UninitializedAllocator : public std::allocator<T> {
 public:
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };

  UninitializedAllocator() noexcept = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

  template <typename U>
  void construct(U*) noexcept {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const UninitializedAllocator&, const UninitializedAllocator&) noexcept {
    return true;
  }
};

// A vector whose resize(n) does not initialise the new elements.
template <typename T>
using UninitializedVector = std::vector<T, UninitializedAllocator<T>>;

}  // namespace tolvani
