#include "app/player_settings.h"

#include <QSettings>

namespace tolvani {

namespace {
const QString kGroup = QStringLiteral("Settings");
}  // namespace

void PlayerSettings::Load() {
  QSettings settings;
  settings.beginGroup(kGroup);
  bool ok = false;
  const int volume = settings.value(QStringLiteral("Volume"), 100).toInt(&ok);
  volumePercent = ok && volume >= 0 && volume <= 100 ? volume : 100;
  muted = settings.value(QStringLiteral("Muted"), false).toBool();
  statusBar = settings.value(QStringLiteral("StatusBar"), false).toBool();
  geometry = settings.value(QStringLiteral("Geometry")).toByteArray();
  lastFolder = settings.value(QStringLiteral("LastFolder")).toString();
}

void PlayerSettings::Save() const {
  QSettings settings;
  settings.beginGroup(kGroup);
  settings.setValue(QStringLiteral("Volume"), volumePercent);
  settings.setValue(QStringLiteral("Muted"), muted);
  settings.setValue(QStringLiteral("StatusBar"), statusBar);
  if (!geometry.isEmpty()) settings.setValue(QStringLiteral("Geometry"), geometry);
  if (!lastFolder.isEmpty()) settings.setValue(QStringLiteral("LastFolder"), lastFolder);
  settings.sync();
}

}  // namespace tolvani
