// CAboutDlg: the modal About box of the Help menu.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

namespace tolvani {

// The width in pixels a window manager needs to show title whole in its
// title bar: the text in a bold font a quarter larger than font, plus the
// window icon and three buttons.
int TitleWidth(const QString& title, const QFont& font);

// At least TitleWidth(windowTitle(), font()) wide.
class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tolvani
