#include "web/web_player.h"

#include <emscripten.h>

#include <cmath>
#include <cstdio>

#include "base/native_path.h"
#include "base/program_directory.h"
#include "model/scene_state.h"
#include "render/gl/webgl_context.h"
#include "web/web_audio_backend.h"

namespace tolvani::web {

// Where the page's build embeds the shader (DoNotTouch/CoreShader.glsl).
constexpr char16_t kProgramDirectory[] = u"/tolvani/";

WebPlayer::~WebPlayer() {
  // The view's objects go while the context is still there.
  headless_.Destroy();
  device_.Shutdown();
}

bool WebPlayer::Start(const std::string& canvasSelector, int width, int height,
                      std::string* error) {
  SetProgramDirectory(kProgramDirectory);
  auto context = gl::WebGlContext::Create(canvasSelector, {}, error);
  if (context == nullptr || !device_.Initialize(std::move(context), error)) return false;
  if (headless_.Create(&device_, &text_, std::make_unique<WebAudioBackend>()) < 0) {
    if (error) *error = "the view could not be created";
    return false;
  }
  started_ = true;
  Resize(width, height);
  return true;
}

bool WebPlayer::Open(const std::string& path) {
  return started_ && headless_.Open(path);
}

bool WebPlayer::OpenLocal(const std::string& path) {
  return started_ && headless_.document().OpenDocumentFile(FromNativePath(path));
}

namespace {

// A float as the tools print it: enough digits to read back the same value.
void AppendFloat(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  out += text;
}

void AppendVec3(std::string& out, const char* key, const Vec3& v) {
  out += '"';
  out += key;
  out += "\":[";
  AppendFloat(out, v.x);
  out += ',';
  AppendFloat(out, v.y);
  out += ',';
  AppendFloat(out, v.z);
  out += ']';
}

}  // namespace

std::string WebPlayer::StateJson() {
  const CCoreMotion3D* scene = SceneState.sceneRoot;
  std::string out = "{\"currentStep\":";
  out += std::to_string(scene ? scene->currentStep : -1);
  out += ",\"previousStep\":" + std::to_string(view().previousStep);
  out += ",\"stepProgress\":";
  AppendFloat(out, view().stepProgress);
  out += ",\"fadeLevel\":";
  AppendFloat(out, scene ? scene->fadeLevel : 0.0f);
  out += ",\"pickedModel\":" + std::to_string(scene ? scene->pickedModel : -1);
  out += ",\"spinSpeed\":";
  AppendFloat(out, view().spinSpeed);
  const CMotion camera = scene ? scene->camera : CMotion{};
  out += ",\"camera\":{";
  AppendVec3(out, "position", camera.position);
  out += ',';
  AppendVec3(out, "rotation", camera.rotation);
  out += ',';
  AppendVec3(out, "scale", camera.scale);
  out += ',';
  AppendVec3(out, "pivot", camera.pivot);
  out += "}}";
  return out;
}

bool WebPlayer::Tick() {
  if (!started_) return false;
  headless::ViewHost& host = headless_.host();
  host.repaintRequested = false;
  BeginPaint();  // a tick may draw a frame itself
  view().OnTimer();
  EndPaint();
  return host.TakeRepaint();
}

void WebPlayer::Draw() {
  if (started_) headless_.Draw();
}

void WebPlayer::Resize(int width, int height) {
  width_ = width > 0 ? width : 1;
  height_ = height > 0 ? height : 1;
  device_.ForgetLastFrame();
  if (started_) view().OnSize(width_, height_);
}

void WebPlayer::BeginPaint() {
  device_.BeginFrame(0, width_, height_);  // the canvas's own framebuffer
}

void WebPlayer::EndPaint() {
  device_.EndFrame();
}

void WebPlayer::MouseDown(Button button, int x, int y) {
  if (button == Button::kLeft) view().OnLButtonDown(x, y);
  if (button == Button::kRight) view().OnRButtonDown(x, y);
}

void WebPlayer::MouseUp(Button button, int x, int y) {
  if (button == Button::kLeft) view().OnLButtonUp(x, y);
  if (button == Button::kRight) view().OnRButtonUp(x, y);
}

void WebPlayer::DoubleClick(int x, int y) {
  view().OnLButtonDblClk(x, y);
}

void WebPlayer::MouseMove(int x, int y, int buttons) {
  // A button released where the page could not see it ends the drag.
  if (view().leftButtonHeld && !(buttons & 1)) view().OnLButtonUp(x, y);
  if (view().rightButtonHeld && !(buttons & 2)) view().OnRButtonUp(x, y);
  view().OnMouseMove(x, y);
}

void WebPlayer::Wheel(int delta, int x, int y) {
  if (delta != 0) view().OnMouseWheel(delta, x, y);
}

void WebPlayer::KeyDown(uint32_t vk, bool repeat) {
  // A held story key moves the story on once, not at the repeat rate.
  if (vk == 0 || (repeat && view().IsStoryKey(vk))) return;
  view().OnKeyDown(vk);
}

void WebPlayer::KeyUp(uint32_t vk) {
  if (vk != 0) view().OnKeyUp(vk);
}

void WebPlayer::ReleaseHeldInput() {
  for (uint32_t key : {vk::kLeft, vk::kRight, vk::kUp, vk::kDown}) view().OnKeyUp(key);
  if (view().leftButtonHeld) view().OnLButtonUp(view().lastMouseX, view().lastMouseY);
  if (view().rightButtonHeld) view().OnRButtonUp(view().lastMouseX, view().lastMouseY);
}

}  // namespace tolvani::web
