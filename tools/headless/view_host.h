// The window around a view that has no window: what the view asks of it is
// counted, and a repaint request is remembered until the host serves it.
// The headless tools and the tests read the counts.
#pragma once

#include "playback/player_view.h"

namespace tolvani::headless {

class ViewHost : public IViewHost {
 public:
  void StartTimer(int periodMs) override { timerPeriodMs = periodMs; }
  void Invalidate() override {
    ++invalidations;
    repaintRequested = true;
  }
  void SetCapture() override { ++captureRequests; }
  void ReleaseCapture() override { ++releaseRequests; }

  // The captures still held: requests less releases (the view releases
  // only what it took).
  int CapturesHeld() const { return captureRequests - releaseRequests; }
  // Whether a repaint was asked for since the last call; clears the request.
  bool TakeRepaint() {
    const bool requested = repaintRequested;
    repaintRequested = false;
    return requested;
  }

  int timerPeriodMs = 0;  // 0 until the view starts its tick
  int invalidations = 0;  // every Invalidate, served or not
  int captureRequests = 0;
  int releaseRequests = 0;
  bool repaintRequested = false;
};

}  // namespace tolvani::headless
