// The tools' open of a project without a window: as the player opens it,
// with the null graphics device (keeping no copies of buffers or textures)
// and the null sound backend, the view not created (no frame is drawn, no
// tick runs). The caller's platform (headless::ToolPlatform) takes the
// message boxes.
#pragma once

#include <functional>
#include <string>

namespace tolvani::cli {

// Opens `file` (a native path), runs `whileOpen(ok)` while the scene is
// alive, then tears everything down in the player's order. Returns whether
// the open succeeded.
bool OpenWithNullDevices(const std::string& file,
                         const std::function<void(bool ok)>& whileOpen = {});

}  // namespace tolvani::cli
