// Where the program's own files (shader, help page, start-up project) live.
#pragma once

#include <string>

namespace tolvani {

// The program's directory with a trailing '/', from /proc/self/exe.
std::u16string ProgramDirectory();
// Overrides the program directory (tests, tools); empty restores it.
void SetProgramDirectoryForTests(const std::u16string& dir);

}  // namespace tolvani
