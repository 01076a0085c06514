// The recent-file list: up to four full paths, newest first, kept in the
// per-user settings (group "Recent File List", keys "File1".."File4") and
// written back on every change so that it survives any way of ending.
#pragma once

#include <QString>
#include <QStringList>

namespace tolvani {

class RecentFileList {
 public:
  static constexpr int kSize = 4;

  void Load();
  // Moves path to the top (adding it when absent) and drops the oldest past four.
  void Add(const QString& path);
  void Remove(const QString& path);
  const QStringList& entries() const { return entries_; }
  // Menu text of entry i: "&<i+1> " and the path shortened to 30 characters.
  QString MenuText(int i) const;

 private:
  void Save() const;
  QStringList entries_;
};

}  // namespace tolvani
