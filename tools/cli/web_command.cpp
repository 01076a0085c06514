// `tolvani web FILE -o DIR [--force]`: the cartoon and the web build of the
// player as a folder any static web server can host.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/text_conversion.h"
#include "cli/commands.h"
#include "cli/null_open.h"
#include "cli/web_folder.h"
#include "headless/tool_platform.h"

namespace tolvani::cli {

const char kWebHelp[] =
    "usage: tolvani web FILE -o DIR [--force]\n"
    "Writes DIR, a folder any static web server can host: the player's web\n"
    "page (player.html, its scripts and tolvani_player.wasm) and FILE under its\n"
    "own name. On success prints one line, an <iframe> that embeds the folder\n"
    "served as DIR's last name beside the embedding page.\n"
    "\n"
    "  -o, --output DIR  the folder; made (with its parents) when missing\n"
    "  --force           also write into a non-empty folder that no earlier\n"
    "                    export made: files of the same names are replaced,\n"
    "                    nothing else is touched\n"
    "  -h, --help        show this text\n"
    "\n"
    "An earlier export's folder is written again without --force; files it\n"
    "listed that this export does not write (an older cartoon) are removed.\n"
    "The web build is looked for in $TOLVANI_WEB_DIR when set, else in web/\n"
    "beside this program (/usr/lib/tolvani/web/ when installed), then in the\n"
    "build tree's WebAssembly output.\n"
    "\n"
    "Exit status: 0 when DIR was written, 1 when FILE does not end in .zvmov or\n"
    "cannot be opened, no web build is found or DIR cannot be written, 2 on a\n"
    "usage error.\n";

namespace {

struct WebOptions {
  std::string file;
  std::string dir;
  bool force = false;
};

bool ParseWebOptions(const std::vector<std::string>& args, WebOptions* o, std::string* why) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) {
        *why = "'" + a + "' needs a folder";
        return false;
      }
      o->dir = args[++i];
    } else if (a.rfind("--output=", 0) == 0) {
      o->dir = a.substr(9);
    } else if (a == "--force") {
      o->force = true;
    } else if (o->file.empty() && !a.empty() && (a[0] != '-' || a == "-")) {
      o->file = a;
    } else {
      *why = "unexpected argument '" + a + "'";
      return false;
    }
  }
  if (o->file.empty() || o->dir.empty()) {
    *why = "needs FILE and -o DIR";
    return false;
  }
  return true;
}

// Opens file as `inspect` does (null device, null sound); its message boxes
// go to standard error. True when the open succeeded.
bool Opens(const std::string& file) {
  headless::ToolPlatform platform(headless::ToolPlatform::Diagnostics::Dropped);
  platform.onMessage = [](const std::u16string& text) {
    std::fprintf(stderr, "tolvani web: %s\n", ToUtf8(text).c_str());
  };
  return OpenWithNullDevices(file);
}

}  // namespace

int RunWeb(const std::vector<std::string>& args) {
  WebOptions o;
  std::string why;
  if (!ParseWebOptions(args, &o, &why)) {
    std::fprintf(stderr, "tolvani web: %s\nusage: tolvani web FILE -o DIR [--force]\n",
                 why.c_str());
    return 2;
  }
  const std::string webBuild = FindWebBuild(&why);
  if (webBuild.empty()) {
    std::fprintf(stderr,
                 "tolvani web: %s\n"
                 "Install the package's web build, build it (cmake --preset wasm && cmake "
                 "--build --preset wasm --target tolvani_player) or set TOLVANI_WEB_DIR.\n",
                 why.c_str());
    return 1;
  }
  const Destination destination = ClassifyDestination(o.dir);
  if (destination == Destination::kNotFolder) {
    std::fprintf(stderr, "tolvani web: '%s' is not a folder that can be written\n", o.dir.c_str());
    return 1;
  }
  if (destination == Destination::kOccupied && !o.force) {
    std::fprintf(stderr,
                 "tolvani web: '%s' is not empty and no earlier export made it; nothing was "
                 "written (--force writes into it)\n",
                 o.dir.c_str());
    return 1;
  }
  if (!Opens(o.file)) {
    std::fprintf(stderr, "tolvani web: '%s' cannot be opened; nothing was written\n",
                 o.file.c_str());
    return 1;
  }
  if (!WriteExport(webBuild, o.file, o.dir, destination, &why)) {
    std::fprintf(stderr, "tolvani web: %s\n", why.c_str());
    return 1;
  }
  return std::printf("%s\n", IframeSnippet(o.dir, o.file).c_str()) < 0 ? 1 : 0;
}

}  // namespace tolvani::cli
