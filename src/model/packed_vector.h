// Compact containers for the many small records of a project: a file can
// hold millions of models or timelines whose lists are mostly empty, so the
// fixed size of each list decides the memory per file byte.
//
// PackedVector<T>: a vector in one pointer (8 bytes). Size, capacity and
// elements live in one heap block; an empty vector holds no block. The
// interface is the part of std::vector the records use; iterators are
// plain pointers and are invalidated as std::vector's are.
//
// PackedString: UTF-16 text in one pointer, read as a std::u16string_view.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace tolvani {

template <typename T>
class PackedVector {
 public:
  using value_type = T;
  using size_type = size_t;
  using iterator = T*;
  using const_iterator = const T*;
  using reference = T&;
  using const_reference = const T&;

  PackedVector() noexcept = default;
  explicit PackedVector(size_t n) { resize(n); }
  PackedVector(size_t n, const T& value) { assign(n, value); }
  PackedVector(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  PackedVector(It first, It last) {
    assign(first, last);
  }
  PackedVector(const PackedVector& other) { assign(other.begin(), other.end()); }
  PackedVector(PackedVector&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  ~PackedVector() { Free(); }
  PackedVector& operator=(const PackedVector& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  PackedVector& operator=(PackedVector&& other) noexcept {
    if (this != &other) {
      Free();
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
  PackedVector& operator=(std::initializer_list<T> values) {
    assign(values.begin(), values.end());
    return *this;
  }

  size_t size() const noexcept { return block_ ? block_->size : 0; }
  size_t capacity() const noexcept { return block_ ? block_->capacity : 0; }
  bool empty() const noexcept { return size() == 0; }
  T* data() noexcept { return block_ ? Elements(block_) : nullptr; }
  const T* data() const noexcept { return block_ ? Elements(block_) : nullptr; }
  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size(); }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size(); }
  const_iterator cbegin() const noexcept { return begin(); }
  const_iterator cend() const noexcept { return end(); }
  T& operator[](size_t i) noexcept { return Elements(block_)[i]; }
  const T& operator[](size_t i) const noexcept { return Elements(block_)[i]; }
  T& front() noexcept { return (*this)[0]; }
  const T& front() const noexcept { return (*this)[0]; }
  T& back() noexcept { return (*this)[size() - 1]; }
  const T& back() const noexcept { return (*this)[size() - 1]; }

  void reserve(size_t n) {
    if (n > capacity()) Reallocate(n);
  }
  void shrink_to_fit() {
    if (size() == 0) {
      Free();
    } else if (size() < capacity()) {
      Reallocate(size());
    }
  }
  void clear() noexcept {
    if (!block_) return;
    std::destroy(begin(), end());
    block_->size = 0;
  }
  // Value-initialises new elements, as std::vector does.
  void resize(size_t n) {
    const size_t old = size();
    if (n <= old) {
      Truncate(n);
      return;
    }
    reserve(n);
    std::uninitialized_value_construct(Elements(block_) + old, Elements(block_) + n);
    block_->size = n;
  }
  void resize(size_t n, const T& value) {
    const size_t old = size();
    if (n <= old) {
      Truncate(n);
      return;
    }
    if (n > capacity()) {
      const T copy = value;  // value may live in this vector
      Reallocate(n);
      std::uninitialized_fill(Elements(block_) + old, Elements(block_) + n, copy);
    } else {
      std::uninitialized_fill(Elements(block_) + old, Elements(block_) + n, value);
    }
    block_->size = n;
  }
  void assign(size_t n, const T& value) {
    const T copy = value;
    clear();
    resize(n, copy);
  }
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  void assign(It first, It last) {
    PackedVector fresh;
    const auto n = static_cast<size_t>(std::distance(first, last));
    if (n > 0) {
      fresh.Reallocate(n);
      std::uninitialized_copy(first, last, Elements(fresh.block_));
      fresh.block_->size = n;
    }
    *this = std::move(fresh);
  }
  void assign(std::initializer_list<T> values) { assign(values.begin(), values.end()); }

  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  template <typename... Args>
  T& emplace_back(Args&&... args) {
    const size_t n = size();
    if (n == capacity()) {
      T made(std::forward<Args>(args)...);  // args may refer into this vector
      Grow(n + 1);
      T* slot = ::new (static_cast<void*>(Elements(block_) + n)) T(std::move(made));
      block_->size = n + 1;
      return *slot;
    }
    T* slot = ::new (static_cast<void*>(Elements(block_) + n)) T(std::forward<Args>(args)...);
    block_->size = n + 1;
    return *slot;
  }
  void pop_back() noexcept { Truncate(size() - 1); }
  // Inserts [first, last) before pos.
  template <typename It, typename = typename std::iterator_traits<It>::iterator_category>
  iterator insert(const_iterator pos, It first, It last) {
    const size_t at = static_cast<size_t>(pos - begin());
    const size_t n = static_cast<size_t>(std::distance(first, last));
    if (at == size()) {
      // Appending: geometric growth, as push_back.
      if (n == 0) return end();
      if (size() + n > capacity()) {
        PackedVector appended(first, last);  // the range may lie in this vector
        Grow(size() + n);
        std::uninitialized_move(appended.begin(), appended.end(), Elements(block_) + at);
        block_->size = at + n;
      } else {
        std::uninitialized_copy(first, last, Elements(block_) + at);
        block_->size = at + n;
      }
      return begin() + at;
    }
    PackedVector inserted(first, last);  // the range may lie in this vector
    PackedVector merged;
    merged.reserve(size() + n);
    for (size_t i = 0; i < at; ++i) merged.emplace_back(std::move((*this)[i]));
    for (T& value : inserted) merged.emplace_back(std::move(value));
    for (size_t i = at; i < size(); ++i) merged.emplace_back(std::move((*this)[i]));
    *this = std::move(merged);
    return begin() + at;
  }
  iterator erase(const_iterator first, const_iterator last) {
    const size_t at = static_cast<size_t>(first - begin());
    const size_t count = static_cast<size_t>(last - first);
    if (count == 0) return begin() + at;
    std::move(begin() + at + count, end(), begin() + at);
    Truncate(size() - count);
    return begin() + at;
  }
  iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
  void swap(PackedVector& other) noexcept { std::swap(block_, other.block_); }

  friend bool operator==(const PackedVector& a, const PackedVector& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  // Equal to any range of comparable elements (a std::vector, for one).
  template <typename Range>
  requires(!std::is_same_v<Range, PackedVector>) && requires(const Range& r) {
    std::begin(r);
    std::end(r);
  }
  friend bool operator==(const PackedVector& a, const Range& b) {
    return std::equal(a.begin(), a.end(), std::begin(b), std::end(b),
                      [](const T& x, const auto& y) { return x == y; });
  }

 private:
  struct alignas(std::max_align_t) Block {
    size_t size;
    size_t capacity;
  };
  static_assert(alignof(T) <= alignof(Block), "PackedVector elements need a stronger alignment");

  static T* Elements(Block* b) noexcept { return reinterpret_cast<T*>(b + 1); }
  static const T* Elements(const Block* b) noexcept { return reinterpret_cast<const T*>(b + 1); }

  void Truncate(size_t n) noexcept {
    if (!block_ || n >= block_->size) return;
    std::destroy(Elements(block_) + n, Elements(block_) + block_->size);
    block_->size = n;
  }
  void Grow(size_t minimum) { Reallocate(std::max(minimum, capacity() * 2)); }
  void Reallocate(size_t capacity) {
    if (capacity > (SIZE_MAX - sizeof(Block)) / sizeof(T)) throw std::bad_alloc();
    void* memory = std::malloc(sizeof(Block) + capacity * sizeof(T));
    if (!memory) throw std::bad_alloc();
    Block* fresh = ::new (memory) Block{0, capacity};
    if (block_) {
      const size_t n = block_->size;
      if constexpr (std::is_trivially_copyable_v<T>) {
        if (n > 0)
          std::memcpy(static_cast<void*>(Elements(fresh)), Elements(block_), n * sizeof(T));
      } else {
        std::uninitialized_move(Elements(block_), Elements(block_) + n, Elements(fresh));
      }
      fresh->size = n;
      Free();
    }
    block_ = fresh;
  }
  void Free() noexcept {
    if (!block_) return;
    std::destroy(Elements(block_), Elements(block_) + block_->size);
    std::free(block_);
    block_ = nullptr;
  }

  Block* block_ = nullptr;
};

// UTF-16 text in one pointer; an empty string holds no memory.
class PackedString {
 public:
  PackedString() = default;
  PackedString(std::u16string_view text) { assign(text); }  // NOLINT: implicit, like a string
  PackedString(const std::u16string& text) : PackedString(std::u16string_view(text)) {}
  PackedString(const char16_t* text) : PackedString(std::u16string_view(text)) {}
  PackedString& operator=(std::u16string_view text) {
    assign(text);
    return *this;
  }
  PackedString& operator=(const std::u16string& text) { return *this = std::u16string_view(text); }
  PackedString& operator=(const char16_t* text) { return *this = std::u16string_view(text); }

  operator std::u16string_view() const noexcept { return view(); }  // NOLINT: implicit
  std::u16string_view view() const noexcept { return {chars_.data(), chars_.size()}; }
  std::u16string str() const { return std::u16string(view()); }
  size_t size() const noexcept { return chars_.size(); }
  bool empty() const noexcept { return chars_.empty(); }
  const char16_t* data() const noexcept { return chars_.data(); }
  char16_t operator[](size_t i) const noexcept { return chars_[i]; }
  void clear() noexcept { chars_ = {}; }

  friend bool operator==(const PackedString& a, const PackedString& b) {
    return a.view() == b.view();
  }
  friend bool operator==(const PackedString& a, std::u16string_view b) { return a.view() == b; }
  friend bool operator==(const PackedString& a, const std::u16string& b) {
    return a.view() == std::u16string_view(b);
  }
  friend bool operator==(const PackedString& a, const char16_t* b) {
    return a.view() == std::u16string_view(b);
  }
  friend std::u16string operator+(const PackedString& a, std::u16string_view b) {
    std::u16string out(a.view());
    out += b;
    return out;
  }

 private:
  void assign(std::u16string_view text) { chars_.assign(text.begin(), text.end()); }
  PackedVector<char16_t> chars_;
};

// A list of short strings: all characters in one block, one 32-bit end
// offset per string (16 bytes when empty, 4 bytes per string plus its text).
class NameList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::u16string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::u16string_view;
    const_iterator() = default;
    const_iterator(const NameList* list, size_t i) : list_(list), i_(i) {}
    std::u16string_view operator*() const { return (*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++i_;
      return old;
    }
    difference_type operator-(const const_iterator& o) const {
      return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
    }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }

   private:
    const NameList* list_ = nullptr;
    size_t i_ = 0;
  };
  using value_type = std::u16string_view;

  NameList() = default;
  NameList(std::initializer_list<std::u16string_view> names) {
    for (std::u16string_view n : names) push_back(n);
  }
  NameList& operator=(std::initializer_list<std::u16string_view> names) {
    clear();
    for (std::u16string_view n : names) push_back(n);
    return *this;
  }

  size_t size() const noexcept { return ends_.size(); }
  bool empty() const noexcept { return ends_.empty(); }
  std::u16string_view operator[](size_t i) const noexcept {
    const uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return {chars_.data() + begin, ends_[i] - begin};
  }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  // Room for n names (their text grows as it comes).
  void reserve(size_t n) { ends_.reserve(n); }
  // Throws std::length_error past 2^32 - 1 characters in all.
  void push_back(std::u16string_view name) {
    if (name.size() > UINT32_MAX - chars_.size()) throw std::length_error("name list too long");
    chars_.insert(chars_.end(), name.begin(), name.end());
    ends_.push_back(static_cast<uint32_t>(chars_.size()));
  }
  void clear() noexcept {
    ends_ = {};
    chars_ = {};
  }

  friend bool operator==(const NameList& a, const NameList& b) {
    return a.ends_ == b.ends_ && a.chars_ == b.chars_;
  }
  template <typename Strings>
  friend bool operator==(const NameList& a, const Strings& b) requires requires {
    std::u16string_view(*std::begin(b));
  }
  {
    return std::equal(a.begin(), a.end(), std::begin(b), std::end(b),
                      [](std::u16string_view x, std::u16string_view y) { return x == y; });
  }

 private:
  PackedVector<uint32_t> ends_;
  PackedVector<char16_t> chars_;
};

}  // namespace tolvani
