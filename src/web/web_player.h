// The player in a web page: the view on the WebGL2 device, hosted the way
// the window hosts it, driven by the page's JavaScript (player_glue.js)
// through the functions exported in web_player.cpp.
//
// The page owns time: a 30 ms timer calls Tick, requestAnimationFrame calls
// Draw when Tick (or a resize) asked for a frame. Coordinates are device
// pixels of the canvas, x right and y down from its top-left corner, as the
// window passes them (the CSS position times devicePixelRatio, floored).
// Balloon cards are drawn on a 2D canvas, sound plays through Web Audio
// (silent until the page's first user gesture, as browsers require).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "headless/headless_view.h"
#include "render/gl/opengl_device.h"
#include "web/canvas_text_rasterizer.h"
#include "web/web_platform.h"

namespace tolvani::web {

class WebPlayer final : private headless::IPaintTarget {
 public:
  WebPlayer() : headless_(this) {}
  ~WebPlayer() override;

  // The device on the page's canvas (CSS selector) and the view on it, at
  // width x height device pixels. False (with the reason) when the browser
  // gives no WebGL2 or the view cannot be created.
  bool Start(const std::string& canvasSelector, int width, int height, std::string* error);
  // The open sequence at start-up on a file of the page's memory file
  // system (path in UTF-8).
  bool Open(const std::string& path);
  // The open path of a dropped or chosen file, as the window's drop: a path
  // that does not end in .zvmov is ignored (false, nothing changes); a
  // failed read falls back to the start-up project.
  bool OpenLocal(const std::string& path);
  // The view's tick; true when it asks for a frame.
  bool Tick();
  void Draw();
  void Resize(int width, int height);

  // Mouse buttons as the page numbers them (MouseEvent.button).
  enum class Button : int { kLeft = 0, kRight = 2 };
  void MouseDown(Button button, int x, int y);
  void MouseUp(Button button, int x, int y);
  void DoubleClick(int x, int y);
  // buttons: MouseEvent.buttons (bit 0 left, bit 1 right) during the move.
  void MouseMove(int x, int y, int buttons);
  void Wheel(int delta, int x, int y);
  // vk: the view's virtual-key code; repeat: the key is held.
  void KeyDown(uint32_t vk, bool repeat);
  void KeyUp(uint32_t vk);
  // The page lost focus: held keys and buttons are let go.
  void ReleaseHeldInput();

  // The story's state as `tolvani simulate` prints it, for the page and its
  // tests: one JSON object with currentStep, previousStep, stepProgress,
  // fadeLevel, pickedModel, spinSpeed and camera {position, rotation,
  // scale, pivot} (numbers; a non-finite float is null).
  std::string StateJson();

  CPlayerView& view() { return headless_.view(); }

 private:
  void BeginPaint() override;
  void EndPaint() override;

  WebPlatform platform_;
  CanvasTextRasterizer text_;
  gl::OpenGLDevice device_;
  headless::HeadlessView headless_;
  int width_ = 1, height_ = 1;
  bool started_ = false;
};

}  // namespace tolvani::web
