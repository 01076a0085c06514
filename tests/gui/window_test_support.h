// Helpers shared by the window tests: the recorded message-box and open
// events, and a stand-in program directory.
#pragma once

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#include "app/gl_format.h"
#include "app/view_widget.h"
#include "base/version.h"
#include "model/scene_state.h"
#include "support/test_helpers.h"

namespace tolvani::testing {

// The main window's title for a document title.
inline QString WindowTitle(const QString& document) {
  return document + QStringLiteral(" - Tolvani ") + QLatin1String(kTolvaniVersion);
}

// The events recorded under TOLVANI_RECORD_MESSAGES, one JSON object a line.
inline QList<QJsonObject> ReadEvents(const QString& path) {
  QList<QJsonObject> events;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return events;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (!line.trimmed().isEmpty()) events.append(QJsonDocument::fromJson(line).object());
  }
  return events;
}

// The real shader source of the player.
inline QString SourceShader() {
  QFile f(QStringLiteral(TOLVANI_SOURCE_DIR "/shaders/CoreShader.glsl"));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

// A program directory with the given shader text (none when null).
inline QString MakeProgramDir(const QString& shader) {
  const QString dir = QString::fromStdString(MakeTempDir());
  if (!shader.isNull()) {
    std::filesystem::create_directories((dir + QStringLiteral("DoNotTouch")).toStdString());
    QFile f(dir + QStringLiteral("DoNotTouch/CoreShader.glsl"));
    if (f.open(QIODevice::WriteOnly)) f.write(shader.toUtf8());
  }
  return dir;
}

// Runs the window test class Test as the player starts: settings in a
// private folder, the OpenGL format set before the application exists, the
// player's organisation and application names.
template <class Test>
int RunWindowTest(int argc, char** argv) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  SetDefaultOpenGlFormat();
  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Tolvani MFC Application"));
  QCoreApplication::setApplicationName(QStringLiteral("Player"));
  Test test;
  return QTest::qExec(&test, argc, argv);
}

// The story's current step, -1 without a scene.
inline int Step() {
  return SceneState.sceneRoot ? SceneState.sceneRoot->currentStep : -1;
}

// Waits until `done` holds or the view has ticked `ticks` more times. The
// bound counts ticks, not seconds: a busy machine makes a test slower,
// never wrong (ctest's own timeout catches a hang).
template <class Done>
bool WithinTicks(const CPlayerViewWidget& widget, uint64_t ticks, Done done) {
  const uint64_t end = widget.tickCount() + ticks;
  while (!done()) {
    if (widget.tickCount() >= end) return false;
    QTest::qWait(5);
  }
  return true;
}

// RunWindowTest with OpenAL Soft's null output standing for a sound device
// and message boxes and links recorded, not shown.
template <class Test>
int RunWindowTestRecordingMessages(int argc, char** argv) {
  qputenv("ALSOFT_DRIVERS", "null");
  QTemporaryDir events;
  qputenv("TOLVANI_RECORD_MESSAGES", (events.path() + QStringLiteral("/events.jsonl")).toUtf8());
  return RunWindowTest<Test>(argc, argv);
}

}  // namespace tolvani::testing
