#include "render_tool/headless_player.h"

#include "audio/null_sound_backend.h"
#include "audio/openal/openal_sound_backend.h"
#include "base/native_path.h"
#include "base/text_conversion.h"
#include "model/scene_state.h"
#include "render/gl/opengl_device.h"
#include "render/qt/qt_text_rasterizer.h"

namespace tolvani::render_tool {

HeadlessPlayer::HeadlessPlayer() {
  SetPlatform(&platform_);
  EnsureSceneRoot();
}

HeadlessPlayer::~HeadlessPlayer() {
  if (created_) view_.OnDestroy();
  view_.AttachDocument(nullptr);
  view_.SetHost(nullptr);
  if (device_) {
    frame_.Release();  // the one context is still current
    device_->Shutdown();
  }
  SetPlatform(nullptr);
}

bool HeadlessPlayer::Start(int width, int height, std::string* error) {
  std::unique_ptr<EglSurfacelessContext> context = EglSurfacelessContext::Create(error);
  if (context == nullptr) return false;
  device_ = std::make_unique<gl::OpenGLDevice>();
  if (!device_->Initialize(std::move(context), error)) return false;
  if (!frame_.Create(width, height, error)) return false;
  text_ = std::make_unique<QtTextRasterizer>();
  std::unique_ptr<ISoundBackend> sound;
  if (auto loopback = OpenAlSoundBackend::CreateLoopback(48000, 2)) {
    sound_ = loopback.get();
    sound = std::move(loopback);
  } else {
    // Without OpenAL's loopback the video is silent rather than refused.
    sound = std::make_unique<NullSoundBackend>();
  }
  view_.SetHost(this);
  view_.AttachDocument(&document_);
  if (view_.OnCreate(device_.get(), text_.get(), std::move(sound)) < 0) {
    *error = "the view could not be created (is DoNotTouch/CoreShader.glsl beside the program?)";
    for (const std::u16string& m : platform_.messages) *error += "\n" + ToUtf8(m);
    return false;
  }
  created_ = true;
  view_.OnSize(width, height);
  return true;
}

bool HeadlessPlayer::Open(const std::string& path) {
  const bool ok = document_.OnOpenDocument(FromNativePath(path));
  view_.OnUpdate(0);
  return ok;
}

void HeadlessPlayer::Tick() {
  invalidated_ = false;
  // A tick may draw a frame itself (Explore): give it the frame.
  device_->BeginFrame(frame_.name(), frame_.width(), frame_.height());
  view_.OnTimer();
  device_->EndFrame();
  if (invalidated_) Draw();
  invalidated_ = false;
}

void HeadlessPlayer::Draw() {
  device_->BeginFrame(frame_.name(), frame_.width(), frame_.height());
  view_.OnDraw();
  device_->EndFrame();
  // The drawing runs on the driver's threads: wait for it here so that
  // its time is not counted as read-back.
  frame_.Finish();
}

void HeadlessPlayer::ReadFrame(std::vector<uint8_t>& rgba, bool bottomUp) {
  frame_.ReadRgba(rgba, bottomUp);
}

bool HeadlessPlayer::MixSound(int16_t* out, uint32_t frames) {
  return created_ && sound_ != nullptr && sound_->RenderSamples(out, frames);
}

}  // namespace tolvani::render_tool
