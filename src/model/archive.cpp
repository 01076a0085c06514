// The archive: both directions of the project file's byte encoding, the input
// file and the text conversions used by the reader.
#include "model/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#if TOLVANI_HAVE_ICONV
#include <iconv.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "base/native_path.h"
#include "base/text_conversion.h"

namespace tolvani {

namespace {

const char* CauseName(ArchiveCause cause) {
  switch (cause) {
    case ArchiveCause::none:
      return "archive: no error";
    case ArchiveCause::genericException:
      return "archive: generic error";
    case ArchiveCause::readOnly:
      return "archive: write on a loading archive";
    case ArchiveCause::endOfFile:
      return "archive: unexpected end of file";
    case ArchiveCause::writeOnly:
      return "archive: read on a storing archive";
    case ArchiveCause::badIndex:
      return "archive: bad index";
    case ArchiveCause::badClass:
      return "archive: bad class";
    case ArchiveCause::badSchema:
      return "archive: bad schema";
    case ArchiveCause::bufferFull:
      return "archive: buffer full";
  }
  return "archive: unknown error";
}

FileCause CauseFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return FileCause::fileNotFound;
    case EACCES:
    case EPERM:
      return FileCause::accessDenied;
    case ENAMETOOLONG:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENXIO:  // a socket, or a device without its driver
    case ENODEV:
    case EOPNOTSUPP:
      return FileCause::badPath;
    case EMFILE:
    case ENFILE:
      return FileCause::tooManyOpenFiles;
    case EIO:
      return FileCause::hardIO;
    default:
      return FileCause::generic;
  }
}

constexpr const char* kDefaultCodePage = "CP932";

// CP932 in any letter case: the program's own table, on every platform.
bool IsCp932(const std::string& name) {
  if (name.size() != 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != kDefaultCodePage[i]) return false;
  return true;
}

#if TOLVANI_HAVE_ICONV
// One cached converter; the reader runs on one thread only.
struct Converter {
  std::string name;
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

Converter& ConverterFor(const std::string& codePage) {
  static Converter conv;
  if (conv.name != codePage || !conv.ok()) {
    if (conv.ok()) iconv_close(conv.cd);
    conv.name = codePage;
    conv.cd = iconv_open("UTF-16LE", codePage.c_str());
  }
  return conv;
}
#endif

// Why a code page cannot decode 8-bit strings here; empty when it can.
std::string WhyRefused(const std::string& name) {
  if (IsCp932(name)) return {};
#if TOLVANI_HAVE_ICONV
  if (ConverterFor(name).ok()) return {};
  return "code page \"" + name + "\" is unknown to iconv";
#else
  return "code page \"" + name + "\" is not available in this build (only CP932)";
#endif
}

struct CodePageState {
  std::string name = kDefaultCodePage;
  std::string refusal;  // why TOLVANI_CODEPAGE was refused
};

CodePageState& CodePageStorage() {
  static CodePageState state = [] {
    CodePageState s;
    const char* env = std::getenv("TOLVANI_CODEPAGE");
    if (env == nullptr || *env == '\0') return s;
    const std::string refusal = WhyRefused(env);
    if (refusal.empty())
      s.name = env;
    else
      s.refusal = "TOLVANI_CODEPAGE: " + refusal;
    return s;
  }();
  return state;
}

}  // namespace

ArchiveError::ArchiveError(ArchiveCause cause)
    : std::runtime_error(CauseName(cause)), cause_(cause) {}

FileError::FileError(FileCause cause, std::u16string path)
    : std::runtime_error("file error " + std::to_string(static_cast<int>(cause)) + ": " +
                         ToUtf8(path)),
      cause_(cause),
      path_(std::move(path)) {}

// ---------------------------------------------------------------------------
// InputFile

