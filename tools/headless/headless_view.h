// The player's view without a window, as `tolvani simulate`, `tolvani-render`
// and the tests run it: a document, the view attached to it and to a
// ViewHost, the window's creation on a given graphics device, text rasteriser
// and sound backend, the open as at start-up, and the tick followed by the
// repaint it asked for. Input goes straight to view().
//
// One at a time per process: the scene is process-wide. Construction makes
// sure a scene root exists; destruction runs the window's destruction when
// Create was called (which deletes the scene root and the sound container).
#pragma once

#include <memory>
#include <string_view>

#include "document/document.h"
#include "headless/view_host.h"
#include "playback/player_view.h"

namespace tolvani {
class ISoundBackend;
class ITextRasterizer;
namespace gfx {
class IGraphicsDevice;
}
}  // namespace tolvani

namespace tolvani::headless {

// Where the frames go. A device that draws into a frame of its own (the
// OpenGL device on a framebuffer object) binds it around every paint and
// every tick, as a window binds its surface; the null device needs none.
class IPaintTarget {
 public:
  virtual ~IPaintTarget() = default;
  virtual void BeginPaint() = 0;
  virtual void EndPaint() = 0;
};

class HeadlessView {
 public:
  // target: not owned, may be null; it must outlive this object.
  explicit HeadlessView(IPaintTarget* target = nullptr);
  ~HeadlessView();
  HeadlessView(const HeadlessView&) = delete;
  HeadlessView& operator=(const HeadlessView&) = delete;

  // The window's creation: the renderer on device, balloon cards from text
  // (null: cards stay white), the sound container on sound, then the tick
  // is started. Device and text are not owned and must outlive the view's
  // destruction. Returns the view's result: negative when the renderer
  // could not be created. The client size follows with view().OnSize.
  int Create(gfx::IGraphicsDevice* device, ITextRasterizer* text,
             std::unique_ptr<ISoundBackend> sound);
  // The open as at start-up: path is in the file system's own bytes (any
  // byte string, UTF-8 or not). Then the framework's initial update. False
  // when the file could not be read; the view runs on with what the scene
  // holds.
  bool Open(std::string_view nativePath);
  // The 30 ms tick inside a paint (a tick may draw a frame itself), then the
  // repaint it asked for.
  void Tick();
  // One paint: OnDraw inside BeginPaint / EndPaint.
  void Draw();
  // The window's destruction, when Create was called (even when it failed:
  // it releases what a failed creation made). Later calls do nothing.
  void Destroy();

  CPlayerView& view() { return view_; }
  const CPlayerView& view() const { return view_; }
  CPlayerDoc& document() { return document_; }
  ViewHost& host() { return host_; }

 private:
  IPaintTarget* target_;
  ViewHost host_;
  CPlayerDoc document_;
  CPlayerView view_;
  bool createCalled_ = false;
};

}  // namespace tolvani::headless
