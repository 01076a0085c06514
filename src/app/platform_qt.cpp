#include "app/platform_qt.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <cstdio>

#include "base/native_path.h"
#include "playback/web_links.h"

namespace tolvani {
namespace {

// The caption of every message box: the application's title.
const QString kCaption = QStringLiteral("Player");

// One category per subsystem; debug output is off unless QT_LOGGING_RULES
// turns it on (for example "tolvani.*.debug=true").
Q_LOGGING_CATEGORY(lcModel, "tolvani.model", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRender, "tolvani.render", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAudio, "tolvani.audio", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlayback, "tolvani.playback", QtInfoMsg)
Q_LOGGING_CATEGORY(lcApp, "tolvani.app", QtInfoMsg)

QPointer<QWidget> g_dialogParent;

// Diagnostic texts often end in a line feed of their own; the logger adds one.
QString LogText(const std::u16string& text) {
  QString t = ToQString(text);
  while (t.endsWith(QLatin1Char('\n')) || t.endsWith(QLatin1Char('\r'))) t.chop(1);
  return t;
}

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

const QLoggingCategory& LogCategory(std::string_view subsystem) {
  if (subsystem == "render") return lcRender();
  if (subsystem == "audio") return lcAudio();
  if (subsystem == "model" || subsystem == "document") return lcModel();
  if (subsystem == "playback") return lcPlayback();
  return lcApp();
}

void LogDiagnostic(std::string_view subsystem, const std::u16string& text) {
  const QLoggingCategory& category = LogCategory(subsystem);
  if (!category.isDebugEnabled()) return;
  // A bare line feed (sent after a path) would only make an empty line.
  const QString line = LogText(text);
  if (!line.isEmpty()) {
    QMessageLogger(nullptr, 0, nullptr, category.categoryName()).debug().noquote() << line;
  }
}

void LogWarning(std::string_view subsystem, const std::u16string& text) {
  const QLoggingCategory& category = LogCategory(subsystem);
  if (category.isWarningEnabled()) {
    QMessageLogger(nullptr, 0, nullptr, category.categoryName()).warning().noquote()
        << LogText(text);
  }
}

}  // namespace

void SetDialogParent(QWidget* parent) {
  g_dialogParent = parent;
}

QWidget* DialogParent() {
  return g_dialogParent.data();
}

void QtPlatformServices::ShowMessage(const std::u16string& text, MessageIcon icon) {
  QMessageBox box(DialogParent());
  box.setWindowTitle(kCaption);
  box.setText(ToQString(text));
  box.setIcon(icon == MessageIcon::Error         ? QMessageBox::Critical
              : icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                 : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.setWindowModality(DialogParent() ? Qt::WindowModal : Qt::ApplicationModal);
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
    ShowOpenFailure(target);
    return;
  }
  if (!QDesktopServices::openUrl(url)) {
    Diagnostic("app", u"cannot open: " + target);
    ShowOpenFailure(target);
  }
}

void ShowOpenFailure(const std::u16string& target) {
  // Not modal: a link fails inside a step start, and the story's tick must
  // go on meanwhile.
  auto* box = new QMessageBox(DialogParent());
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowTitle(kCaption);
  box->setIcon(QMessageBox::Warning);
  box->setText(OpenFailureText(target));
  box->setStandardButtons(QMessageBox::Ok);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

QString OpenFailureText(const std::u16string& target) {
  return QStringLiteral("次のアドレスを開けませんでした:\n%1").arg(ToQString(target));
}

void QtPlatformServices::Diagnostic(std::string_view subsystem, const std::u16string& text) {
  LogDiagnostic(subsystem, text);
}

void QtPlatformServices::Warning(std::string_view subsystem, const std::u16string& text) {
  LogWarning(subsystem, text);
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
  LogDiagnostic(subsystem, text);
}

void RecordingPlatformServices::Warning(std::string_view subsystem, const std::u16string& text) {
  LogWarning(subsystem, text);
}

std::unique_ptr<IPlatformServices> MakePlatformServices() {
  const QString record = qEnvironmentVariable("TOLVANI_RECORD_MESSAGES");
  if (!record.isEmpty()) return std::make_unique<RecordingPlatformServices>(record);
  return std::make_unique<QtPlatformServices>();
}

}  // namespace tolvani
