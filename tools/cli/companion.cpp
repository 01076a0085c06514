// `tolvani render` and `tolvani thumbnail` run the companion program
// tolvani-render from this program's own directory (as git runs
// git-<command>), so `tolvani` itself links only the core.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/program_directory.h"
#include "base/text_conversion.h"
#include "cli/commands.h"

namespace tolvani::cli {

int RunCompanion(const std::string& command, const std::vector<std::string>& args) {
  const std::string program = ToUtf8(ProgramDirectory()) + "tolvani-render";
  std::vector<std::string> words{program, command};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  ::execv(program.c_str(), argv.data());
  std::fprintf(stderr, "tolvani %s: cannot run %s: %s\n", command.c_str(), program.c_str(),
               std::strerror(errno));
  return 1;
}

}  // namespace tolvani::cli