InputFile::InputFile(const std::u16string& path) : path_(path) {
  if (path.empty()) throw FileError(FileCause::badPath, path);
  const std::string native = ToNativePath(path);
  if (native.find('\0') != std::string::npos) throw FileError(FileCause::badPath, path);
  // Non-blocking, so a FIFO or a device cannot stall the open; only regular
  // files are read.
  fd_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) throw FileError(CauseFromErrno(errno), path);
  struct stat st {};
  int cause = 0;
  if (::fstat(fd_, &st) != 0) {
    cause = static_cast<int>(CauseFromErrno(errno));
  } else if (!S_ISREG(st.st_mode)) {
    cause = static_cast<int>(FileCause::badPath);
  } else {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags == -1 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == -1)
      cause = static_cast<int>(CauseFromErrno(errno));
  }
  if (cause != 0) {
    ::close(fd_);
    fd_ = -1;
    throw FileError(static_cast<FileCause>(cause), path);
  }
  size_ = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t InputFile::Read(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd_, out + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileError(CauseFromErrno(errno), path_);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t InputFile::ReadBlocks(uint8_t* dst, size_t skip, size_t count, size_t size, size_t pitch) {
  constexpr size_t kMaxBlocks = 1024;  // IOV_MAX on Linux
  iovec iov[kMaxBlocks];
  size_t done = 0;
  size_t block = 0;
  size_t offset = skip;  // within `block`
  while (block < count) {
    const size_t n = std::min(kMaxBlocks, count - block);
    for (size_t i = 0; i < n; ++i) {
      const size_t from = i == 0 ? offset : 0;
      iov[i].iov_base = dst + (block + i) * pitch + from;
      iov[i].iov_len = size - from;
    }
    const ssize_t got = ::readv(fd_, iov, static_cast<int>(n));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileError(CauseFromErrno(errno), path_);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
    // Advance past what was read: whole blocks, then into the next one.
    size_t left = static_cast<size_t>(got);
    while (left > 0) {
      const size_t take = std::min(left, size - offset);
      left -= take;
      offset += take;
      if (offset == size) {
        ++block;
        offset = 0;
      }
    }
  }
  return done;
}

// ---------------------------------------------------------------------------
// CArchive

CArchive::CArchive(InputFile& file)
    : loading_(true),
      file_(&file),
      sourceLeft_(file.Size()),
      buffer_(new uint8_t[kBufferSize]),
      bufPos_(buffer_.get()),
      bufEnd_(buffer_.get()) {}

CArchive::CArchive(const uint8_t* data, size_t size)
    : loading_(true),
      mem_(data),
      sourceLeft_(data ? size : 0),
      buffer_(new uint8_t[kBufferSize]),
      bufPos_(buffer_.get()),
      bufEnd_(buffer_.get()) {}

CArchive::CArchive(std::vector<uint8_t>& out) : loading_(false), out_(&out) {}

void CArchive::Fill(size_t n) {
  if (n > kBufferSize) throw ArchiveError(ArchiveCause::bufferFull);
  size_t have = static_cast<size_t>(bufEnd_ - bufPos_);
  uint8_t* const buffer = buffer_.get();
  if (have > 0 && bufPos_ != buffer) std::memmove(buffer, bufPos_, have);
  bufPos_ = buffer;
  bufEnd_ = buffer + have;
  while (have < n && sourceLeft_ > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kBufferSize - have, sourceLeft_));
    size_t got;
    if (file_) {
      got = file_->Read(buffer + have, want);
      if (got == 0) sourceLeft_ = 0;  // the file shrank while reading
    } else {
      std::memcpy(buffer + have, mem_, want);
      mem_ += want;
      got = want;
    }
    sourceLeft_ -= std::min<uint64_t>(got, sourceLeft_);
    have += got;
    bufEnd_ = buffer + have;
  }
  if (have < n) throw ArchiveError(ArchiveCause::endOfFile);
}

