// Sub-commands of the `tolvani` tool. Each takes the arguments after its
// own name and returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace tolvani::cli {

int RunInspect(const std::vector<std::string>& args);
int RunSimulate(const std::vector<std::string>& args);
// `tolvani web`: FILE (already known to be a project path) exported as a
// folder for a static web server.
int RunWeb(const std::vector<std::string>& args);
extern const char kWebHelp[];
// Replaces the process with tolvani-render beside this program; returns
// only when that fails (status 1).
int RunCompanion(const std::string& command, const std::vector<std::string>& args);

}  // namespace tolvani::cli
