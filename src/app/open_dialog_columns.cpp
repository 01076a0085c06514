#include "app/open_dialog_columns.h"

#include <QDateTime>
#include <QFileSystemModel>

namespace tolvani {

QVariant OpenDialogColumns::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return QIdentityProxyModel::data(index, role);
  const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
  if (files == nullptr) return QIdentityProxyModel::data(index, role);
  const QModelIndex source = mapToSource(index);
  if (index.column() == kTypeColumn && files->isDir(source)) return QStringLiteral("フォルダー");
  if (index.column() == kDateColumn) {
    const QDateTime time = files->lastModified(source);
    // The way Japanese desktops write a file's time: 2026/12/10 05:07.
    if (time.isValid()) return time.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
  }
  return QIdentityProxyModel::data(index, role);
}

}  // namespace tolvani
