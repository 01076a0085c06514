// CMainFrame: the main window around the single view: title, the File,
// View and Help menus, the accelerators, dropped files and full screen (F11
// toggles, Esc leaves; the menu bar hides meanwhile). Its size and place
// are kept in the player's settings when it closes. The player never writes a
// project, so nothing here asks whether to save one.
#pragma once

#include <QMainWindow>

#include "app/player_settings.h"
#include "app/recent_files.h"
#include "app/view_menu.h"
#include "document/document.h"

class QMenu;
class QShortcut;

namespace tolvani {

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame(CPlayerDoc& document, RecentFileList& recent, QWidget* view);

  // "<document title> - Tolvani <kTolvaniVersion>".
  void RefreshTitle();
  void RebuildRecentMenu();

  // The commands (also reachable from tests).
  // Ctrl+O: dialog (in the current file's folder, else the last one used,
  // else the home folder), then OnOpenDocument.
  void FileOpen();
  void FileNew();                               // Ctrl+N: reloads the start-up project
  void FileSave();                              // Ctrl+S: writes nothing
  bool OpenFromFramework(const QString& path);  // recent entry, dropped file
  // A file handed over by a later `tolvani-player FILE` (empty: none): opened
  // as the Open command opens it, then the window comes to the front.
  void OpenHandedOver(const QString& path);
  void BringToFront();
  void HelpIndex();  // F1
  void About();
  void ToggleFullScreen();  // F11
  void LeaveFullScreen();   // Esc
  ViewMenu* viewMenu() const { return viewMenu_; }
  PlayerSettings& settings() { return settings_; }
  // The folder the Open dialog starts in (see FileOpen).
  QString OpenDialogFolder() const;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  CPlayerDoc& document_;
  RecentFileList& recent_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QShortcut* leaveFullScreen_ = nullptr;
  PlayerSettings settings_;
  ViewMenu* viewMenu_ = nullptr;
};

}  // namespace tolvani
