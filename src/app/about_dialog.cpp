#include "app/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "base/version.h"

namespace tolvani {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("バージョン情報 Player"));
  setModal(true);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().isNull()
                      ? style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32)
                      : QApplication::windowIcon().pixmap(32, 32));
  auto* version =
      new QLabel(QStringLiteral("Tolvani, Version ") + QLatin1String(kTolvaniVersion), this);
  version->setTextFormat(Qt::PlainText);
  version->setObjectName(QStringLiteral("versionLabel"));
  auto* notice = new QLabel(QStringLiteral("3D カートゥーン プレーヤー"), this);
  auto* address1 = new QLabel(QStringLiteral("Tolvani Project"), this);
  auto* address2 = new QLabel(QStringLiteral("https://tolvani.example/"), this);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);
  layout->addWidget(version, 0, 1);
  layout->addWidget(notice, 1, 1);
  layout->addWidget(address1, 2, 1);
  layout->addWidget(address2, 3, 1);
  layout->addWidget(ok, 4, 1, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tolvani
