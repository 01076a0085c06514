// Helpers shared by the window tests: the recorded message-box and open
// events, and a stand-in program directory.
#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <filesystem>

#include "base/version.h"
#include "support/test_helpers.h"

namespace tolvani::testing {

// The events recorded under TOLVANI_RECORD_MESSAGES, one JSON object a line.
// The main window's title for a document title.
inline QString WindowTitle(const QString& document) {
  return document + QStringLiteral(" - Tolvani ") + QLatin1String(kTolvaniVersion);
}

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

}  // namespace tolvani::testing
