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
#include "base/version.h"
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

}  // namespace tolvani::testing
