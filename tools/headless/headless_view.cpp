#include "headless/headless_view.h"

#include "base/native_path.h"
#include "base/sound_backend.h"
#include "model/scene_state.h"

namespace tolvani::headless {

HeadlessView::HeadlessView(IPaintTarget* target) : target_(target) {
  EnsureSceneRoot();
  view_.SetHost(&host_);
  view_.AttachDocument(&document_);
}

HeadlessView::~HeadlessView() {
  Destroy();
  view_.AttachDocument(nullptr);
  view_.SetHost(nullptr);
}

int HeadlessView::Create(gfx::IGraphicsDevice* device, ITextRasterizer* text,
                         std::unique_ptr<ISoundBackend> sound) {
  createCalled_ = true;
  return view_.OnCreate(device, text, std::move(sound));
}

bool HeadlessView::Open(std::string_view nativePath) {
  const bool ok = document_.OnOpenDocument(FromNativePath(nativePath));
  view_.OnUpdate(0);
  return ok;
}

void HeadlessView::Tick() {
  host_.repaintRequested = false;
  if (target_) target_->BeginPaint();
  view_.OnTimer();
  if (target_) target_->EndPaint();
  if (host_.TakeRepaint()) Draw();
}

void HeadlessView::Draw() {
  if (target_) target_->BeginPaint();
  view_.OnDraw();
  if (target_) target_->EndPaint();
}

void HeadlessView::Destroy() {
  if (!createCalled_) return;
  createCalled_ = false;
  view_.OnDestroy();
}

}  // namespace tolvani::headless
