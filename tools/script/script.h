// The script language of `tolvani simulate` and `tolvani render --script`:
// one command per line, blank lines and lines starting with '#' ignored.
//
//   size W H          tick [N]          draw            state
//   click X Y | ldown X Y | lup X Y | rdown X Y | rup X Y | dblclk X Y | move X Y
//   keydown K | keyup K   K: Left Right Up Down A D W S, or a key code 0xNN
//   wheel DELTA [X Y]     open FILE (the rest of the line)
//
// Parsing is separate from running, so a malformed line is reported before
// anything runs. Numbers are 32-bit signed; tick counts 0 to 1000000.
#pragma once

#include <string>
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

// Parses one non-blank, non-comment line; false with *why on error.
bool ParseLine(const std::string& line, Command* out, std::string* why);
// Reads a whole script from a file, or standard input for "-". False with
// *why ("line N: ..." or the file problem) on the first error.
bool ReadScript(const std::string& source, std::vector<Command>* commands, std::string* why);
// Runs an input command (click, ldown, lup, rdown, rup, dblclk, move,
// keydown, keyup, wheel, open; size as ResizeRenderer through OnSize) on the
// view and the document. Tick, draw and state belong to the caller.
void ApplyInput(const Command& c, CPlayerView& view, CPlayerDoc& document);

}  // namespace tolvani::script
