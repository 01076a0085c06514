// The embedded image of a material: rows x columns of pixels, each of 3 or 4
// 8-bit samples in blue, green, red (, alpha) order. Row y starts step()
// bytes after row y - 1; rows are packed without padding (step() ==
// cols() * channels()).
//
// Storage: images of at most kInlineBytes samples (a pixel or two) are held
// inside the matrix itself, with no allocation: a file of a million 1 x 1
// textures must not pay an allocation and its alignment per texture. Larger
// images are allocated with their first row on a 64-byte boundary.
// Copying copies the samples; moving takes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace tolvani {

class PixelMatrix {
 public:
  // Samples held inside the matrix (no allocation) up to this many bytes.
  static constexpr size_t kInlineBytes = 8;

  PixelMatrix() = default;
  // rows x cols pixels of `channels` samples (3 or 4), left unset. A zero
  // side gives an empty matrix that still reports its sides and channels.
  // Throws std::invalid_argument for a negative side or another channel
  // count, std::length_error when the size overflows size_t.
  PixelMatrix(int rows, int cols, int channels);
  PixelMatrix(const PixelMatrix& other);
  PixelMatrix& operator=(const PixelMatrix& other);
  PixelMatrix(PixelMatrix&& other) noexcept;
  PixelMatrix& operator=(PixelMatrix&& other) noexcept;
  ~PixelMatrix();

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  int channels() const { return channels_; }
  // Bytes from one row to the next.
  size_t step() const { return static_cast<size_t>(cols_) * static_cast<size_t>(channels_); }
  // Bytes of all samples (rows() * step()).
  size_t byteSize() const { return step() * static_cast<size_t>(rows_); }
  // True when there is no sample (a zero side, or default-constructed).
  bool empty() const { return byteSize() == 0; }
  // Whether the samples live inside the matrix (byteSize() <= kInlineBytes).
  bool isInline() const { return !empty() && byteSize() <= kInlineBytes; }
  // nullptr when empty().
  uint8_t* data() { return isInline() ? store_.bytes : store_.heap; }
  const uint8_t* data() const { return isInline() ? store_.bytes : store_.heap; }
  // The first sample of row y, 0 <= y < rows().
  uint8_t* row(int y) { return data() + static_cast<size_t>(y) * step(); }
  const uint8_t* row(int y) const { return data() + static_cast<size_t>(y) * step(); }
  // Sets every pixel to `pixel` (channels() samples; extra ones are ignored,
  // missing ones are 0).
  void Fill(std::initializer_list<uint8_t> pixel);

 private:
  void Allocate();  // storage for byteSize() samples, sides already set
  void Free();      // back to no samples (sides untouched)

  int rows_ = 0, cols_ = 0, channels_ = 0;
  // Which member is live follows from the sides: isInline() or not.
  union Store {
    uint8_t* heap;
    alignas(8) uint8_t bytes[kInlineBytes];
  } store_{nullptr};
};

}  // namespace tolvani