void CArchive::ReadBytes(void* dst, size_t n) {
  if (!loading_) throw ArchiveError(ArchiveCause::writeOnly);
  if (n == 0) return;
  auto* out = static_cast<uint8_t*>(dst);
  const size_t have = static_cast<size_t>(bufEnd_ - bufPos_);
  if (n <= have) {
    std::memcpy(out, bufPos_, n);
    bufPos_ += n;
    return;
  }
  if (n > have + sourceLeft_) throw ArchiveError(ArchiveCause::endOfFile);
  std::memcpy(out, bufPos_, have);
  bufPos_ = bufEnd_ = buffer_.get();
  out += have;
  size_t left = n - have;
  if (left >= kBufferSize) {
    // Large blocks go straight from the source into the destination.
    size_t got;
    if (file_) {
      got = file_->Read(out, left);
    } else {
      std::memcpy(out, mem_, left);
      mem_ += left;
      got = left;
    }
    sourceLeft_ -= std::min<uint64_t>(got, sourceLeft_);
    if (got < left) {
      sourceLeft_ = 0;
      throw ArchiveError(ArchiveCause::endOfFile);
    }
    return;
  }
  Fill(left);
  std::memcpy(out, bufPos_, left);
  bufPos_ += left;
}

void CArchive::ReadBlocks(void* dst, size_t count, size_t size, size_t pitch) {
  if (!loading_) throw ArchiveError(ArchiveCause::writeOnly);
  if (count == 0 || size == 0) return;
  RequireRemaining(count, size);
  auto* out = static_cast<uint8_t*>(dst);
  if (!file_ || pitch == size) {
    if (pitch == size) {
      ReadBytes(out, count * size);
    } else {
      for (size_t i = 0; i < count; ++i) ReadBytes(out + i * pitch, size);
    }
    return;
  }
  // The buffered bytes first, then one scatter read for the rest.
  size_t block = 0, offset = 0;
  while (bufPos_ < bufEnd_ && block < count) {
    const size_t take = std::min(size - offset, static_cast<size_t>(bufEnd_ - bufPos_));
    std::memcpy(out + block * pitch + offset, bufPos_, take);
    bufPos_ += take;
    offset += take;
    if (offset == size) {
      ++block;
      offset = 0;
    }
  }
  if (block == count) return;
  bufPos_ = bufEnd_ = buffer_.get();
  const size_t want = (count - block) * size - offset;
  const size_t got = file_->ReadBlocks(out + block * pitch, offset, count - block, size, pitch);
  sourceLeft_ -= std::min<uint64_t>(got, sourceLeft_);
  if (got < want) {
    sourceLeft_ = 0;
    throw ArchiveError(ArchiveCause::endOfFile);
  }
}

void CArchive::RequireRemaining(uint64_t n, uint64_t elementBytes) const {
  if (n == 0 || elementBytes == 0) return;
  const uint64_t remaining = Remaining();
  if (n > remaining / elementBytes) throw ArchiveError(ArchiveCause::endOfFile);
}

int32_t CArchive::ReadCount(size_t minElementBytes) {
  const int32_t n = ReadInt32();
  if (n < 0) throw ArchiveError(ArchiveCause::endOfFile);
  RequireRemaining(static_cast<uint64_t>(n), minElementBytes);
  return n;
}

uint64_t CArchive::ReadStringLength(int* width) {
  *width = 1;
  uint8_t b = ReadByte();
  if (b < 0xFF) return b;
  uint16_t w = ReadUInt16();
  if (w == 0xFFFE) {
    *width = 2;
    b = ReadByte();
    if (b < 0xFF) return b;
    w = ReadUInt16();
  }
  if (w < 0xFFFF) return w;
  const uint32_t d = ReadUInt32();
  if (d < 0xFFFFFFFFu) return d;
  const uint64_t q = ReadPod<uint64_t>();
  if (q <= 0x7FFFFFFFu) return q;
  throw ArchiveError(ArchiveCause::genericException);
}

