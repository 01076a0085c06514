// The player's own preferences, kept in the per-user settings store beside
// the recent-file list (group "Settings"): volume, mute, status bar, the
// window's geometry and the Open dialog's last folder. Values read back are
// checked: a volume outside 0 to 100 or of another type falls back to 100.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvani {

struct PlayerSettings {
  // The volume steps of the 表示 menu, in percent.
  static constexpr int kVolumeSteps[] = {25, 50, 75, 100};

  int volumePercent = 100;  // 0 to 100
  bool muted = false;
  bool statusBar = false;  // off by default
  QByteArray geometry;     // QWidget::saveGeometry, empty when never saved
  QString lastFolder;      // the Open dialog's last folder, empty when none

  void Load();
  void Save() const;
  // The sound backend's master gain these settings ask for (0 to 1).
  float MasterGain() const { return muted ? 0.0f : static_cast<float>(volumePercent) / 100.0f; }
};

}  // namespace tolvani
