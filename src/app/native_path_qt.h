// Paths at the Qt edge. Inside the player a path is a QString holding the
// UTF-16 form of native_path.h: file names that are not UTF-8 keep their
// bytes as U+DC80..U+DCFF. Qt's own conversions (fromLocal8Bit, toLocalFile)
// would replace such bytes, so paths from the command line, file URLs (the
// open dialog, drops) and the settings come in through these functions, and
// text for people goes out through DisplayText.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariant>

namespace tolvani {

// A path from the OS's bytes (argv, the settings' byte form).
QString PathFromNative(const QByteArray& bytes);
// The OS's bytes of a path.
QByteArray NativeBytes(const QString& path);
// The local path of a file URL from its percent-encoded bytes; empty for
// other URLs.
QString PathFromUrl(const QUrl& url);
// A path or a title for display: bytes that are not text shown as U+FFFD.
QString DisplayText(const QString& path);
// A path for the settings: plain text when it is valid Unicode, else its bytes.
QVariant PathToSetting(const QString& path);
QString PathFromSetting(const QVariant& value);

}  // namespace tolvani
