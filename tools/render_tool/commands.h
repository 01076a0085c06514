// The companion's two commands. Each takes the arguments after its name and
// returns the exit status: 0 done, 1 the file could not be opened or the
// output not written, 2 a usage error.
#pragma once

#include <string>
#include <vector>

namespace tolvani::render_tool {

int RunRender(const std::vector<std::string>& args);
// Makes its own QGuiApplication (program: its argv[0]) in the drawing
// process; none may exist before.
int RunThumbnail(const std::vector<std::string>& args, char* program);

// True when input has the project extension (".zvmov", any case of A-Z);
// otherwise says so on standard error and returns false (exit status 1).
bool CheckProjectPath(const std::string& input, const char* command);

// Standard error lines for every message the open showed, as `inspect`
// lists them.
void PrintMessages(const std::vector<std::u16string>& messages, const char* command);

}  // namespace tolvani::render_tool
