// tolvani-player [FILE] [--screenshot PNG --ticks N] [--help] [--version]
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/gl_format.h"
#include "app/native_path_qt.h"
#include "app/player_app.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: tolvani-player [FILE] [--screenshot PNG [--ticks N]]\n"
      "  FILE              project to open instead of Main.zvmov beside the program\n"
      "  --screenshot PNG  show the window, run N ticks, save the next frame, exit\n"
      "  --ticks N         ticks to run before the screenshot (default 0)\n"
      "  --help            show this text\n"
      "  --version         show the version\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  tolvani::PlayerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("Tolvani 1.1");
      return 0;
    }
    if (arg == "--screenshot" || arg == "--ticks") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tolvani-player: %s needs a value\n", arg.c_str());
        return 2;
      }
      const char* value = argv[++i];
      if (arg == "--screenshot") {
        options.screenshot = QString::fromLocal8Bit(value);
      } else {
        char* end = nullptr;
        const long n = std::strtol(value, &end, 10);
        if (end == value || *end != '\0' || n < 0 || n > 1000000) {
          std::fprintf(stderr, "tolvani-player: bad tick count '%s'\n", value);
          return 2;
        }
        options.ticks = static_cast<int>(n);
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "tolvani-player: unknown option '%s'\n", arg.c_str());
      PrintUsage(stderr);
      return 2;
    }
    if (!options.file.isEmpty()) {
      std::fprintf(stderr, "tolvani-player: only one project file may be given\n");
      return 2;
    }
    // The name's own bytes: fromLocal8Bit would replace those that are not UTF-8.
    options.file = tolvani::PathFromNative(QByteArray(argv[i]));
  }

  tolvani::SetDefaultOpenGlFormat();

  QApplication application(argc, argv);
  tolvani::CPlayerApp app;
  if (!app.InitInstance(options)) return app.ExitInstance(1);
  const int loop = QApplication::exec();
  return app.ExitInstance(loop);
}
