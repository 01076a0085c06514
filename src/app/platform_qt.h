// Platform services of the player: modal Qt message boxes and the desktop's
// default handler, or, for tests and unattended runs, a recorder that
// appends every request as a JSON line to a file and never blocks.
//
// TOLVANI_RECORD_MESSAGES=FILE selects the recorder. Its lines:
//   {"event":"message","text":"..."}
//   {"event":"open","target":"..."}
//
// Diagnostics and warnings of both go to the logging categories
// tolvani.model, .render, .audio, .playback and .app (anything else is
// .app): diagnostics at debug level, off unless QT_LOGGING_RULES enables
// them; warnings on standard error. A trailing line feed is dropped.
#pragma once

#include <QString>

#include <memory>

#include "base/platform_services.h"

class QWidget;

namespace tolvani {

class QtPlatformServices : public IPlatformServices {
 public:
  void ShowMessage(const std::u16string& text, MessageIcon icon) override;
  // Opens a web page (http or https URL with a host), or a local file named
  // by an absolute path when it exists. Anything else only gives a
  // diagnostic; a missing file or a page or file the desktop cannot open
  // also shows a Japanese message naming the address (not modal).
  void OpenDocument(const std::u16string& target) override;
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override;
  void Warning(std::string_view subsystem, const std::u16string& text) override;
};

class RecordingPlatformServices : public IPlatformServices {
 public:
  explicit RecordingPlatformServices(QString path) : path_(std::move(path)) {}
  void ShowMessage(const std::u16string& text, MessageIcon icon) override;
  void OpenDocument(const std::u16string& target) override;
  void Diagnostic(std::string_view subsystem, const std::u16string& text) override;
  void Warning(std::string_view subsystem, const std::u16string& text) override;
  void Record(const char* event, const char* key, const QString& value);

 private:
  QString path_;
};

// The message shown when target cannot be opened, and showing it (a
// message box that does not block the caller).
QString OpenFailureText(const std::u16string& target);
void ShowOpenFailure(const std::u16string& target);

// The services for this run (recorder when TOLVANI_RECORD_MESSAGES is set).
std::unique_ptr<IPlatformServices> MakePlatformServices();

// The window that message boxes are centred on and modal to (the main
// window while it exists; null: none). Not owned; cleared when it goes.
void SetDialogParent(QWidget* parent);
QWidget* DialogParent();

inline QString ToQString(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                        static_cast<size_t>(s.size()));
}

}  // namespace tolvani