std::u16string CArchive::ReadString() {
  if (!loading_) throw ArchiveError(ArchiveCause::writeOnly);
  int width = 1;
  const uint64_t length = ReadStringLength(&width);
  if (width == 2) {
    if (length >= 0x80000000u) throw ArchiveInvalidArgument();
    RequireRemaining(length, 2);
    std::u16string s(static_cast<size_t>(length), u'\0');
    ReadBytes(s.data(), s.size() * 2);
    return s;
  }
  RequireRemaining(length, 1);
  std::string bytes(static_cast<size_t>(length), '\0');
  ReadBytes(bytes.data(), bytes.size());
  return DecodeAnsi(bytes.data(), bytes.size(), CodePage());
}

void CArchive::WriteString(const std::u16string& s) {
  if (loading_) throw ArchiveError(ArchiveCause::readOnly);
  WriteStringLength(s.size(), true);
  WriteBytes(s.data(), s.size() * 2);
}

void CArchive::WriteAnsiString(const std::string& bytes) {
  if (loading_) throw ArchiveError(ArchiveCause::readOnly);
  WriteStringLength(bytes.size(), false);
  WriteBytes(bytes.data(), bytes.size());
}

void CArchive::WriteBytes(const void* src, size_t n) {
  if (loading_) throw ArchiveError(ArchiveCause::readOnly);
  const auto* p = static_cast<const uint8_t*>(src);
  out_->insert(out_->end(), p, p + n);
}

void CArchive::WriteStringLength(uint64_t length, bool unicode) {
  if (loading_) throw ArchiveError(ArchiveCause::readOnly);
  if (unicode) {
    WriteByte(0xFF);
    WriteUInt16(0xFFFE);
  }
  if (length < 0xFF) {
    WriteByte(static_cast<uint8_t>(length));
    return;
  }
  WriteByte(0xFF);
  if (length < 0xFFFE) {
    WriteUInt16(static_cast<uint16_t>(length));
    return;
  }
  WriteUInt16(0xFFFF);
  if (length < 0xFFFFFFFFu) {
    WriteUInt32(static_cast<uint32_t>(length));
    return;
  }
  WriteUInt32(0xFFFFFFFFu);
  WritePod<uint64_t>(length);
}

bool CArchive::SetCodePage(const std::string& iconvName) {
  const std::string name = iconvName.empty() ? std::string(kDefaultCodePage) : iconvName;
  if (!WhyRefused(name).empty()) return false;
  CodePageStorage().name = name;
  return true;
}

std::string CArchive::CodePage() {
  return CodePageStorage().name;
}

std::string CArchive::CodePageRefusal() {
  return CodePageStorage().refusal;
}

// ---------------------------------------------------------------------------
// Text conversions

std::u16string DecodeAnsi(const char* bytes, size_t n, const std::string& codePage) {
  std::u16string result;
  if (n == 0) return result;
  if (IsCp932(codePage)) return DecodeCp932(std::string_view(bytes, n));
#if TOLVANI_HAVE_ICONV
  Converter& conv = ConverterFor(codePage);
#endif
  if (!WhyRefused(codePage).empty()) {
    // A code page that cannot be decoded here: every byte is visibly
    // undecodable rather than silently read as another code page's text.
    return std::u16string(n, u'\uFFFD');
  }
#if TOLVANI_HAVE_ICONV
  iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> out(n * 4 + 8);
  char* in = const_cast<char*>(bytes);
  size_t inLeft = n;
  result.reserve(n);
  while (inLeft > 0) {
    char* o = out.data();
    size_t oLeft = out.size();
    const size_t rc = iconv(conv.cd, &in, &inLeft, &o, &oLeft);
    const size_t produced = out.size() - oLeft;
    for (size_t i = 0; i + 1 < produced; i += 2) {
      result.push_back(static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                             (static_cast<unsigned char>(out[i + 1]) << 8)));
    }
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Undecodable or incomplete sequence: one replacement per bad byte.
      result.push_back(u'\uFFFD');
      ++in;
      --inLeft;
      iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
#endif
  return result;
}

}  // namespace tolvani
