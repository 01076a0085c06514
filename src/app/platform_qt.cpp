#include "app/platform_qt.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QUrl>

#include <cstdio>

#include "base/native_path.h"
#include "playback/web_links.h"

namespace tolvani {
namespace {

// The caption of every message box: the application's title.
const QString kCaption = QStringLiteral("Player");

// What an open request may launch: a web page (http or https with a host)
// or a local file named by an absolute path (the help page). Anything else,
// relative paths above all, gives an empty URL.
QUrl TargetUrl(const std::u16string& target) {
  if (IsWebLink(target)) {
    const QUrl url(ToQString(target), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
        !url.host().isEmpty())
      return url;
    return {};
  }
  if (!target.empty() && target.front() == u'/')
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(ToNativePath(target))));
  return {};
}

}  // namespace

void QtPlatformServices::ShowMessage(const std::u16string& text, MessageIcon icon) {
  QMessageBox box;
  box.setWindowTitle(kCaption);
  box.setText(ToQString(text));
  box.setIcon(icon == MessageIcon::Error         ? QMessageBox::Critical
              : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                 : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void QtPlatformServices::OpenDocument(const std::u16string& target) {
  const QUrl url = TargetUrl(target);
  if (url.isEmpty()) {
    Diagnostic("app", u"refused to open: " + target);
    return;
  }
  if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
    Diagnostic("app", u"not found: " + target);
    return;
  }
  if (!QDesktopServices::openUrl(url)) Diagnostic("app", u"cannot open: " + target);
}

void QtPlatformServices::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  std::fprintf(stderr, "tolvani.%.*s: %s\n", static_cast<int>(subsystem.size()), subsystem.data(),
               ToQString(text).toUtf8().constData());
}

void RecordingPlatformServices::Record(const char* event, const char* key, const QString& value) {
  QJsonObject line;
  line.insert(QStringLiteral("event"), QString::fromLatin1(event));
  line.insert(QString::fromLatin1(key), value);
  QFile file(path_);
  if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
    file.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
    file.write("\n");
  }
}

void RecordingPlatformServices::ShowMessage(const std::u16string& text, MessageIcon) {
  Record("message", "text", ToQString(text));
}

void RecordingPlatformServices::OpenDocument(const std::u16string& target) {
  Record("open", "target", ToQString(target));
}

void RecordingPlatformServices::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  std::fprintf(stderr, "tolvani.%.*s: %s\n", static_cast<int>(subsystem.size()), subsystem.data(),
               ToQString(text).toUtf8().constData());
}

std::unique_ptr<IPlatformServices> MakePlatformServices() {
  const QString record = qEnvironmentVariable("TOLVANI_RECORD_MESSAGES");
  if (!record.isEmpty()) return std::make_unique<RecordingPlatformServices>(record);
  return std::make_unique<QtPlatformServices>();
}

CPlayerDoc::SaveAnswer AskSaveQuestion(const std::u16string& question) {
  if (auto* recorder = dynamic_cast<RecordingPlatformServices*>(&Platform())) {
    recorder->Record("question", "text", ToQString(question));
    const QString answer = qEnvironmentVariable("TOLVANI_SAVE_ANSWER").toLower();
    if (answer == QLatin1String("yes")) return CPlayerDoc::SaveAnswer::Yes;
    if (answer == QLatin1String("cancel")) return CPlayerDoc::SaveAnswer::Cancel;
    return CPlayerDoc::SaveAnswer::No;
  }
  const auto button = QMessageBox::question(
      nullptr, kCaption, ToQString(question),
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (button == QMessageBox::Yes) return CPlayerDoc::SaveAnswer::Yes;
  if (button == QMessageBox::No) return CPlayerDoc::SaveAnswer::No;
  return CPlayerDoc::SaveAnswer::Cancel;
}

}  // namespace tolvani
