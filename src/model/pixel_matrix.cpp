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

void PixelMatrix::AlignedDelete::operator()(uint8_t* p) const {
  ::operator delete[](p, kAlignment);
}

std::unique_ptr<uint8_t[], PixelMatrix::AlignedDelete> PixelMatrix::Allocate(size_t bytes) {
  if (bytes == 0) return nullptr;
  // Left unset: the reader writes every sample, and zero-filling a large
  // image would cost a pass over it.
  return std::unique_ptr<uint8_t[], AlignedDelete>(
      static_cast<uint8_t*>(::operator new[](bytes, kAlignment)));
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
  data_ = Allocate(byteSize());
}

PixelMatrix::PixelMatrix(const PixelMatrix& other)
    : rows_(other.rows_), cols_(other.cols_), channels_(other.channels_) {
  data_ = Allocate(byteSize());
  if (!empty()) std::memcpy(data_.get(), other.data_.get(), byteSize());
}

PixelMatrix& PixelMatrix::operator=(const PixelMatrix& other) {
  if (this != &other) *this = PixelMatrix(other);
  return *this;
}

PixelMatrix::PixelMatrix(PixelMatrix&& other) noexcept
    : rows_(std::exchange(other.rows_, 0)),
      cols_(std::exchange(other.cols_, 0)),
      channels_(std::exchange(other.channels_, 0)),
      data_(std::move(other.data_)) {}

PixelMatrix& PixelMatrix::operator=(PixelMatrix&& other) noexcept {
  if (this == &other) return *this;
  rows_ = std::exchange(other.rows_, 0);
  cols_ = std::exchange(other.cols_, 0);
  channels_ = std::exchange(other.channels_, 0);
  data_ = std::move(other.data_);
  return *this;
}

void PixelMatrix::Fill(std::initializer_list<uint8_t> pixel) {
  uint8_t value[4] = {0, 0, 0, 0};
  size_t k = 0;
  for (const uint8_t v : pixel)
    if (k < 4) value[k++] = v;
  const size_t n = static_cast<size_t>(channels_);
  uint8_t* p = data_.get();
  for (size_t i = 0, end = byteSize(); i < end; i += n) std::memcpy(p + i, value, n);
}

}  // namespace tolvani
