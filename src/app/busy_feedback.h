// Feedback while a project opens on the GUI thread: after about 200 ms the
// busy cursor, after a second also a line over the window naming the stage
// (reading, preparing, sounds). Both go when the open ends. The window is
// not repainted meanwhile; the line is painted at once and the window
// system is synchronised, so the sign shows although no event is handled.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QString>

#include <functional>

#include "document/document.h"

namespace tolvani {

class BusyFeedback {
 public:
  static constexpr qint64 kCursorAfterMs = 200;
  static constexpr qint64 kProgressAfterMs = 1000;

  // window: where the progress line shows (not owned; it owns the line).
  explicit BusyFeedback(QWidget* window);
  ~BusyFeedback();
  BusyFeedback(const BusyFeedback&) = delete;
  BusyFeedback& operator=(const BusyFeedback&) = delete;

  // The document's open stages: Reading starts the clock, Done ends it all.
  void OnStage(CPlayerDoc::OpenStage stage);

  bool cursorShown() const { return cursorShown_; }
  bool progressShown() const;
  QString progressText() const;
  // Milliseconds since Reading; replaceable for tests.
  std::function<qint64()> elapsedMs;

  static QString StageText(CPlayerDoc::OpenStage stage);

 private:
  void End();

  QPointer<QWidget> window_;
  QPointer<QLabel> line_;  // owned by window_
  QElapsedTimer clock_;
  bool active_ = false;
  bool cursorShown_ = false;
};

}  // namespace tolvani
