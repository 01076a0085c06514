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

#include "base/platform_services.h"
#include "document/document.h"
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

// Message boxes are collected, never shown; diagnostics are dropped.
class CollectingPlatform : public IPlatformServices {
 public:
  std::vector<std::u16string> messages;
  void ShowMessage(const std::u16string& text, MessageIcon) override { messages.push_back(text); }
  void OpenDocument(const std::u16string&) override {}
  void Diagnostic(std::string_view, const std::u16string&) override {}
};

class HeadlessPlayer : private IViewHost {
 public:
  HeadlessPlayer();
  ~HeadlessPlayer() override;
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // Creates the context, the frame of width x height pixels, the view (its
  // renderer and sound container) and sizes it. False with *error.
  bool Start(int width, int height, std::string* error);
  // The open as at start-up, then the framework's initial update. False
  // when the file could not be read; messages() holds what it said.
  bool Open(const std::string& path);
  const std::vector<std::u16string>& messages() const { return platform_.messages; }

  // The 30 ms tick, then the repaint it asked for.
  void Tick();
  // One paint (DrawFrame) into the frame.
  void Draw();
  // The frame as RGBA, row 0 the top row (bottomUp: the bottom row).
  void ReadFrame(std::vector<uint8_t>& rgba, bool bottomUp = false);
  // Mixes the next frames of stereo 16-bit sound; false without sound.
  bool MixSound(int16_t* out, uint32_t frames);

  CPlayerView& view() { return view_; }
  CPlayerDoc& document() { return document_; }
  int width() const { return frame_.width(); }
  int height() const { return frame_.height(); }

 private:
  void StartTimer(int) override {}
  void Invalidate() override { invalidated_ = true; }
  void SetCapture() override {}
  void ReleaseCapture() override {}

  CollectingPlatform platform_;
  std::unique_ptr<gl::OpenGLDevice> device_;
  OffscreenFramebuffer frame_;
  std::unique_ptr<QtTextRasterizer> text_;
  OpenAlSoundBackend* sound_ = nullptr;  // owned by the view's sound container
  CPlayerDoc document_;
  CPlayerView view_;
  bool created_ = false;
  bool invalidated_ = false;
};

}  // namespace tolvani::render_tool
