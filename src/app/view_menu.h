// The 表示 (View) menu of the main window and the status bar it shows:
// full screen (F11), pause (P or Pause: the tick, the sound and the story
// stand still and resume where they were), start again (Ctrl+R: the
// current file is opened anew), mute (M), volume steps, and the status bar
// (off by default) with "ステップ n / N" and a cue when a click or a story
// key would move the story on. Volume, mute and the status bar are kept in
// the player's settings and applied to the sound backend's master gain.
#pragma once

#include <QObject>

#include "app/player_settings.h"

class QAction;
class QActionGroup;
class QLabel;
class QMainWindow;
class QMenu;

namespace tolvani {

class CPlayerDoc;
class CPlayerView;
class CPlayerViewWidget;

class ViewMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu to window's menu bar (before `before`, when given) and the
  // status bar to window. settings are applied at once and saved on change.
  ViewMenu(QMainWindow& window, CPlayerDoc& document, PlayerSettings& settings,
           QAction* before = nullptr);
  // The view widget whose tick and cue the menu drives; null detaches.
  void SetViewWidget(CPlayerViewWidget* widget, CPlayerView* view);

  void SetPaused(bool paused);
  bool paused() const;
  // Opens the current file anew (the start-up project when there is none).
  void Restart();
  void SetMuted(bool muted);
  void SetVolume(int percent);
  void SetStatusBarShown(bool shown);
  // Applies the settings' master gain to the sound container's backend
  // (after an open made a new one, or at start).
  void ApplyGain() const;
  // The status bar's text now: "ステップ n / N", then the cue, if any.
  QString StatusText() const;

  QAction* fullScreenAction() const { return fullScreen_; }
  QAction* pauseAction() const { return pause_; }
  QAction* restartAction() const { return restart_; }
  QAction* muteAction() const { return mute_; }
  QAction* statusBarAction() const { return statusBar_; }
  QMenu* menu() const { return menu_; }

 private:
  void RefreshStatus();

  QMainWindow& window_;
  CPlayerDoc& document_;
  PlayerSettings& settings_;
  CPlayerViewWidget* widget_ = nullptr;
  CPlayerView* view_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* fullScreen_ = nullptr;
  QAction* pause_ = nullptr;
  QAction* restart_ = nullptr;
  QAction* mute_ = nullptr;
  QAction* statusBar_ = nullptr;
  QActionGroup* volume_ = nullptr;
  QLabel* status_ = nullptr;
  QString shownStatus_;
};

}  // namespace tolvani
