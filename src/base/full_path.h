// The full path of a file named by the user: absolute and without "." and
// ".." components, so that it still names the same file from any working
// directory (the recent-file list keeps it).
#pragma once

#include <string>

namespace tolvani {

// A relative path is taken against the current directory. Repeated '/' and
// "." components go; ".." removes the component before it (never above the
// root). Symbolic links are not resolved. An empty path stays empty; a path
// that ends in '/' keeps no trailing '/'.
std::u16string FullPath(const std::u16string& path);

}  // namespace tolvani
