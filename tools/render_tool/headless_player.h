// The player without a window: the view, the document, the OpenGL device on
// an EGL surfaceless context drawing into a framebuffer object, balloon
// cards from the Qt text rasteriser, and the sound container on an OpenAL
// Soft loopback device that mixes only when asked.
//
// Needs a QGuiApplication (the offscreen platform is enough: it gives fonts
// without a display). One per process: the scene is process-wide.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "headless/headless_view.h"
#include "headless/tool_platform.h"
#include "playback/player_view.h"
#include "render_tool/egl_offscreen.h"

namespace tolvani {
class OpenAlSoundBackend;
class QtTextRasterizer;
namespace gl {
class OpenGLDevice;
}
}  // namespace tolvani

namespace tolvani::render_tool {

class HeadlessPlayer : private headless::IPaintTarget {
 public:
  HeadlessPlayer();
  ~HeadlessPlayer() override;
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // Creates the context, the frame of width x height pixels, the view (its
  // renderer and sound container) and sizes it. False with *error.
  bool Start(int width, int height, std::string* error);
  // Kept pictures of the target (see render/gl/opengl_device.h), on after
  // Start; off where only a frame or two are drawn and memory is counted.
  void KeepPictures(bool on);
  // The open as at start-up (path in the file system's bytes), then the
  // framework's initial update. False when the file could not be read;
  // messages() holds what it said.
  bool Open(const std::string& path);
  // Message boxes are collected, never shown; diagnostics are dropped.
  const std::vector<std::u16string>& messages() const { return platform_.messages(); }

  // The 30 ms tick, then the repaint it asked for.
  void Tick();
  // One paint (DrawFrame) into the frame.
  void Draw();
  // The frame as RGBA, row 0 the top row (bottomUp: the bottom row).
  void ReadFrame(std::vector<uint8_t>& rgba, bool bottomUp = false);
  // Mixes the next frames of stereo 16-bit sound; false without sound.
  bool MixSound(int16_t* out, uint32_t frames);

  // Device calls refused for want of memory since Start: the picture then
  // lacks what they would have made.
  uint32_t outOfMemoryCount() const;

  CPlayerView& view() { return headless_.view(); }
  CPlayerDoc& document() { return headless_.document(); }
  int width() const { return frame_.width(); }
  int height() const { return frame_.height(); }

 private:
  // Every paint and tick draws into the frame.
  void BeginPaint() override;
  void EndPaint() override;

  headless::ToolPlatform platform_{headless::ToolPlatform::Diagnostics::Dropped};
  std::unique_ptr<gl::OpenGLDevice> device_;
  OffscreenFramebuffer frame_;
  std::unique_ptr<QtTextRasterizer> text_;
  OpenAlSoundBackend* sound_ = nullptr;  // owned by the view's sound container
  headless::HeadlessView headless_{this};
  bool created_ = false;
};

}  // namespace tolvani::render_tool
