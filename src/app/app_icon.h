// The program icon, compiled into the player from resources/icons.
#pragma once

#include <QIcon>

namespace tolvani {

// Every hicolor size of the icon (16 to 256 px); null when the resources
// are missing.
QIcon ProgramIcon();

}  // namespace tolvani
