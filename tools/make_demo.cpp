// Writes the projects that ship beside the player: Main.zvmov (the demo
// opened at start-up) and one example per other play mode under examples/.
//
//   tolvani-make-demo OUTPUT_DIR
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <string>

#include "demo_projects.h"

int main(int argc, char** argv) {
  constexpr const char* kUsage =
      "usage: tolvani-make-demo OUTPUT_DIR\n"
      "Writes OUTPUT_DIR/Main.zvmov (the demo) and the examples walk, explore, scroll\n"
      "and orbit under OUTPUT_DIR/examples/.\n";
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  mkdir((dir + "examples").c_str(), 0755);
  try {
    using namespace tolvani::demo;
    MakeMainDemo().WriteFile(dir + "Main.zvmov");
    MakeWalkExample().WriteFile(dir + "examples/walk.zvmov");
    MakeExploreExample().WriteFile(dir + "examples/explore.zvmov");
    MakeScrollExample().WriteFile(dir + "examples/scroll.zvmov");
    MakeOrbitExample().WriteFile(dir + "examples/orbit.zvmov");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tolvani-make-demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
