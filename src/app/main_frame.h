// CMainFrame: the main window around the single view: title, the File and
// Help menus, the accelerators, dropped files, and the save question before
// the window closes.
#pragma once

#include <QMainWindow>

#include "app/recent_files.h"
#include "document/document.h"

class QMenu;

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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Asks the save question when the document is modified; false on Cancel.
  bool SaveModified();

  CPlayerDoc& document_;
  RecentFileList& recent_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> recentActions_;
};

}  // namespace tolvani
