// One window for many files, under a private session bus (dbus-run-session):
// this test is the running player; `tolvani-player` processes started from
// it hand their files over, or start windows of their own with
// --new-window or without a bus.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/application_bus.h"
#include "app/main_frame.h"
#include "app/native_path_qt.h"
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

struct Run {
  int exitCode = -1;
  QProcess::ExitStatus status = QProcess::CrashExit;
};

// Runs the player with args while this process's event loop serves the bus
// (a blocking wait would leave the hand-over unanswered).
Run RunPlayer(const QStringList& args, const QProcessEnvironment& env) {
  QProcess player;
  player.setProcessEnvironment(env);
  player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QSignalSpy finished(&player, &QProcess::finished);
  player.start(QStringLiteral(TOLVANI_PLAYER), args);
  if (!player.waitForStarted()) return {};
  // No wall-clock bound of our own: ctest's timeout catches a hang.
  while (finished.isEmpty()) finished.wait(1000);
  return Run{player.exitCode(), player.exitStatus()};
}

QString WriteBroken(const QString& dir) {
  const QString path = dir + QStringLiteral("/broken.zvmov");
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write("not a project at all");
  return path;
}

}  // namespace

class SingleWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QString events_;

  QProcessEnvironment ChildEnv(const QString& events) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVANI_RECORD_MESSAGES"), events);
    return env;
  }
  int MessagesIn(const QString& events) const {
    int n = 0;
    for (const QJsonObject& e : testing::ReadEvents(events)) {
      if (e.value(QStringLiteral("event")).toString() == QLatin1String("message")) ++n;
    }
    return n;
  }

 private slots:
  void initTestCase() {
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    events_ = dir_.path() + QStringLiteral("/primary.jsonl");
    qputenv("TOLVANI_RECORD_MESSAGES", events_.toUtf8());
    SetProgramDirectory(FromQString(BinDir()));
  }
  void cleanupTestCase() {
    SetProgramDirectory(u"");
    ResetSceneStateForTests();
  }

  void laterPlayersHandTheirFilesOver() {
    CPlayerApp app;
    QVERIFY(app.InitInstance(PlayerOptions{}));
    ApplicationService service;
    QCOMPARE(service.Claim(), BusClaim::Owner);
    int handled = 0;
    service.onOpen = [&](const QString& path) {
      ++handled;
      app.mainFrame()->OpenHandedOver(path);
    };
    service.SetReady(true);
    const QString orbit = BinDir() + QStringLiteral("examples/orbit.zvmov");
    QVERIFY(QFileInfo::exists(orbit));

    // A file hands over: the later player exits 0, this one opens the file
    // (a relative path is resolved in the later player's folder).
    const QString childEvents = dir_.path() + QStringLiteral("/child.jsonl");
    QProcess::ExitStatus normal = QProcess::NormalExit;
    QDir::setCurrent(BinDir());
    Run run = RunPlayer({QStringLiteral("examples/orbit.zvmov")}, ChildEnv(childEvents));
    QCOMPARE(run.status, normal);
    QCOMPARE(run.exitCode, 0);
    QTRY_COMPARE(handled, 1);
    QCOMPARE(ToQString(app.document().path()), orbit);
    QCOMPARE(app.mainFrame()->windowTitle(), testing::WindowTitle(QStringLiteral("orbit.zvmov")));

    // A file that cannot be read shows the usual message here, not there.
    const int before = MessagesIn(events_);
    run = RunPlayer({WriteBroken(dir_.path())}, ChildEnv(childEvents));
    QCOMPARE(run.exitCode, 0);
    QTRY_COMPARE(handled, 2);
    QVERIFY(MessagesIn(events_) > before);
    QCOMPARE(MessagesIn(childEvents), 0);

    // No file: the window only comes to the front; the project stays.
    const std::u16string path = app.document().path();
    run = RunPlayer({}, ChildEnv(childEvents));
    QCOMPARE(run.exitCode, 0);
    QTRY_COMPARE(handled, 3);
    QCOMPARE(app.document().path(), path);

    // --new-window, and a player without a session bus, open the file
    // themselves: the broken file's message is theirs and they fail.
    const int primaryMessages = MessagesIn(events_);
    const QString own = dir_.path() + QStringLiteral("/own.jsonl");
    run = RunPlayer({QStringLiteral("--new-window"), WriteBroken(dir_.path())}, ChildEnv(own));
    QCOMPARE(run.status, normal);
    QVERIFY(run.exitCode != 0);
    QCOMPARE(MessagesIn(own), 1);
    const QString noBus = dir_.path() + QStringLiteral("/nobus.jsonl");
    QProcessEnvironment env = ChildEnv(noBus);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + dir_.path() + QStringLiteral("/no-bus-here"));
    run = RunPlayer({WriteBroken(dir_.path())}, env);
    QCOMPARE(run.status, normal);
    QVERIFY(run.exitCode != 0);
    QCOMPARE(MessagesIn(noBus), 1);
    QCOMPARE(MessagesIn(events_), primaryMessages);
    QCOMPARE(handled, 3);
    app.ExitInstance(0);
  }

  // The interface as the desktop calls it: only local files are opened, and
  // actions reach their handler.
  void busCallsReachTheHandlers() {
    ApplicationService service;
    QCOMPARE(service.Claim(), BusClaim::Owner);
    QStringList opened, actions;
    service.onOpen = [&](const QString& path) { opened << path; };
    service.onAction = [&](const QString& name) {
      actions << name;
      return name == QLatin1String(kActionOpenDialog);
    };
    service.SetReady(true);
    auto call = [](const char* method, const QVariantList& args) {
      QDBusMessage m = QDBusMessage::createMethodCall(
          QLatin1String(kBusName), QLatin1String(kObjectPath),
          QStringLiteral("org.freedesktop.Application"), QLatin1String(method));
      m.setArguments(args);
      // Answered by this process's own event loop.
      QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(m);
      while (!pending.isFinished()) QTest::qWait(5);
      return pending.reply().type() == QDBusMessage::ReplyMessage;
    };
    const QString local = dir_.path() + QStringLiteral("/y.zvmov");
    QVERIFY(
        call("Open", {QStringList{QStringLiteral("https://example.org/x.zvmov"), FileUrlOf(local)},
                      QVariantMap()}));
    QVERIFY(call("ActivateAction",
                 {QString::fromLatin1(kActionOpenDialog), QVariantList(), QVariantMap()}));
    QVERIFY(
        call("ActivateAction", {QStringLiteral("no-such-action"), QVariantList(), QVariantMap()}));
    QTRY_COMPARE(actions.size(), 2);
    QCOMPARE(opened, QStringList{local});
    QCOMPARE(actions, (QStringList{QString::fromLatin1(kActionOpenDialog),
                                   QStringLiteral("no-such-action")}));
  }

  // A request that arrives while a message box is open waits for it to close.
  void requestsWaitForAModalDialog() {
    ApplicationService service;
    QStringList opened;
    service.onOpen = [&](const QString& path) { opened << path; };
    service.SetReady(true);
    QWidget modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    QVERIFY(QTest::qWaitForWindowExposed(&modal));
    service.Enqueue(QStringLiteral("/a.zvmov"), QString());
    service.Enqueue(QStringLiteral("/b.zvmov"), QString());
    QTest::qWait(300);
    QVERIFY(opened.isEmpty());
    QCOMPARE(service.pendingCount(), 2);
    modal.close();
    QTRY_COMPARE(opened, (QStringList{QStringLiteral("/a.zvmov"), QStringLiteral("/b.zvmov")}));
  }

  // A file URL keeps a name's bytes that are not UTF-8.
  void fileUrlsKeepTheNamesBytes() {
    const QString odd = PathFromNative(QByteArray("/tmp/caf\xe9 #1.zvmov"));
    const QString url = FileUrlOf(odd);
    QCOMPARE(url, QStringLiteral("file:///tmp/caf%E9%20%231.zvmov"));
    QCOMPARE(PathFromUrl(QUrl(url, QUrl::StrictMode)), odd);
  }
};

int main(int argc, char** argv) {
  qputenv("ALSOFT_DRIVERS", "null");
  return tolvani::testing::RunWindowTest<SingleWindowTest>(argc, argv);
}

#include "single_window_test.moc"
