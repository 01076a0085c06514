// The functions the page's JavaScript calls (Module._tolvani_*): one player
// per page, made by tolvani_start. Every call before a successful start, or
// after a failed one, does nothing.
#include <emscripten.h>

#include <memory>
#include <string>

#include "web/web_player.h"

using tolvani::web::WebPlayer;

namespace {

std::unique_ptr<WebPlayer>& Player() {
  static std::unique_ptr<WebPlayer> player;
  return player;
}

}  // namespace

extern "C" {

// 1 when the player runs on the canvas; 0 after diagnosing why not.
EMSCRIPTEN_KEEPALIVE int tolvani_start(const char* canvasSelector, int width, int height) {
  auto player = std::make_unique<WebPlayer>();
  std::string error;
  if (!player->Start(canvasSelector ? canvasSelector : "", width, height, &error)) {
    EM_ASM({ console.error('tolvani: ' + UTF8ToString($0)); }, error.c_str());
    return 0;
  }
  Player() = std::move(player);
  return 1;
}

EMSCRIPTEN_KEEPALIVE int tolvani_open(const char* path) {
  return Player() && path != nullptr && Player()->Open(path) ? 1 : 0;
}

// A dropped or chosen file: the window's drop path.
EMSCRIPTEN_KEEPALIVE int tolvani_open_local(const char* path) {
  return Player() && path != nullptr && Player()->OpenLocal(path) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int tolvani_tick() {
  return Player() && Player()->Tick() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void tolvani_draw() {
  if (Player()) Player()->Draw();
}

EMSCRIPTEN_KEEPALIVE void tolvani_resize(int width, int height) {
  if (Player()) Player()->Resize(width, height);
}

EMSCRIPTEN_KEEPALIVE void tolvani_mouse_down(int button, int x, int y) {
  if (Player()) Player()->MouseDown(static_cast<WebPlayer::Button>(button), x, y);
}

EMSCRIPTEN_KEEPALIVE void tolvani_mouse_up(int button, int x, int y) {
  if (Player()) Player()->MouseUp(static_cast<WebPlayer::Button>(button), x, y);
}

EMSCRIPTEN_KEEPALIVE void tolvani_double_click(int x, int y) {
  if (Player()) Player()->DoubleClick(x, y);
}

EMSCRIPTEN_KEEPALIVE void tolvani_mouse_move(int x, int y, int buttons) {
  if (Player()) Player()->MouseMove(x, y, buttons);
}

EMSCRIPTEN_KEEPALIVE void tolvani_wheel(int delta, int x, int y) {
  if (Player()) Player()->Wheel(delta, x, y);
}

EMSCRIPTEN_KEEPALIVE void tolvani_key_down(unsigned vk, int repeat) {
  if (Player()) Player()->KeyDown(vk, repeat != 0);
}

EMSCRIPTEN_KEEPALIVE void tolvani_key_up(unsigned vk) {
  if (Player()) Player()->KeyUp(vk);
}

EMSCRIPTEN_KEEPALIVE void tolvani_release_held_input() {
  if (Player()) Player()->ReleaseHeldInput();
}

// 1 when a left click at (x, y) would move the story on now (the view's
// pick, without acting): the page's pointer cue.
EMSCRIPTEN_KEEPALIVE int tolvani_click_would_advance(int x, int y) {
  return Player() && Player()->view().ClickWouldAdvance(x, y) ? 1 : 0;
}

// Where the view last saw the mouse (device pixels), for the page's tests.
EMSCRIPTEN_KEEPALIVE int tolvani_last_mouse_x() {
  return Player() ? Player()->view().lastMouseX : -1;
}

EMSCRIPTEN_KEEPALIVE int tolvani_last_mouse_y() {
  return Player() ? Player()->view().lastMouseY : -1;
}

// The story's state as one JSON object (WebPlayer::StateJson), valid until
// the next call; "null" before a successful start.
EMSCRIPTEN_KEEPALIVE const char* tolvani_state() {
  static std::string text;
  text = Player() ? Player()->StateJson() : "null";
  return text.c_str();
}

}  // extern "C"
