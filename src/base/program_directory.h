// Where the program's own files (shader, help page, start-up project) live.
#pragma once

#include <string>

namespace tolvani {

// The program directory with a trailing '/': the one a host named with
// SetProgramDirectory, else on Linux the directory of the running
// executable (/proc/self/exe), else "./" (a platform without /proc, such as
// WebAssembly, has its host name it).
std::u16string ProgramDirectory();
// Names the program directory; a trailing '/' is added when missing, and
// empty restores the default. A host whose files do not lie beside its
// executable names it at start-up; a headless tool may point it at
// stand-in files while it creates a view; tests point it at their own.
void SetProgramDirectory(const std::u16string& dir);

}  // namespace tolvani
