#include "app/main_frame.h"
#include "base/program_directory.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QTreeView>
#include <QUrl>

#include "app/about_dialog.h"
#include "app/native_path_qt.h"
#include "app/open_dialog_columns.h"
#include "app/platform_qt.h"
#include "base/version.h"
#include "model/scene_state.h"

namespace tolvani {

CMainFrame::CMainFrame(CPlayerDoc& document, RecentFileList& recent, QWidget* view)
    : document_(document), recent_(recent) {
  setCentralWidget(view);
  view->setAcceptDrops(false);
  setAcceptDrops(true);
  resize(800, 600);
  settings_.Load();
  if (!settings_.geometry.isEmpty()) restoreGeometry(settings_.geometry);

  fileMenu_ = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  QAction* open = fileMenu_->addAction(QStringLiteral("開く(&O)...\tCtrl+O"));
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(open, &QAction::triggered, this, &CMainFrame::FileOpen);
  addAction(open);  // keeps Ctrl+O working while the menu bar is hidden
  fileMenu_->addSeparator();
  recentSeparator_ = fileMenu_->addSeparator();
  QAction* exit = fileMenu_->addAction(QStringLiteral("アプリケーションの終了(&X)\tCtrl+Q"));
  exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(exit, &QAction::triggered, this, &QWidget::close);
  addAction(exit);

  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  QAction* index = help->addAction(QStringLiteral("目次(&H)\tF1"));
  index->setShortcut(QKeySequence(Qt::Key_F1));
  connect(index, &QAction::triggered, this, &CMainFrame::HelpIndex);
  addAction(index);
  viewMenu_ = new ViewMenu(*this, document_, settings_, help->menuAction());
  help->addSeparator();
  QAction* about = help->addAction(QStringLiteral("バージョン情報 Tolvani(&A)..."));
  connect(about, &QAction::triggered, this, &CMainFrame::About);

  // Accelerators without a menu item.
  auto shortcut = [this](QKeySequence keys, auto slot) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), [this] { FileNew(); });
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { FileSave(); });
  // Copy, Cut, Paste, Undo and the pane keys have no effect in the player.
  const QKeySequence inert[] = {
      QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert),
      QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
      QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert),
      QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace),
      QKeySequence(Qt::Key_F6),           QKeySequence(Qt::SHIFT | Qt::Key_F6)};
  for (const QKeySequence& keys : inert) shortcut(keys, [] {});
  // Full screen belongs to the window (F11 is the View menu's); the view's
  // keys stay its own.
  leaveFullScreen_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  leaveFullScreen_->setContext(Qt::WindowShortcut);
  leaveFullScreen_->setEnabled(false);
  connect(leaveFullScreen_, &QShortcut::activated, this, [this] { LeaveFullScreen(); });

  RebuildRecentMenu();
  RefreshTitle();
}

void CMainFrame::RefreshTitle() {
  setWindowTitle(DisplayText(ToQString(document_.title())) + QStringLiteral(" - Tolvani ") +
                 QLatin1String(kTolvaniVersion));
}

void CMainFrame::RebuildRecentMenu() {
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const QStringList& entries = recent_.entries();
  if (entries.isEmpty()) {
    auto* placeholder = new QAction(QStringLiteral("最近使ったファイル"), fileMenu_);
    placeholder->setEnabled(false);
    fileMenu_->insertAction(recentSeparator_, placeholder);
    recentActions_.append(placeholder);
    return;
  }
  for (int i = 0; i < entries.size(); ++i) {
    auto* action = new QAction(recent_.MenuText(i), fileMenu_);
    const QString path = entries[i];
    connect(action, &QAction::triggered, this, [this, path] { OpenFromFramework(path); });
    fileMenu_->insertAction(recentSeparator_, action);
    recentActions_.append(action);
  }
}

QString CMainFrame::OpenDialogFolder() const {
  // Never the program's own folder: its files are not the user's.
  const QDir program(ToQString(ProgramDirectory()));
  auto usable = [&program](const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir() && QDir(folder) != program;
  };
  const QString current = ToQString(document_.path());
  if (!current.isEmpty()) {
    const QString folder = QFileInfo(current).absolutePath();
    if (usable(folder)) return folder;
  }
  if (usable(settings_.lastFolder)) return settings_.lastFolder;
  return QDir::homePath();
}

void CMainFrame::FileOpen() {
  QFileDialog dialog(this, QStringLiteral("開く"), OpenDialogFolder(),
                     QStringLiteral("Tolvani ファイル (*.zvmov)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Wide enough for the name, size, type and date columns: each column
  // fits its entries once the folder is listed.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setViewMode(QFileDialog::Detail);
  dialog.setProxyModel(new OpenDialogColumns(&dialog));
  dialog.resize(900, 560);
  if (auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    auto fit = [tree] {
      for (int column = 0; column < tree->header()->count(); ++column) {
        tree->resizeColumnToContents(column);
      }
    };
    if (model != nullptr) connect(model, &QFileSystemModel::directoryLoaded, tree, fit);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty()) return;
  // As a URL: a file name that is not UTF-8 keeps its bytes.
  const QString path = PathFromUrl(dialog.selectedUrls().first());
  if (path.isEmpty()) return;
  settings_.lastFolder = QFileInfo(path).absolutePath();
  settings_.Save();
  if (viewMenu_->paused()) viewMenu_->SetPaused(false);
  document_.OnOpenDocument(FromQString(path));
  RefreshTitle();
}

void CMainFrame::FileNew() {
  if (viewMenu_->paused()) viewMenu_->SetPaused(false);
  document_.OnNewDocument();
  RefreshTitle();
}

void CMainFrame::FileSave() {
  document_.OnSaveDocument(document_.path());
}

bool CMainFrame::OpenFromFramework(const QString& path) {
  if (viewMenu_->paused()) viewMenu_->SetPaused(false);
  const bool ok = document_.OpenDocumentFile(FromQString(path));
  RefreshTitle();
  return ok;
}

void CMainFrame::OpenHandedOver(const QString& path) {
  if (!path.isEmpty()) {
    if (viewMenu_->paused()) viewMenu_->SetPaused(false);
    document_.OnOpenDocument(FromQString(path));
    RefreshTitle();
  }
  BringToFront();
}

void CMainFrame::BringToFront() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void CMainFrame::HelpIndex() {
  Platform().OpenDocument(ProgramDirectory() + u"Player.html");
}

void CMainFrame::About() {
  CAboutDlg dialog(this);
  dialog.exec();
}

void CMainFrame::ToggleFullScreen() {
  // The other state bits (maximised) come back when full screen ends.
  setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void CMainFrame::LeaveFullScreen() {
  if (isFullScreen()) setWindowState(windowState() & ~Qt::WindowFullScreen);
}

void CMainFrame::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    const bool full = isFullScreen();
    menuBar()->setVisible(!full);
    leaveFullScreen_->setEnabled(full);
    viewMenu_->fullScreenAction()->setChecked(full);
  }
  QMainWindow::changeEvent(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  settings_.geometry = saveGeometry();
  settings_.Save();
  QMainWindow::closeEvent(event);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) OpenFromFramework(PathFromUrl(url));
  }
}

}  // namespace tolvani
