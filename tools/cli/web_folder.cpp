#include "cli/web_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string_view>

#include "base/program_directory.h"
#include "base/text_conversion.h"

#ifndef TOLVANI_WEB_BUILD_DIR
#define TOLVANI_WEB_BUILD_DIR ""
#endif

namespace tolvani::cli {

const char* const kWebBuildFiles[4] = {"player.html", "player_glue.js", "tolvani_player.js",
                                       "tolvani_player.wasm"};
const char kExportMarker[] = ".tolvani-web";

namespace {

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

bool IsRegularFile(const std::string& path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

std::string LastName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A plain file name as a listing or the marker may hold it: no folder part,
// not hidden (which also rules out "." and "..").
bool IsPlainName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// The folder's entries other than "." and ".."; false when it cannot be read.
bool ListFolder(const std::string& dir, std::vector<std::string>* names) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return false;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  ::closedir(d);
  return true;
}

bool MakeParents(const std::string& dir, std::string* why) {
  if (dir == "/" || dir == "." || ::access(dir.c_str(), F_OK) == 0) return true;
  if (!MakeParents(Parent(dir), why)) return false;
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    *why = "cannot make " + dir + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Copies from to a new file at to (mode 0644), in blocks.
bool CopyFile(const std::string& from, const std::string& to, std::string* why) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *why = "cannot read " + from + ": " + std::strerror(errno);
    return false;
  }
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0) {
    *why = "cannot write " + to + ": " + std::strerror(errno);
    ::close(in);
    return false;
  }
  char block[1 << 16];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, block, sizeof block);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      *why = "cannot read " + from + ": " + std::strerror(errno);
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, block + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        *why = "cannot write " + to + ": " + std::strerror(errno);
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    *why = "cannot write " + to + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(to.c_str());
  return ok;
}

// Writes text as a new file at path.
bool WriteText(const std::string& path, const std::string& text, std::string* why) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    *why = "cannot write " + path;
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

// The files an earlier export's marker lists (plain names only). A marker
// larger than any export writes lists nothing.
std::vector<std::string> MarkedFiles(const std::string& dir) {
  constexpr off_t kMaxMarkerBytes = 64 * 1024;
  std::vector<std::string> names;
  struct stat s {};
  if (::stat((dir + kExportMarker).c_str(), &s) != 0 || s.st_size > kMaxMarkerBytes) return names;
  std::ifstream in(dir + kExportMarker);
  std::string line;
  for (int count = 0; count < 1000 && std::getline(in, line); ++count) {
    if (IsPlainName(line)) names.push_back(line);
  }
  return names;
}

