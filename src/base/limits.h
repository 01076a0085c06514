// Budgets of the core: how much of a resource one project file can make the
// program spend, whatever it holds. Each number has its reason here;
// docs/limits.md lists every budget of the program, these and the ones that
// live beside the code they bound, with where each is enforced.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvani {

// Device memory of all cached balloon cards together (each card counted with
// its mip chain). 64 MiB holds 12 full-size 1024 x 1024 cards, more than
// ordinary scenes show at once, so they look exactly as without a budget; a
// crowd gets smaller cards instead (1,000 distinct texts on screen: 64 x 64
// each, 22 MB). Mesa's software driver spends about 1.7 bytes per card
// byte, so a full budget costs some 110 MB beside the rest of the process.
constexpr size_t kBalloonCardBudgetBytes = size_t{64} << 20;

// The smallest card side: below it a card holds no legible text, and 32 x 32
// cards let some 18,000 distinct texts share the budget before cards drawn in
// the same frame have to be drawn again.
constexpr uint32_t kBalloonCardMinSide = 32;

// UTF-16 units of a balloon text that are laid out; the rest is not drawn.
// A 1024-unit card at 50 units per em holds at most about 20 lines of 100 of
// the narrowest glyphs (2,000 characters; some 300 of CJK text), so 8,192
// is far beyond anything a card can show, while it keeps the layout of one
// card (a text of stacked combining marks costs about 40 us per unit) within
// a fraction of a second.
constexpr size_t kBalloonTextMaxUnits = 8192;

// Combining marks laid out on one character: no script stacks more than a
// few, and each one drawn costs as much as a whole character.
constexpr int kBalloonTextMaxMarksPerCharacter = 16;

// Peak memory of opening a project, per byte of the file, for files made of
// any one kind of record (the tests that read crafted files check it).
constexpr size_t kRecordMemoryPerFileByte = 8;

}  // namespace tolvani
