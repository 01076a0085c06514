// The Open dialog's file list in Japanese. Qt words the type of a folder
// ("Folder") and writes modification times in the system locale, which is
// English on a desktop without a Japanese locale, whatever the translations
// say; this proxy words both as the rest of the player's interface.
#pragma once

#include <QIdentityProxyModel>

namespace tolvani {

class OpenDialogColumns : public QIdentityProxyModel {
  Q_OBJECT
 public:
  // The columns of QFileSystemModel.
  static constexpr int kTypeColumn = 2;
  static constexpr int kDateColumn = 3;

  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override;
};

}  // namespace tolvani
