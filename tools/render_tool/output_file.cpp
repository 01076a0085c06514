#include "render_tool/output_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tolvani::render_tool {
namespace {

char g_pending[4096];

}  // namespace

const char* PendingOutputPath() {
  return g_pending;
}

bool OutputFile::Reserve(const std::string& path, std::string* error) {
  final_ = path;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = dir + "." + base + ".XXXXXX";
  if (pattern.size() >= sizeof g_pending) {
    *error = "output path too long";
    return false;
  }
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    *error = "cannot create a file in the output's folder: " + std::string(std::strerror(errno));
    return false;
  }
  ::close(fd);
  temporary_ = pattern;
  std::memcpy(g_pending, temporary_.c_str(), temporary_.size() + 1);
  return true;
}

OutputFile::~OutputFile() {
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
  g_pending[0] = '\0';
}

bool OutputFile::Commit(std::string* error) {
  // mkstemp makes the file private; the result gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temporary_.c_str(), 0666 & ~mask);
  if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
    *error = "cannot write '" + final_ + "': " + std::strerror(errno);
    return false;
  }
  committed_ = true;
  g_pending[0] = '\0';
  return true;
}

bool WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              int fit, std::string* error) {
  QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
  QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  if (fit > 0) rgb = rgb.scaled(fit, fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  // Encoded in memory and written under the path's own bytes: a QString
  // would change a name that is not UTF-8.
  QByteArray png;
  QBuffer buffer(&png);
  if (rgb.isNull() || !buffer.open(QIODevice::WriteOnly) || !rgb.save(&buffer, "PNG")) {
    *error = "cannot encode the PNG picture";
    return false;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *error = "cannot write the PNG file: " + std::string(std::strerror(errno));
    return false;
  }
  const char* data = png.constData();
  size_t left = static_cast<size_t>(png.size());
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write the PNG file: " + std::string(std::strerror(errno));
      ::close(fd);
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  if (::close(fd) != 0) {
    *error = "cannot write the PNG file: " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

std::string ExtensionOf(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace tolvani::render_tool
