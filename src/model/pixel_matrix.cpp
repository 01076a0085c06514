#include "model/pixel_matrix.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace tolvani {

namespace {
// A cache line: the reader's transposing stores and the texture conversion
// read whole lines from the start of the image.
constexpr std::align_val_t kAlignment{64};
}  // namespace

void PixelMatrix::Allocate() {
  const size_t bytes = byteSize();
  if (bytes == 0 || bytes <= kInlineBytes) {
    store_.heap = nullptr;  // inline images' bytes are written by the caller
    return;
  }
  // Left unset: the reader writes every sample, and zero-filling a large
  // image would cost a pass over it.
  store_.heap = static_cast<uint8_t*>(::operator new[](bytes, kAlignment));
}

void PixelMatrix::Free() {
  if (!empty() && !isInline()) ::operator delete[](store_.heap, kAlignment);
  store_.heap = nullptr;
}

PixelMatrix::PixelMatrix(int rows, int cols, int channels) {
  if (rows < 0 || cols < 0) throw std::invalid_argument("PixelMatrix: negative side");
  if (channels != 3 && channels != 4) throw std::invalid_argument("PixelMatrix: channels");
  const size_t rowBytes = static_cast<size_t>(cols) * static_cast<size_t>(channels);
  if (rows != 0 && rowBytes > std::numeric_limits<size_t>::max() / static_cast<size_t>(rows))
    throw std::length_error("PixelMatrix: too large");
  rows_ = rows;
  cols_ = cols;
  channels_ = channels;
  Allocate();
}

PixelMatrix::~PixelMatrix() {
  Free();
}

PixelMatrix::PixelMatrix(const PixelMatrix& other)
    : rows_(other.rows_), cols_(other.cols_), channels_(other.channels_) {
  Allocate();
  if (!empty()) std::memcpy(data(), other.data(), byteSize());
}

PixelMatrix& PixelMatrix::operator=(const PixelMatrix& other) {
  if (this != &other) *this = PixelMatrix(other);
  return *this;
}

PixelMatrix::PixelMatrix(PixelMatrix&& other) noexcept
    : rows_(std::exchange(other.rows_, 0)),
      cols_(std::exchange(other.cols_, 0)),
      channels_(std::exchange(other.channels_, 0)),
      store_(std::exchange(other.store_, Store{nullptr})) {}

PixelMatrix& PixelMatrix::operator=(PixelMatrix&& other) noexcept {
  if (this == &other) return *this;
  Free();
  rows_ = std::exchange(other.rows_, 0);
  cols_ = std::exchange(other.cols_, 0);
  channels_ = std::exchange(other.channels_, 0);
  store_ = std::exchange(other.store_, Store{nullptr});
  return *this;
}

void PixelMatrix::Fill(std::initializer_list<uint8_t> pixel) {
  uint8_t value[4] = {0, 0, 0, 0};
  size_t k = 0;
  for (const uint8_t v : pixel)
    if (k < 4) value[k++] = v;
  const size_t n = static_cast<size_t>(channels_);
  uint8_t* p = data();
  for (size_t i = 0, end = byteSize(); i < end; i += n) std::memcpy(p + i, value, n);
}

}  // namespace tolvani
