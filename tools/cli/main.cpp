#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

void PrintUsage(FILE* out) {
  std::fputs(
      "usage: tolvani inspect FILE [--geometry]\n"
      "       tolvani simulate FILE SCRIPT   (SCRIPT '-' reads standard input)\n"
      "       tolvani render FILE -o OUT [--script SCRIPT | --autoplay] [--size WxH]\n"
      "                      [--max-seconds N] [--quality Q]   (OUT: .mp4, .webm, .png)\n"
      "       tolvani thumbnail FILE OUT.png [--size N]\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "inspect") return tolvani::cli::RunInspect(args);
  if (command == "simulate") return tolvani::cli::RunSimulate(args);
  if (command == "render" || command == "thumbnail") {
    return tolvani::cli::RunCompanion(command, args);
  }
  if (command == "--help" || command == "-h") {
    PrintUsage(stdout);
    return 0;
  }
  std::fprintf(stderr, "tolvani: unknown command '%s'\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
