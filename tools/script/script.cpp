#include "script/script.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/native_path.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "playback/player_view.h"

namespace tolvani::script {
namespace {

constexpr long kMaxTicksPerLine = 1000000;

bool ParseInt(const std::string& token, long* out) {
  if (token.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(token.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = v;
  return true;
}

bool ParseKey(const std::string& token, long* out) {
  static const struct {
    const char* name;
    long code;
  } kKeys[] = {{"Left", 0x25}, {"Up", 0x26}, {"Right", 0x27}, {"Down", 0x28},
               {"A", 0x41},    {"D", 0x44},  {"W", 0x57},     {"S", 0x53}};
  for (const auto& k : kKeys) {
    if (token == k.name) {
      *out = k.code;
      return true;
    }
  }
  if (token.size() == 4 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    char* end = nullptr;
    const long v = std::strtol(token.c_str() + 2, &end, 16);
    if (*end == '\0' && std::isxdigit(static_cast<unsigned char>(token[2])) &&
        std::isxdigit(static_cast<unsigned char>(token[3]))) {
      *out = v;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseLine(const std::string& line, Command* out, std::string* why) {
  std::istringstream in(line);
  std::vector<std::string> t;
  for (std::string w; in >> w;) t.push_back(w);
  const std::string& name = t[0];
  const size_t args = t.size() - 1;
  auto need = [&](size_t n) {
    if (args != n) *why = "'" + name + "' takes " + std::to_string(n) + " argument(s)";
    return args == n;
  };
  auto ints = [&](size_t from, std::initializer_list<long*> outs) {
    size_t i = from;
    for (long* o : outs) {
      if (!ParseInt(t[i], o)) {
        *why = "not an integer: '" + t[i] + "'";
        return false;
      }
      ++i;
    }
    return true;
  };
  static const struct {
    const char* name;
    Cmd cmd;
  } kPointCommands[] = {{"click", Cmd::Click}, {"ldown", Cmd::LDown}, {"lup", Cmd::LUp},
                        {"rdown", Cmd::RDown}, {"rup", Cmd::RUp},     {"dblclk", Cmd::DblClk},
                        {"move", Cmd::Move}};
  for (const auto& pc : kPointCommands) {
    if (name == pc.name) {
      out->cmd = pc.cmd;
      return need(2) && ints(1, {&out->a, &out->b});
    }
  }
  if (name == "size") {
    out->cmd = Cmd::Size;
    return need(2) && ints(1, {&out->a, &out->b});
  }
  if (name == "tick") {
    out->cmd = Cmd::Tick;
    out->a = 1;
    if (args > 1) {
      *why = "'tick' takes at most 1 argument";
      return false;
    }
    if (args == 1 && !ints(1, {&out->a})) return false;
    if (out->a < 0 || out->a > kMaxTicksPerLine) {
      *why = "tick count out of range (0 to " + std::to_string(kMaxTicksPerLine) + ")";
      return false;
    }
    return true;
  }
  if (name == "draw" || name == "state") {
    out->cmd = name == "draw" ? Cmd::Draw : Cmd::State;
    return need(0);
  }
  if (name == "keydown" || name == "keyup") {
    out->cmd = name == "keydown" ? Cmd::KeyDown : Cmd::KeyUp;
    if (!need(1)) return false;
    if (!ParseKey(t[1], &out->a)) {
      *why = "unknown key '" + t[1] + "'";
      return false;
    }
    return true;
  }
  if (name == "wheel") {
    out->cmd = Cmd::Wheel;
    if (args != 1 && args != 3) {
      *why = "'wheel' takes DELTA [X Y]";
      return false;
    }
    out->hasPoint = args == 3;
    return args == 1 ? ints(1, {&out->a}) : ints(1, {&out->a, &out->b, &out->c});
  }
  if (name == "open") {
    out->cmd = Cmd::Open;
    // The path is the rest of the line, so it may contain spaces.
    const size_t at = line.find("open");
    std::string path = line.substr(at + 4);
    const size_t first = path.find_first_not_of(" \t");
    const size_t last = path.find_last_not_of(" \t\r");
    if (first == std::string::npos) {
      *why = "'open' needs a file";
      return false;
    }
    out->path = path.substr(first, last - first + 1);
    return true;
  }
  *why = "unknown command '" + name + "'";
  return false;
}

bool ReadScript(const std::string& source, std::vector<Command>* commands, std::string* why) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (source != "-") {
    file.open(source, std::ios::binary);
    if (!file) {
      *why = "cannot read script '" + source + "'";
      return false;
    }
    in = &file;
  }
  std::string line;
  size_t number = 0;
  while (std::getline(*in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    Command c;
    std::string problem;
    if (!ParseLine(line.substr(first), &c, &problem)) {
      *why = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
    commands->push_back(std::move(c));
  }
  return true;
}

void ApplyInput(const Command& c, CPlayerView& view, CPlayerDoc& document) {
  const int x = static_cast<int>(c.a), y = static_cast<int>(c.b);
  switch (c.cmd) {
    case Cmd::Size:
      view.OnSize(x, y);
      break;
    case Cmd::Click:
      view.OnLButtonDown(x, y);
      view.OnLButtonUp(x, y);
      break;
    case Cmd::LDown:
      view.OnLButtonDown(x, y);
      break;
    case Cmd::LUp:
      view.OnLButtonUp(x, y);
      break;
    case Cmd::RDown:
      view.OnRButtonDown(x, y);
      break;
    case Cmd::RUp:
      view.OnRButtonUp(x, y);
      break;
    case Cmd::DblClk:
      view.OnLButtonDblClk(x, y);
      break;
    case Cmd::Move:
      view.OnMouseMove(x, y);
      break;
    case Cmd::KeyDown:
      view.OnKeyDown(static_cast<uint32_t>(c.a));
      break;
    case Cmd::KeyUp:
      view.OnKeyUp(static_cast<uint32_t>(c.a));
      break;
    case Cmd::Wheel:
      view.OnMouseWheel(static_cast<int>(c.a), c.hasPoint ? static_cast<int>(c.b) : 0,
                        c.hasPoint ? static_cast<int>(c.c) : 0);
      break;
    case Cmd::Open:
      document.OpenDocumentFile(FromNativePath(c.path));
      break;
    case Cmd::Tick:
    case Cmd::Draw:
    case Cmd::State:
      break;
  }
}

}  // namespace tolvani::script
