#include "app/recent_files.h"

#include <QFileInfo>
#include <QSettings>

#include "app/native_path_qt.h"

namespace tolvani {
namespace {
const QString kGroup = QStringLiteral("Recent File List");
QString Key(int i) {
  return QStringLiteral("File%1").arg(i + 1);
}
constexpr int kDisplayLength = 30;
}  // namespace

void RecentFileList::Load() {
  QSettings settings;
  settings.beginGroup(kGroup);
  entries_.clear();
  for (int i = 0; i < kSize; ++i) {
    const QString path = PathFromSetting(settings.value(Key(i)));
    if (!path.isEmpty() && !entries_.contains(path)) entries_.append(path);
  }
}

void RecentFileList::Save() const {
  QSettings settings;
  settings.beginGroup(kGroup);
  for (int i = 0; i < kSize; ++i) {
    if (i < entries_.size()) {
      settings.setValue(Key(i), PathToSetting(entries_[i]));
    } else {
      settings.remove(Key(i));
    }
  }
  settings.sync();
}

void RecentFileList::Add(const QString& path) {
  if (path.isEmpty()) return;
  entries_.removeAll(path);
  entries_.prepend(path);
  while (entries_.size() > kSize) entries_.removeLast();
  Save();
}

void RecentFileList::Remove(const QString& path) {
  if (entries_.removeAll(path) > 0) Save();
}

QString RecentFileList::MenuText(int i) const {
  if (i < 0 || i >= entries_.size()) return {};
  QString shown = DisplayText(entries_[i]);
  if (shown.size() > kDisplayLength) {
    // Keep the file name and as much of the folder's end as fits.
    const QString name = QFileInfo(shown).fileName();
    const int keep = kDisplayLength - 3 - static_cast<int>(name.size()) - 1;
    shown = keep > 0 ? QStringLiteral("...") + shown.right(keep + name.size() + 1) : name;
  }
  shown.replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("&%1 %2").arg(i + 1).arg(shown);
}

}  // namespace tolvani
