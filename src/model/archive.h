// The project file's byte encoding: one flat little-endian stream with no
// header, no tags and no padding. One CArchive is either loading or storing
// for its whole life; every record's Serialize asks which and reads or writes
// its fields in one order.
//
// Loading reads a file sequentially through a 64 KiB buffer and never seeks
// back. Large byte blocks (images, sound data, vertex arrays) bypass the
// buffer.
// Storing appends to a byte vector (test projects, tools).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text_conversion.h"

namespace tolvani {

// Failure causes of the archive (values as in the framework's archive).
enum class ArchiveCause : int {
  none = 0,
  genericException = 1,
  readOnly = 2,
  endOfFile = 3,
  writeOnly = 4,
  badIndex = 5,
  badClass = 6,
  badSchema = 7,
  bufferFull = 8,
};

class ArchiveError : public std::runtime_error {
 public:
  explicit ArchiveError(ArchiveCause cause);
  ArchiveCause cause() const { return cause_; }

 private:
  ArchiveCause cause_;
};

// A 16-bit string whose length is 0x80000000 or more.
class ArchiveInvalidArgument : public std::runtime_error {
 public:
  ArchiveInvalidArgument() : std::runtime_error("invalid argument") {}
};

// File-system failures while opening or reading (causes as in the
// framework's file exception).
enum class FileCause : int {
  generic = 1,
  fileNotFound = 2,
  badPath = 3,
  tooManyOpenFiles = 4,
  accessDenied = 5,
  invalidFile = 6,
  removeCurrentDir = 7,
  directoryFull = 8,
  badSeek = 9,
  hardIO = 10,
  sharingViolation = 11,
  lockViolation = 12,
  diskFull = 13,
  endOfFile = 14,
};

class FileError : public std::runtime_error {
 public:
  FileError(FileCause cause, std::u16string path);
  FileCause cause() const { return cause_; }
  const std::u16string& path() const { return path_; }

 private:
  FileCause cause_;
  std::u16string path_;
};

// A regular file opened for reading (POSIX descriptor); closed on
// destruction. Directories, FIFOs and devices are refused (badPath).
class InputFile {
 public:
  // Throws FileError. The path is UTF-16 carrying the OS's bytes (native_path.h).
  // Only a regular file opens: a directory, FIFO, device or socket fails with
  // badPath, without waiting on it.
  explicit InputFile(const std::u16string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  uint64_t Size() const { return size_; }
  // Reads up to n bytes; returns the count read (0 at the end). Throws FileError.
  size_t Read(void* dst, size_t n);
  // Reads up to count * size bytes into count blocks, block i at
  // dst + i * pitch (pitch >= size), the first one starting `skip` bytes in
  // (its first skip bytes are left alone); returns the count read (short at
  // the end). One scatter read per up to 1024 blocks. Throws FileError.
  size_t ReadBlocks(uint8_t* dst, size_t skip, size_t count, size_t size, size_t pitch);

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::u16string path_;
};

class CArchive {
 public:
  // Large enough that one read() serves about a thousand faces, small
  // enough to stay in the level-2 cache while they are parsed.
  static constexpr size_t kBufferSize = 64 << 10;

  // A loading archive over an open file.
  explicit CArchive(InputFile& file);
  // A loading archive over bytes in memory (fuzzing, tests). Not copied.
  CArchive(const uint8_t* data, size_t size);
  // A storing archive appending to out.
  explicit CArchive(std::vector<uint8_t>& out);

  bool IsLoading() const { return loading_; }
  bool IsStoring() const { return !loading_; }

  // ---- reading (throws ArchiveError) ----
  int32_t ReadInt32() { return ReadPod<int32_t>(); }
  uint32_t ReadUInt32() { return ReadPod<uint32_t>(); }
  uint16_t ReadUInt16() { return ReadPod<uint16_t>(); }
  uint8_t ReadByte() { return ReadPod<uint8_t>(); }
  bool ReadBool() { return ReadPod<uint8_t>() != 0; }
  float ReadFloat() { return ReadPod<float>(); }
  std::u16string ReadString();
  // n raw bytes into dst.
  void ReadBytes(void* dst, size_t n);
  // count blocks of size raw bytes that follow each other in the stream,
  // block i into dst + i * pitch (pitch >= size). Fails with endOfFile,
  // before anything is read, unless all of them can follow.
  void ReadBlocks(void* dst, size_t count, size_t size, size_t pitch);
  // A count of elements that each occupy at least minElementBytes in the
  // stream. A negative count, or one whose elements cannot fit in the bytes
  // left, fails with endOfFile before anything is allocated.
  int32_t ReadCount(size_t minElementBytes);
  // Throws endOfFile unless n * elementBytes bytes can still follow.
  void RequireRemaining(uint64_t n, uint64_t elementBytes) const;
  // Bytes not yet consumed (an upper bound when the size is unknown).
  uint64_t Remaining() const { return (bufEnd_ - bufPos_) + sourceLeft_; }

