#include "app/native_path_qt.h"

#include <string>

#include "app/platform_qt.h"
#include "base/native_path.h"

namespace tolvani {

QString PathFromNative(const QByteArray& bytes) {
  return ToQString(FromNativePath(std::string_view(bytes.constData(), bytes.size())));
}

QByteArray NativeBytes(const QString& path) {
  return QByteArray::fromStdString(ToNativePath(FromQString(path)));
}

QString PathFromUrl(const QUrl& url) {
  if (!url.isLocalFile()) return {};
  // The fully encoded path keeps bytes that are not UTF-8 as %XX escapes.
  return PathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString DisplayText(const QString& path) {
  return ToQString(DisplayPath(FromQString(path)));
}

QVariant PathToSetting(const QString& path) {
  if (DisplayText(path) == path) return path;
  return NativeBytes(path);
}

QString PathFromSetting(const QVariant& value) {
  if (value.typeId() == QMetaType::QByteArray) return PathFromNative(value.toByteArray());
  return value.toString();
}

}  // namespace tolvani
