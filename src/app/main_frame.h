// CMainFrame: the main window around the single view: title, the File and
// Help menus, the accelerators, dropped files and full screen (F11 toggles,
// Esc leaves; the menu bar hides meanwhile). The player never writes a
// project, so nothing here asks whether to save one.
#pragma once

#include <QMainWindow>

#include "app/recent_files.h"
#include "document/document.h"

class QMenu;
class QShortcut;

namespace tolvani {

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  CMainFrame(CPlayerDoc& document, RecentFileList& recent, QWidget* view);

  // "<document title> - Tolvani 1.1".
  void RefreshTitle();
  void RebuildRecentMenu();

  // The commands (also reachable from tests).
  void FileOpen();                              // Ctrl+O: dialog, then OnOpenDocument
  void FileNew();                               // Ctrl+N: reloads the start-up project
  void FileSave();                              // Ctrl+S: writes nothing
  bool OpenFromFramework(const QString& path);  // recent entry, dropped file
  void HelpIndex();
  void About();
  void ToggleFullScreen();  // F11
  void LeaveFullScreen();   // Esc

 protected:
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  CPlayerDoc& document_;
  RecentFileList& recent_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
  QShortcut* leaveFullScreen_ = nullptr;
};

}  // namespace tolvani
