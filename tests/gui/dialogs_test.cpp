// The player's dialogs: the About box shows its title whole, and the Open
// dialog speaks Japanese with every column wide enough for its heading and
// its entries. TOLVANI_DIALOG_SHOTS=DIR saves what the dialogs look like.
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/about_dialog.h"
#include "app/main_frame.h"
#include "app/platform_qt.h"
#include "app/player_app.h"
#include "base/program_directory.h"
#include "support/scene_reset.h"
#include "window_test_support.h"

using namespace tolvani;

namespace {

QString BinDir() {
  return QFileInfo(QStringLiteral(TOLVANI_PLAYER)).absolutePath() + QLatin1Char('/');
}

void SaveShot(QWidget* w, const char* name) {
  const QString dir = qEnvironmentVariable("TOLVANI_DIALOG_SHOTS");
  if (!dir.isEmpty()) w->grab().save(dir + QLatin1Char('/') + QLatin1String(name));
}

// Latin letters other than a mnemonic ("開く(&O)").
bool HasLatinWord(QString text) {
  text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
  for (const QChar c : text) {
    if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
        (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))) {
      return true;
    }
  }
  return false;
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { SetProgramDirectory(FromQString(BinDir())); }
  void cleanup() {
    SetProgramDirectory(u"");
    ResetSceneStateForTests();
  }

  void aboutBoxFitsItsTitle() {
    CPlayerApp app;
    QVERIFY(app.InitInstance({}));
    auto* owned = new CAboutDlg(app.mainFrame());  // the window deletes it
    CAboutDlg& about = *owned;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    SaveShot(&about, "about.png");
    QCOMPARE(about.windowTitle(), QStringLiteral("バージョン情報 Player"));
    QVERIFY2(about.width() >= TitleWidth(about.windowTitle(), about.font()),
             qPrintable(QString::number(about.width())));
    // Wider than its labels alone would make it.
    QVERIFY(TitleWidth(about.windowTitle(), about.font()) >
            about.findChild<QLabel*>(QStringLiteral("versionLabel"))->sizeHint().width());
    about.close();
    app.ExitInstance(0);
  }

  void openDialogIsJapaneseAndWideEnough() {
    // A folder to list: a sub-folder, a project, a long name.
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("sub folder"));
    for (const char* name : {"a.zvmov", "a rather long project name for the column.zvmov"}) {
      QFile f(dir.path() + QLatin1Char('/') + QLatin1String(name));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray(2048, 'x'));
    }
    CPlayerApp app;
    PlayerOptions options;
    options.file = BinDir() + QStringLiteral("Main.zvmov");
    QVERIFY(app.InitInstance(options));
    app.mainFrame()->settings().lastFolder = dir.path();
    app.document().ClearPath();

    QStringList problems;
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) {
        problems << QStringLiteral("no Open dialog");
        return;
      }
      seen = true;
      auto* tree = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
      dialog->setViewMode(QFileDialog::Detail);
      QAbstractItemModel* model = tree ? tree->model() : nullptr;
      if (model == nullptr) {
        problems << QStringLiteral("no detail view");
        dialog->reject();
        return;
      }
      // The folder is listed by a thread of the model; no time bound of our
      // own (ctest's timeout catches a hang).
      for (int i = 0; model->rowCount(tree->rootIndex()) < 3; ++i) {
        QTest::qWait(10);
      }
      QTest::qWait(50);
      SaveShot(dialog, "open.png");
      QHeaderView* header = tree->header();
      const QFontMetrics metrics(tree->font());
      for (int column = 0; column < model->columnCount(tree->rootIndex()); ++column) {
        if (header->isSectionHidden(column)) continue;
        const QString heading = model->headerData(column, Qt::Horizontal).toString();
        if (HasLatinWord(heading)) problems << QStringLiteral("heading: ") + heading;
        int need = metrics.horizontalAdvance(heading);
        for (int row = 0; row < model->rowCount(tree->rootIndex()); ++row) {
          const QModelIndex index = model->index(row, column, tree->rootIndex());
          const QString text = index.data().toString();
          // Names are the files'; every other column is the dialog's words.
          // (Size units such as KiB are not words.)
          static const QRegularExpression kWord(QStringLiteral("[A-Za-z]{3,}"));
          QString words = text;
          words.remove(QRegularExpression(QStringLiteral("\\b[KMGT]iB\\b|\\bbytes\\b")));
          if (column > 0 && words.contains(kWord)) {
            problems << QStringLiteral("entry: ") + text;
          }
          need = std::max(need, tree->sizeHintForIndex(index).width());
        }
        if (header->sectionSize(column) < need) {
          problems << QStringLiteral("column %1 is %2 px, needs %3")
                          .arg(heading)
                          .arg(header->sectionSize(column))
                          .arg(need);
        }
      }
      const int total = header->length();
      if (total > tree->viewport()->width()) {
        problems << QStringLiteral("columns %1 px in a view of %2")
                        .arg(total)
                        .arg(tree->viewport()->width());
      }
      for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->isVisible() && HasLatinWord(label->text())) {
          problems << QStringLiteral("label: ") + label->text();
        }
      }
      for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isVisible() && HasLatinWord(button->text())) {
          problems << QStringLiteral("button: ") + button->text();
        }
      }
      dialog->reject();
    });
    app.mainFrame()->FileOpen();
    QVERIFY(seen);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    app.ExitInstance(0);
  }
};

int main(int argc, char** argv) {
  return tolvani::testing::RunWindowTestRecordingMessages<DialogsTest>(argc, argv);
}

#include "dialogs_test.moc"
