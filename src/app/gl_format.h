// The OpenGL format of every context of the process: 3.3 core with a depth
// buffer and an alpha channel, contexts in Qt's global share group (the
// device's own context and the window's share their objects). Must run
// before the QApplication exists; the player and its window tests call it.
#pragma once

namespace tolvani {

void SetDefaultOpenGlFormat();

}  // namespace tolvani
