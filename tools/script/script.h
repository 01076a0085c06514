// The script language of `tolvani simulate` and `tolvani render --script`:
// one command per line, blank lines and lines starting with '#' ignored.
//
//   size W H          tick [N]          draw            state
//   click X Y | ldown X Y | lup X Y | rdown X Y | rup X Y | dblclk X Y | move X Y
//   keydown K | keyup K   K: Left Right Up Down A D W S, or a key code 0xNN
//   wheel DELTA [X Y]     open FILE (the rest of the line)
//
// Parsing is separate from running, so a malformed line is reported before
// anything runs. Numbers are 32-bit signed; tick counts 0 to 1000000, per
// line and for the whole script.
//
// Any bytes are accepted as input: lines end at '\n' (one '\r' before it is
// dropped), only spaces and tabs separate words, and any other control
// character (below 0x20, or 0x7F) outside a comment makes the line
// malformed. A line longer than kMaxLineBytes or a script longer than
// kMaxScriptBytes is refused as soon as the bound is passed, so reading
// never holds more than that. Error messages quote at most
// kMaxQuotedBytes of a word, non-printable bytes as \xNN.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tolvani {
class CPlayerView;
class CPlayerDoc;
}  // namespace tolvani

namespace tolvani::script {

enum class Cmd {
  Size,
  Tick,
  Draw,
  Click,
  LDown,
  LUp,
  RDown,
  RUp,
  DblClk,
  Move,
  KeyDown,
  KeyUp,
  Wheel,
  Open,
  State
};

struct Command {
  Cmd cmd = Cmd::Draw;
  long a = 0, b = 0, c = 0;  // the numbers in order (tick: the count)
  bool hasPoint = false;     // wheel: X Y were given
  std::string path;          // open
};

// Bounds of a script (bytes). A line holds a command and at most a path of
// the system's length; the script is far above any story's needs.
constexpr size_t kMaxLineBytes = 8192;
constexpr size_t kMaxScriptBytes = 1 << 20;
constexpr long kMaxTicks = 1000000;  // per line and per script (8 h 20 min)
constexpr size_t kMaxQuotedBytes = 32;

// Parses one line without its '\n' (leading blanks allowed; blank and
// comment lines are not commands: false with *why empty). False with *why
// on a malformed line.
bool ParseLine(std::string_view line, Command* out, std::string* why);
// Parses a whole script held in memory. False with *why ("line N: ...")
// on the first error; *commands then holds the lines before it.
bool ParseScript(std::string_view text, std::vector<Command>* commands, std::string* why);
// Reads a whole script from a file, or standard input for "-", in bounded
// pieces. False with *why ("line N: ..." or the file problem) on the first
// error.
bool ReadScript(const std::string& source, std::vector<Command>* commands, std::string* why);
// Runs an input command (click, ldown, lup, rdown, rup, dblclk, move,
// keydown, keyup, wheel, open; size as ResizeRenderer through OnSize) on the
// view and the document. Tick, draw and state belong to the caller.
void ApplyInput(const Command& c, CPlayerView& view, CPlayerDoc& document);

}  // namespace tolvani::script
