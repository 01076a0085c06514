#include "app/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "base/version.h"

#include <algorithm>

namespace tolvani {

int TitleWidth(const QString& title, const QFont& font) {
  QFont bold = font;
  bold.setBold(true);
  if (font.pointSizeF() > 0) {
    bold.setPointSizeF(font.pointSizeF() * 1.25);
  } else if (font.pixelSize() > 0) {
    bold.setPixelSize(font.pixelSize() * 5 / 4);
  }
  const QFontMetrics metrics(bold);
  // Room for the window icon and three buttons, each about two lines high.
  return metrics.horizontalAdvance(title) + 4 * 2 * metrics.height();
}

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
  auto* address2 = new QLabel(QStringLiteral("https://github.com/tolvani/player"), this);

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
  // The window manager draws the title in a bolder, larger font than the
  // dialog's and beside its icon and buttons; a dialog only as wide as its
  // labels gets a cut title ("バージョ… Player").
  const int width = TitleWidth(windowTitle(), font());
  layout->setColumnMinimumWidth(
      1, std::max(0, width - icon->sizeHint().width() - layout->horizontalSpacing() -
                         layout->contentsMargins().left() - layout->contentsMargins().right()));
}

}  // namespace tolvani
