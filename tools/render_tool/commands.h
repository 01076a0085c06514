// The companion's two commands. Each takes the arguments after its name and
// returns the exit status: 0 done, 1 the file could not be opened or the
// output not written, 2 a usage error.
#pragma once

#include <string>
#include <vector>

namespace tolvani::render_tool {

int RunRender(const std::vector<std::string>& args);
int RunThumbnail(const std::vector<std::string>& args);

// Standard error lines for every message the open showed, as `inspect`
// lists them.
void PrintMessages(const std::vector<std::u16string>& messages, const char* command);

}  // namespace tolvani::render_tool
