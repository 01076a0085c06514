#include "app/app_icon.h"

#include <QFile>

namespace tolvani {

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString path = QStringLiteral(":/icons/hicolor/%1x%1/apps/tolvani-player.png").arg(size);
    if (QFile::exists(path)) icon.addFile(path, QSize(size, size));
  }
  return icon;
}

}  // namespace tolvani
