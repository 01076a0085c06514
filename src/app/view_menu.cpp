#include "app/view_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "app/view_widget.h"
#include "audio/audio.h"
#include "document/document.h"
#include "model/scene_state.h"

namespace tolvani {

ViewMenu::ViewMenu(QMainWindow& window, CPlayerDoc& document, PlayerSettings& settings,
                   QAction* before)
    : QObject(&window), window_(window), document_(document), settings_(settings) {
  menu_ = new QMenu(QStringLiteral("表示(&V)"), &window);
  window.menuBar()->insertMenu(before, menu_);
  // The window keeps the shortcuts working while the menu bar is hidden
  // (full screen).
  auto add = [&](const QString& text, QList<QKeySequence> keys, bool checkable) {
    QAction* a = menu_->addAction(text);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    a->setCheckable(checkable);
    window.addAction(a);
    return a;
  };
  fullScreen_ = add(QStringLiteral("全画面表示(&F)"), {QKeySequence(Qt::Key_F11)}, true);
  connect(fullScreen_, &QAction::triggered, this, [this](bool on) {
    const Qt::WindowStates s = window_.windowState();
    window_.setWindowState(on ? s | Qt::WindowFullScreen : s & ~Qt::WindowFullScreen);
  });
  menu_->addSeparator();
  pause_ = add(QStringLiteral("一時停止(&P)"),
               {QKeySequence(Qt::Key_P), QKeySequence(Qt::Key_Pause)}, true);
  connect(pause_, &QAction::triggered, this, [this](bool on) { SetPaused(on); });
  restart_ = add(QStringLiteral("最初から(&R)"), {QKeySequence(Qt::CTRL | Qt::Key_R)}, false);
  connect(restart_, &QAction::triggered, this, [this] { Restart(); });
  menu_->addSeparator();
  mute_ = add(QStringLiteral("消音(&M)"), {QKeySequence(Qt::Key_M)}, true);
  mute_->setChecked(settings_.muted);
  connect(mute_, &QAction::triggered, this, [this](bool on) { SetMuted(on); });
  QMenu* volume = menu_->addMenu(QStringLiteral("音量(&O)"));
  volume_ = new QActionGroup(volume);
  for (int percent : PlayerSettings::kVolumeSteps) {
    QAction* a = volume->addAction(QStringLiteral("%1 %").arg(percent));
    a->setCheckable(true);
    a->setData(percent);
    a->setChecked(percent == settings_.volumePercent);
    volume_->addAction(a);
    connect(a, &QAction::triggered, this, [this, percent] { SetVolume(percent); });
  }
  menu_->addSeparator();
  statusBar_ = add(QStringLiteral("ステータスバー(&S)"), {}, true);
  connect(statusBar_, &QAction::triggered, this, [this](bool on) { SetStatusBarShown(on); });

  status_ = new QLabel(&window);
  window.statusBar()->addWidget(status_, 1);
  SetStatusBarShown(settings_.statusBar);
}

void ViewMenu::SetViewWidget(CPlayerViewWidget* widget, CPlayerView* view) {
  if (widget_) disconnect(widget_, nullptr, this, nullptr);
  widget_ = widget;
  view_ = view;
  if (widget_) {
    connect(widget_, &CPlayerViewWidget::ticked, this, [this] { RefreshStatus(); });
    connect(widget_, &CPlayerViewWidget::cueChanged, this, [this] { RefreshStatus(); });
  }
  RefreshStatus();
}

void ViewMenu::SetPaused(bool paused) {
  pause_->setChecked(paused);
  if (widget_) widget_->SetPaused(paused);
  if (SceneState.audio && SceneState.audio->backend())
    SceneState.audio->backend()->SetPaused(paused);
  RefreshStatus();
}

bool ViewMenu::paused() const {
  return pause_->isChecked();
}

void ViewMenu::Restart() {
  // A new start is not paused: the opened story's sounds play at once.
  if (paused()) SetPaused(false);
  const std::u16string path = document_.path();
  if (path.empty()) {
    document_.OnNewDocument();
  } else {
    document_.OnOpenDocument(path);
  }
  RefreshStatus();
}

void ViewMenu::SetMuted(bool muted) {
  settings_.muted = muted;
  mute_->setChecked(muted);
  settings_.Save();
  ApplyGain();
}

void ViewMenu::SetVolume(int percent) {
  settings_.volumePercent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  for (QAction* a : volume_->actions()) a->setChecked(a->data().toInt() == percent);
  settings_.Save();
  ApplyGain();
}

void ViewMenu::SetStatusBarShown(bool shown) {
  settings_.statusBar = shown;
  statusBar_->setChecked(shown);
  window_.statusBar()->setVisible(shown);
  settings_.Save();
  RefreshStatus();
}

void ViewMenu::ApplyGain() const {
  if (SceneState.audio && SceneState.audio->backend()) {
    SceneState.audio->backend()->SetMasterGain(settings_.MasterGain());
  }
}

QString ViewMenu::StatusText() const {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  const qsizetype steps = SceneState.timeLines.empty()
                              ? 0
                              : static_cast<qsizetype>(SceneState.timeLines[0].entries.size());
  const qint64 step = scene ? static_cast<qint64>(scene->currentStep) + 1 : 0;
  QString text = QStringLiteral("ステップ %1 / %2").arg(step).arg(steps);
  if (paused()) {
    text += QStringLiteral("  一時停止中");
  } else if (widget_ && widget_->clickCue()) {
    text += QStringLiteral("  クリックで次へ進みます");
  } else if (view_ && scene && view_->StoryKeyBalloon() >= 0) {
    text += QStringLiteral("  Space キーで次へ進みます");
  }
  return text;
}

void ViewMenu::RefreshStatus() {
  if (!settings_.statusBar) return;
  const QString text = StatusText();
  if (text == shownStatus_) return;  // the label repaints only on a change
  shownStatus_ = text;
  status_->setText(text);
}

}  // namespace tolvani
