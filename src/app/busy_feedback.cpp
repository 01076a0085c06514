#include "app/busy_feedback.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QWidget>

namespace tolvani {

BusyFeedback::BusyFeedback(QWidget* window) : window_(window) {
  elapsedMs = [this] { return clock_.isValid() ? clock_.elapsed() : 0; };
  line_ = new QLabel(window_);
  line_->setObjectName(QStringLiteral("busyLine"));
  line_->setAlignment(Qt::AlignCenter);
  line_->setAutoFillBackground(true);
  line_->setMargin(8);
  line_->setAttribute(Qt::WA_TransparentForMouseEvents);
  line_->hide();
}

BusyFeedback::~BusyFeedback() {
  End();
}

QString BusyFeedback::StageText(CPlayerDoc::OpenStage stage) {
  switch (stage) {
    case CPlayerDoc::OpenStage::Reading:
      return QStringLiteral("ファイルを読み込んでいます…");
    case CPlayerDoc::OpenStage::Preparing:
      return QStringLiteral("シーンを準備しています…");
    case CPlayerDoc::OpenStage::Sounds:
      return QStringLiteral("サウンドを準備しています…");
    case CPlayerDoc::OpenStage::Done:
      break;
  }
  return {};
}

bool BusyFeedback::progressShown() const {
  return line_ && !line_->isHidden();
}

QString BusyFeedback::progressText() const {
  return line_ ? line_->text() : QString();
}

void BusyFeedback::OnStage(CPlayerDoc::OpenStage stage) {
  if (stage == CPlayerDoc::OpenStage::Done) {
    End();
    return;
  }
  if (!active_) {
    if (stage != CPlayerDoc::OpenStage::Reading) return;
    active_ = true;
    clock_.start();
  }
  const qint64 elapsed = elapsedMs();
  bool changed = false;
  if (elapsed >= kCursorAfterMs && !cursorShown_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorShown_ = true;
    changed = true;
  }
  if (elapsed >= kProgressAfterMs && line_ && window_ && window_->isVisible()) {
    const QString text = StageText(stage);
    if (line_->isHidden() || line_->text() != text) {
      line_->setText(text);
      const QSize size = line_->sizeHint();
      line_->setGeometry((window_->width() - size.width()) / 2,
                         (window_->height() - size.height()) / 2, size.width(), size.height());
      line_->show();
      line_->raise();
      line_->repaint();
      changed = true;
    }
  }
  if (changed) QGuiApplication::sync();
}

void BusyFeedback::End() {
  if (cursorShown_) QApplication::restoreOverrideCursor();
  cursorShown_ = false;
  if (line_ && !line_->isHidden()) line_->hide();
  active_ = false;
  clock_.invalidate();
}

}  // namespace tolvani
