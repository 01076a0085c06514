#include "render_tool/headless_player.h"

#include <cstdlib>

#include "audio/null_sound_backend.h"
#include "audio/openal/openal_sound_backend.h"
#include "base/text_conversion.h"
#include "render/gl/opengl_device.h"
#include "render/qt/qt_text_rasterizer.h"

namespace tolvani::render_tool {

HeadlessPlayer::HeadlessPlayer() = default;

HeadlessPlayer::~HeadlessPlayer() {
  // The view's objects go while the one context is still current.
  headless_.Destroy();
  if (device_) {
    frame_.Release();
    device_->Shutdown();
  }
}

bool HeadlessPlayer::Start(int width, int height, std::string* error) {
  std::unique_ptr<EglSurfacelessContext> context = EglSurfacelessContext::Create(error);
  if (context == nullptr) return false;
  device_ = std::make_unique<gl::OpenGLDevice>();
  if (!device_->Initialize(std::move(context), error)) return false;
  // The reference path: every command issued as recorded (every draw
  // blended, the background drawn each frame, no draw left out), for tests
  // and benchmarks that compare the two.
  if (const char* reference = std::getenv("TOLVANI_DRAW_AS_RECORDED")) {
    const bool shortcuts = std::string(reference) != "1";
    device_->SetBlendShortcuts(shortcuts);
    device_->SetKeepPictures(shortcuts);
  }
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
  if (headless_.Create(device_.get(), text_.get(), std::move(sound)) < 0) {
    *error = "the view could not be created (is DoNotTouch/CoreShader.glsl beside the program?)";
    for (const std::u16string& m : platform_.messages()) *error += "\n" + ToUtf8(m);
    return false;
  }
  created_ = true;
  headless_.view().OnSize(width, height);
  return true;
}

void HeadlessPlayer::KeepPictures(bool on) {
  if (device_) device_->SetKeepPictures(on);
}

bool HeadlessPlayer::Open(const std::string& path) {
  return headless_.Open(path);
}

void HeadlessPlayer::BeginPaint() {
  device_->BeginFrame(frame_.name(), frame_.width(), frame_.height());
}

void HeadlessPlayer::EndPaint() {
  device_->EndFrame();
}

uint32_t HeadlessPlayer::outOfMemoryCount() const {
  return device_ ? device_->outOfMemoryCount() : 0;
}

void HeadlessPlayer::Tick() {
  headless_.Tick();
  // The drawing runs on the driver's threads: wait for it here so that its
  // time is not counted as read-back.
  frame_.Finish();
}

void HeadlessPlayer::Draw() {
  headless_.Draw();
  frame_.Finish();
}

void HeadlessPlayer::ReadFrame(std::vector<uint8_t>& rgba, bool bottomUp) {
  frame_.ReadRgba(rgba, bottomUp);
}

bool HeadlessPlayer::MixSound(int16_t* out, uint32_t frames) {
  return created_ && sound_ != nullptr && sound_->RenderSamples(out, frames);
}

}  // namespace tolvani::render_tool
