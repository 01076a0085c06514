#include "script/script.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "base/native_path.h"
#include "base/text_conversion.h"
#include "document/document.h"
#include "playback/player_view.h"

namespace tolvani::script {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsControl(unsigned char c) {
  return (c < 0x20 && c != '\t') || c == 0x7F;
}

// A word for an error message: its first kMaxQuotedBytes bytes, printable
// ASCII as it is and every other byte as \xNN, in quotes.
std::string Quote(std::string_view word) {
  std::string out = "'";
  for (size_t i = 0; i < word.size() && i < kMaxQuotedBytes; ++i) {
    const unsigned char c = static_cast<unsigned char>(word[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  if (word.size() > kMaxQuotedBytes) out += "...";
  return out + "'";
}

bool ParseInt(std::string_view token, long* out) {
  // A leading '+' is accepted, as strtol did.
  if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
  long v = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), v);
  if (token.empty() || error != std::errc() || end != token.data() + token.size() ||
      v < -2147483647L || v > 2147483647L) {
    return false;
  }
  *out = v;
  return true;
}

bool ParseKey(std::string_view token, long* out) {
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
    long v = 0;
    const auto [end, error] = std::from_chars(token.data() + 2, token.data() + 4, v, 16);
    if (error == std::errc() && end == token.data() + 4) {
      *out = v;
      return true;
    }
  }
  return false;
}

// Feeds a script in pieces of any size and parses each line as it ends, so
// that only one line (at most kMaxLineBytes) is ever held.
class ScriptParser {
 public:
  ScriptParser(std::vector<Command>* commands, std::string* why) : commands_(commands), why_(why) {}

  bool Feed(std::string_view bytes) {
    const size_t room = kMaxScriptBytes - total_;
    const bool over = bytes.size() > room;
    if (over) bytes = bytes.substr(0, room);
    total_ += bytes.size();
    while (!bytes.empty()) {
      const size_t end = bytes.find('\n');
      const std::string_view piece = bytes.substr(0, end);
      if (line_.size() + piece.size() > kMaxLineBytes) {
        *why_ = "line " + std::to_string(number_ + 1) + ": longer than " +
                std::to_string(kMaxLineBytes) + " bytes";
        return false;
      }
      line_.append(piece);
      if (end == std::string_view::npos) break;
      if (!EndLine()) return false;
      bytes.remove_prefix(end + 1);
    }
    if (over) {
      *why_ = "the script is longer than " + std::to_string(kMaxScriptBytes) + " bytes";
      return false;
    }
    return true;
  }

  // The last line, when the script does not end with a line feed.
  bool Finish() { return line_.empty() || EndLine(); }

 private:
  bool EndLine() {
    ++number_;
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    Command c;
    std::string problem;
    const bool command = ParseLine(line_, &c, &problem);
    line_.clear();
    if (!command && problem.empty()) return true;  // blank or comment
    if (command && c.cmd == Cmd::Tick) {
      ticks_ += c.a;
      if (ticks_ > kMaxTicks) {
        problem = "the script's ticks add up to more than " + std::to_string(kMaxTicks);
      }
    }
    if (!problem.empty()) {
      *why_ = "line " + std::to_string(number_) + ": " + problem;
      return false;
    }
    commands_->push_back(std::move(c));
    return true;
  }

  std::vector<Command>* commands_;
  std::string* why_;
  std::string line_;
  size_t number_ = 0;
  size_t total_ = 0;
  long ticks_ = 0;
};

}  // namespace

bool ParseLine(std::string_view line, Command* out, std::string* why) {
  why->clear();
  size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  if (first == line.size() || line[first] == '#') return false;
  for (size_t i = first; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (IsControl(c)) {
      char text[64];
      std::snprintf(text, sizeof text, "control character 0x%02X at byte %zu", c, i + 1);
      *why = text;
      return false;
    }
  }
  std::vector<std::string_view> t;
  for (size_t i = first; i < line.size();) {
    size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    t.push_back(line.substr(i, end - i));
    i = end;
    while (i < line.size() && IsBlank(line[i])) ++i;
  }
  const std::string_view name = t[0];
  const size_t args = t.size() - 1;
  auto need = [&](size_t n) {
    if (args != n) *why = Quote(name) + " takes " + std::to_string(n) + " argument(s)";
    return args == n;
  };
  auto ints = [&](size_t from, std::initializer_list<long*> outs) {
    size_t i = from;
    for (long* o : outs) {
      if (!ParseInt(t[i], o)) {
        *why = "not an integer: " + Quote(t[i]);
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
    if (out->a < 0 || out->a > kMaxTicks) {
      *why = "tick count out of range (0 to " + std::to_string(kMaxTicks) + ")";
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
      *why = "unknown key " + Quote(t[1]);
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
    if (args == 0) {
      *why = "'open' needs a file";
      return false;
    }
    // The path is the rest of the line, so it may contain spaces.
    const size_t from = static_cast<size_t>(t[1].data() - line.data());
    const size_t to = static_cast<size_t>(t.back().data() + t.back().size() - line.data());
    out->path = std::string(line.substr(from, to - from));
    return true;
  }
  *why = "unknown command " + Quote(name);
  return false;
}

bool ParseScript(std::string_view text, std::vector<Command>* commands, std::string* why) {
  ScriptParser parser(commands, why);
  return parser.Feed(text) && parser.Finish();
}

bool ReadScript(const std::string& source, std::vector<Command>* commands, std::string* why) {
  const bool standardInput = source == "-";
  std::FILE* file = standardInput ? stdin : std::fopen(source.c_str(), "rb");
  if (file == nullptr) {
    *why = "cannot read script '" + source + "': " + std::strerror(errno);
    return false;
  }
  ScriptParser parser(commands, why);
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, file);
    if (n > 0 && !parser.Feed(std::string_view(buffer, n))) {
      ok = false;
      break;
    }
    if (n < sizeof buffer) {
      if (std::ferror(file)) {
        *why = "cannot read script '" + source + "': " + std::strerror(errno);
        ok = false;
      } else {
        ok = parser.Finish();
      }
      break;
    }
  }
  if (!standardInput) std::fclose(file);
  return ok;
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