  // Direct access to the read buffer for record loops that parse many small
  // fields: the next n unread bytes when all of them are already buffered,
  // else nullptr (also on a storing archive). Consumes nothing and never
  // reads from the source; a caller that gets nullptr falls back to the
  // ordinary reads, which refill the buffer and raise the usual errors.
  const uint8_t* PeekBuffered(size_t n) const {
    return loading_ && static_cast<size_t>(bufEnd_ - bufPos_) >= n ? bufPos_ : nullptr;
  }
  // Unread bytes in the buffer (0 on a storing archive).
  size_t Buffered() const { return loading_ ? static_cast<size_t>(bufEnd_ - bufPos_) : 0; }
  // Consumes n bytes that PeekBuffered(n) returned.
  void SkipBuffered(size_t n) { bufPos_ += n; }

  // ---- writing ----
  void WriteInt32(int32_t v) { WritePod(v); }
  void WriteUInt32(uint32_t v) { WritePod(v); }
  void WriteUInt16(uint16_t v) { WritePod(v); }
  void WriteByte(uint8_t v) { WritePod(v); }
  void WriteBool(bool v) { WritePod<uint8_t>(v ? 1 : 0); }
  void WriteFloat(float v) { WritePod(v); }
  // Always the Unicode form: marker FF FE FF, length, UTF-16LE units.
  void WriteString(const std::u16string& s);
  // An 8-bit string (length prefix without marker, bytes as given).
  void WriteAnsiString(const std::string& bytes);
  void WriteBytes(const void* src, size_t n);
  void WriteStringLength(uint64_t length, bool unicode);

  // Code page used to convert 8-bit strings to UTF-16. CP932 (the default)
  // is decoded by the program's own table on every platform; another name
  // is an iconv name, usable only where iconv exists and knows it. Set from
  // the TOLVANI_CODEPAGE environment variable when that names a usable code
  // page. SetCodePage refuses an unusable one (returns false, the code page
  // stays); an empty name restores CP932.
  static bool SetCodePage(const std::string& iconvName);
  static std::string CodePage();
  // Why TOLVANI_CODEPAGE was refused (a one-line diagnostic for the program
  // to show; the code page stays CP932), or empty.
  static std::string CodePageRefusal();

 private:
  template <typename T>
  T ReadPod() {
    if (!loading_) throw ArchiveError(ArchiveCause::writeOnly);
    if (static_cast<size_t>(bufEnd_ - bufPos_) < sizeof(T)) Fill(sizeof(T));
    T v;
    std::memcpy(&v, bufPos_, sizeof(T));
    bufPos_ += sizeof(T);
    return v;
  }
  template <typename T>
  void WritePod(T v) {
    if (loading_) throw ArchiveError(ArchiveCause::readOnly);
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    out_->insert(out_->end(), p, p + sizeof(T));
  }
  // Makes at least n bytes available in the buffer or throws endOfFile.
  void Fill(size_t n);
  // Returns (length, width) as the framework's string length reader does.
  uint64_t ReadStringLength(int* width);

  bool loading_;
  InputFile* file_ = nullptr;
  const uint8_t* mem_ = nullptr;       // memory source: next unread byte
  uint64_t sourceLeft_ = 0;            // bytes of the source not yet in the buffer
  std::unique_ptr<uint8_t[]> buffer_;  // kBufferSize bytes, loading only
  const uint8_t* bufPos_ = nullptr;
  const uint8_t* bufEnd_ = nullptr;
  std::vector<uint8_t>* out_ = nullptr;
};

// Converts bytes in the given code page to UTF-16 (every byte is converted;
// NUL bytes stay as NUL characters). Undecodable bytes become U+FFFD; so does
// every byte when the code page cannot be used here (see SetCodePage).
std::u16string DecodeAnsi(const char* bytes, size_t n, const std::string& codePage);

}  // namespace tolvani