// Puts `name` in dir from the source: through a temporary name in dir,
// renamed over any file of that name.
bool PlaceFile(const std::string& source, const std::string& dir, const std::string& name,
               std::string* why) {
  const std::string temporary = dir + ".tolvani-web-" + std::to_string(::getpid()) + "-" + name;
  ::unlink(temporary.c_str());
  if (!CopyFile(source, temporary, why)) return false;
  if (::rename(temporary.c_str(), (dir + name).c_str()) != 0) {
    *why = "cannot write " + dir + name + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RemoveFolder(const std::string& dir) {
  std::vector<std::string> names;
  if (ListFolder(dir, &names)) {
    for (const std::string& n : names) ::unlink((WithSlash(dir) + n).c_str());
  }
  ::rmdir(dir.c_str());
}

// Percent-encodes all but the unreserved characters of a URL.
std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) != 0 && c < 0x80) {
      out += static_cast<char>(c);
    } else if (c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> WebBuildCandidates() {
  if (const char* chosen = std::getenv("TOLVANI_WEB_DIR"); chosen != nullptr && *chosen != '\0')
    return {WithSlash(chosen)};
  std::vector<std::string> dirs{ToUtf8(ProgramDirectory()) + "web/"};
  if (std::string_view(TOLVANI_WEB_BUILD_DIR) != "")
    dirs.push_back(WithSlash(TOLVANI_WEB_BUILD_DIR));
  return dirs;
}

std::string FindWebBuild(std::string* why) {
  std::string looked;
  for (const std::string& dir : WebBuildCandidates()) {
    bool complete = true;
    for (const char* file : kWebBuildFiles) complete = complete && IsRegularFile(dir + file);
    if (complete) return dir;
    looked += (looked.empty() ? "" : ", ") + dir;
  }
  *why = "no web build of the player in " + looked;
  return {};
}

Destination ClassifyDestination(const std::string& dir) {
  struct stat s {};
  if (::stat(dir.c_str(), &s) != 0)
    return errno == ENOENT ? Destination::kMissing : Destination::kNotFolder;
  if (!S_ISDIR(s.st_mode)) return Destination::kNotFolder;
  std::vector<std::string> names;
  if (!ListFolder(dir, &names)) return Destination::kNotFolder;
  if (names.empty()) return Destination::kEmpty;
  if (IsRegularFile(WithSlash(dir) + kExportMarker)) return Destination::kOurs;
  return Destination::kOccupied;
}

bool WriteExport(const std::string& webBuild, const std::string& cartoon, const std::string& dir,
                 Destination destination, std::string* why) {
  std::vector<std::string> names;
  if (!ListFolder(webBuild, &names)) {
    *why = "cannot read " + webBuild;
    return false;
  }
  const std::string cartoonName = LastName(cartoon);
  std::set<std::string> written;

  // A missing folder is built under a hidden name beside it.
  std::string target = WithSlash(dir);
  std::string building;
  if (destination == Destination::kMissing) {
    const std::string parent = Parent(dir);
    if (!MakeParents(parent, why)) return false;
    std::string pattern = WithSlash(parent) + "." + LastName(dir) + ".XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      *why = "cannot make a folder in " + parent + ": " + std::strerror(errno);
      return false;
    }
    ::chmod(pattern.c_str(), 0755);
    building = pattern;
    target = WithSlash(building);
  }
  std::vector<std::string> earlier;
  if (destination == Destination::kOurs) earlier = MarkedFiles(target);

  bool ok = true;
  for (const std::string& name : names) {
    // The cartoon's own name wins over a build file of that name.
    if (!IsPlainName(name) || name == cartoonName || !IsRegularFile(WithSlash(webBuild) + name))
      continue;
    ok = PlaceFile(WithSlash(webBuild) + name, target, name, why);
    if (!ok) break;
    written.insert(name);
  }
  if (ok) ok = PlaceFile(cartoon, target, cartoonName, why);
  if (ok) written.insert(cartoonName);
  std::string marker;
  for (const std::string& name : written) marker += name + "\n";
  if (ok) ok = WriteText(target + kExportMarker, marker, why);
  if (ok) {
    for (const std::string& name : earlier) {
      if (!written.count(name)) ::unlink((target + name).c_str());
    }
  }
  if (!building.empty()) {
    if (ok && ::rename(building.c_str(), dir.c_str()) != 0) {
      *why = "cannot make " + dir + ": " + std::strerror(errno);
      ok = false;
    }
    if (!ok) RemoveFolder(building);
  }
  return ok;
}

std::string IframeSnippet(const std::string& dir, const std::string& cartoon) {
  std::string title = LastName(cartoon);
  if (const size_t dot = title.rfind('.'); dot != std::string::npos) title.resize(dot);
  const std::string src =
      UrlEncode(LastName(dir)) + "/player.html?file=" + UrlEncode(LastName(cartoon));
  return "<iframe src=\"" + HtmlEscape(src) + "\" title=\"" + HtmlEscape(title) +
         "\" width=\"640\" height=\"480\" style=\"border:0\" allow=\"fullscreen\"></iframe>";
}

}  // namespace tolvani::cli
