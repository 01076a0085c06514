#include "web/line_breaks.h"

#include <initializer_list>

namespace tolvani::web {

namespace {

// Line breaking classes (the Unicode names). Small kana count as NS; SA
// (dictionary scripts), AI and everything unlisted as AL.
enum class Lb : uint8_t {
  BK,   // mandatory break after
  SP,   // space
  ZW,   // zero width space
  WJ,   // word joiner
  GL,   // non-breaking glue
  CM,   // combining mark, zero width joiner
  OP,   // opening punctuation
  OPW,  // opening punctuation of East Asian width (not joined to a letter before it)
  CL,   // closing punctuation
  CP,   // closing parenthesis
  QU,   // quotation
  EX,   // exclamation, interrogation
  IS,   // infix separator (, . : ;)
  SY,   // solidus
  NS,   // non-starter
  ID,   // ideographic
  AL,   // alphabetic
  NU,   // numeric
  PR,   // prefix numeric ($)
  PO,   // postfix numeric (%)
  HY,   // hyphen-minus
  BA,   // break after
  BB,   // break before
  B2,   // em dash
  IN,   // inseparable (ellipsis)
};

bool In(char32_t c, char32_t first, char32_t last) {
  return c >= first && c <= last;
}

Lb Ascii(char32_t c) {
  switch (c) {
    case 0x0A:
      return Lb::BK;
    case 0x0B:
    case 0x0C:
      return Lb::BA;
    case 0x20:
      return Lb::SP;
    case '!':
    case '?':
      return Lb::EX;
    case '"':
    case '\'':
      return Lb::QU;
    case '$':
    case '+':
    case '\\':
      return Lb::PR;
    case '%':
      return Lb::PO;
    case '(':
    case '[':
    case '{':
      return Lb::OP;
    case ')':
    case ']':
      return Lb::CP;
    case '}':
      return Lb::CL;
    case ',':
    case '.':
    case ':':
    case ';':
      return Lb::IS;
    case '-':
      return Lb::HY;
    case '/':
      return Lb::SY;
    case '|':
      return Lb::BA;
    default:
      return In(c, '0', '9') ? Lb::NU : Lb::AL;
  }
}

// Japanese punctuation and kana (U+3000 to U+30FF).
Lb CjkSymbolOrKana(char32_t c) {
  switch (c) {
    case 0x3000:
      return Lb::BA;
    case 0x3001:
    case 0x3002:
      return Lb::CL;
    case 0x3005:
    case 0x301C:
    case 0x303B:
    case 0x303C:
    case 0x309B:
    case 0x309C:
    case 0x309D:
    case 0x309E:
    case 0x30A0:
    case 0x30FB:
    case 0x30FC:
    case 0x30FD:
    case 0x30FE:
      return Lb::NS;
    case 0x3008:
    case 0x300A:
    case 0x300C:
    case 0x300E:
    case 0x3010:
    case 0x3014:
    case 0x3016:
    case 0x3018:
    case 0x301A:
    case 0x301D:
      return Lb::OPW;
    case 0x3009:
    case 0x300B:
    case 0x300D:
    case 0x300F:
    case 0x3011:
    case 0x3015:
    case 0x3017:
    case 0x3019:
    case 0x301B:
    case 0x301E:
    case 0x301F:
      return Lb::CL;
    // Small kana.
    case 0x3041:
    case 0x3043:
    case 0x3045:
    case 0x3047:
    case 0x3049:
    case 0x3063:
    case 0x3083:
    case 0x3085:
    case 0x3087:
    case 0x308E:
    case 0x3095:
    case 0x3096:
    case 0x30A1:
    case 0x30A3:
    case 0x30A5:
    case 0x30A7:
    case 0x30A9:
    case 0x30C3:
    case 0x30E3:
    case 0x30E5:
    case 0x30E7:
    case 0x30EE:
    case 0x30F5:
    case 0x30F6:
      return Lb::NS;
    case 0x3035:
      return Lb::CM;
    case 0x3040:
    case 0x3097:
    case 0x3098:
      return Lb::AL;  // unassigned
    default:
      return Lb::ID;
  }
}

// Full-width and half-width forms (U+FF00 to U+FFEF).
Lb WidthForm(char32_t c) {
  switch (c) {
    case 0xFF01:
    case 0xFF1F:
      return Lb::EX;
    case 0xFF04:
    case 0xFFE1:
    case 0xFFE5:
    case 0xFFE6:
      return Lb::PR;
    case 0xFF05:
    case 0xFFE0:
      return Lb::PO;
    case 0xFF08:
    case 0xFF3B:
    case 0xFF5B:
    case 0xFF5F:
    case 0xFF62:
      return Lb::OPW;
    case 0xFF09:
    case 0xFF0C:
    case 0xFF0E:
    case 0xFF3D:
    case 0xFF5D:
    case 0xFF60:
    case 0xFF61:
    case 0xFF63:
    case 0xFF64:
      return Lb::CL;
    case 0xFF1A:
    case 0xFF1B:
    case 0xFF65:
    case 0xFF9E:
    case 0xFF9F:
      return Lb::NS;
    default:
      if (In(c, 0xFF67, 0xFF70)) return Lb::NS;  // small half-width kana, prolonged mark
      if (In(c, 0xFFE8, 0xFFEE)) return Lb::AL;  // half-width symbols
      // Unassigned among the half-width Hangul.
      if (In(c, 0xFFBF, 0xFFC1) || c == 0xFFC8 || c == 0xFFC9 || c == 0xFFD0 || c == 0xFFD1 ||
          c == 0xFFD8 || c == 0xFFD9 || In(c, 0xFFDD, 0xFFDF) || c == 0xFFE7) {
        return Lb::AL;
      }
      return Lb::ID;
  }
}

// Latin-1 and general punctuation.
Lb Punctuation(char32_t c) {
  switch (c) {
    case 0x00A0:
    case 0x2007:
    case 0x2011:
    case 0x202F:
      return Lb::GL;
    case 0x00A1:
    case 0x00BF:
    case 0x201A:
    case 0x201E:
    case 0x2045:
      return Lb::OP;
    case 0x00A2:
    case 0x00B0:
      return Lb::PO;
    case 0x00A3:
    case 0x00A4:
    case 0x00A5:
    case 0x00B1:
      return Lb::PR;
    case 0x00AB:
    case 0x00BB:
    case 0x2018:
    case 0x2019:
    case 0x201B:
    case 0x201C:
    case 0x201D:
    case 0x201F:
    case 0x2039:
    case 0x203A:
      return Lb::QU;
    case 0x00AD:
    case 0x2010:
    case 0x2012:
    case 0x2013:
    case 0x2027:
      return Lb::BA;
    case 0x00B4:
      return Lb::BB;
    case 0x200B:
      return Lb::ZW;
    case 0x200C:
    case 0x200D:
    case 0x200E:
    case 0x200F:
      return Lb::CM;
    case 0x2014:
      return Lb::B2;
    case 0x2024:
    case 0x2025:
    case 0x2026:
      return Lb::IN;
    case 0x2028:
      return Lb::BK;
    case 0x203C:
    case 0x203D:
    case 0x2047:
    case 0x2048:
    case 0x2049:
      return Lb::NS;
    case 0x2044:
      return Lb::IS;
    case 0x2046:
      return Lb::CL;
    case 0x2060:
      return Lb::WJ;
    default:
      if (In(c, 0x2000, 0x200A)) return Lb::BA;  // spaces of set widths (U+2007 above)
      if (In(c, 0x202A, 0x202E) || In(c, 0x2066, 0x206F)) return Lb::CM;  // format controls
      // Separators and spaced dots: a line may end after them.
      if (c == 0x0085 || c == 0x2029 || c == 0x2056 || In(c, 0x2058, 0x205B) ||
          In(c, 0x205D, 0x205F)) {
        return Lb::BA;
      }
      if (In(c, 0x2030, 0x2037)) return Lb::PO;  // per mille, primes
      if (In(c, 0x20A0, 0x20CF)) return Lb::PR;  // currency signs
      return Lb::AL;
  }
}

Lb ClassOf(char32_t c) {
  if (c < 0x80) return Ascii(c);
  if (IsCombiningMark(c)) return Lb::CM;
  if (c < 0x2100) return Punctuation(c);
  if (In(c, 0x3000, 0x30FF)) return CjkSymbolOrKana(c);
  if (In(c, 0x31F0, 0x31FF)) return Lb::NS;  // small katakana for Ainu
  if (In(c, 0xFF00, 0xFFEF)) return WidthForm(c);
  if (c == 0xFEFF) return Lb::WJ;
  if (c == 0xFE0F || c == 0xFE0E) return Lb::CM;
  if (In(c, 0x2E80, 0x2FFF) || In(c, 0x3100, 0x4DBF) || In(c, 0x4E00, 0xA4CF) ||
      In(c, 0xAC00, 0xD7A3) || In(c, 0xF900, 0xFAFF) || In(c, 0xFE30, 0xFE4F) ||
      In(c, 0x1F000, 0x1FAFF) || In(c, 0x20000, 0x3FFFD)) {
    return Lb::ID;
  }
  return Lb::AL;
}

bool IsOneOf(Lb c, std::initializer_list<Lb> set) {
  for (Lb s : set) {
    if (c == s) return true;
  }
  return false;
}

bool IsOpening(Lb c) {
  return c == Lb::OP || c == Lb::OPW;
}

// Whether a line may end between a character of class `before` (after any
// spaces, `spaces` tells whether there were some) and one of class `next`;
// `prev` is the class right before `next` (SP when there were spaces);
// `number`: prev ends a number (digits with their separators), `closed`:
// prev closes a bracket after a number.
bool MayBreak(Lb before, Lb prev, bool spaces, bool number, bool closed, Lb next) {
  if (IsOneOf(next, {Lb::SP, Lb::ZW, Lb::BK})) return false;
  if (before == Lb::ZW) return true;
  if (prev == Lb::WJ || next == Lb::WJ || prev == Lb::GL) return false;
  if (next == Lb::GL && !IsOneOf(prev, {Lb::SP, Lb::BA, Lb::HY})) return false;
  if (IsOneOf(next, {Lb::CL, Lb::CP, Lb::EX, Lb::IS, Lb::SY})) return false;
  if (IsOpening(before)) return false;
  if (before == Lb::QU && IsOpening(next)) return false;
  if ((before == Lb::CL || before == Lb::CP) && next == Lb::NS) return false;
  if (before == Lb::B2 && next == Lb::B2) return false;
  if (spaces) return true;
  if (prev == Lb::QU || next == Lb::QU) return false;
  if (IsOneOf(next, {Lb::BA, Lb::HY, Lb::NS, Lb::IN}) || prev == Lb::BB) return false;
  // Numbers, and letters with numbers and their signs.
  if ((prev == Lb::AL && next == Lb::NU) || (prev == Lb::NU && next == Lb::AL)) return false;
  if ((prev == Lb::PR && next == Lb::ID) || (prev == Lb::ID && next == Lb::PO)) return false;
  if ((IsOneOf(prev, {Lb::PR, Lb::PO}) && next == Lb::AL) ||
      (prev == Lb::AL && IsOneOf(next, {Lb::PR, Lb::PO}))) {
    return false;
  }
  if ((number || closed) && IsOneOf(next, {Lb::PO, Lb::PR})) return false;
  if (IsOneOf(prev, {Lb::PO, Lb::PR, Lb::HY}) && next == Lb::NU) return false;
  if (number && next == Lb::NU) return false;
  if (prev == Lb::AL && next == Lb::AL) return false;
  if (prev == Lb::IS && next == Lb::AL) return false;
  // A Latin opening bracket joins the word before it; a full-width one does not.
  if (IsOneOf(prev, {Lb::AL, Lb::NU}) && next == Lb::OP) return false;
  if (prev == Lb::CP && IsOneOf(next, {Lb::AL, Lb::NU})) return false;
  return true;
}

}  // namespace

std::vector<LineBreak> FindLineBreaks(std::u16string_view text) {
  std::vector<LineBreak> breaks(text.size() + 1, LineBreak::kNone);
  breaks[text.size()] = LineBreak::kMandatory;
  Lb prev = Lb::BK;    // class of the last character (SP for spaces), BK at the start
  Lb before = Lb::BK;  // class of the last character that is not a space
  bool spaces = false;
  bool afterJoiner = false;  // the last character was U+200D
  bool number = false;       // the last characters are a number (MayBreak)
  bool closed = false;       // ... followed by a closing bracket
  for (size_t i = 0; i < text.size();) {
    char32_t c = text[i];
    size_t n = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      n = 2;
    }
    Lb next = ClassOf(c);
    const bool joined = afterJoiner;
    afterJoiner = c == 0x200D;
    if (next == Lb::CM) {
      // A mark takes its base's class; one with no base is a letter.
      if (!IsOneOf(prev, {Lb::BK, Lb::SP, Lb::ZW})) {
        i += n;
        continue;
      }
      next = Lb::AL;
    }
    if (i > 0) {
      if (prev == Lb::BK) {
        breaks[i] = LineBreak::kMandatory;
      } else if (!joined && MayBreak(before, prev, spaces, number, closed, next)) {
        breaks[i] = LineBreak::kAllowed;
      }
    }
    // A number goes on through its separators; a closing bracket ends it.
    closed = number && (next == Lb::CL || next == Lb::CP);
    number = next == Lb::NU || (number && (next == Lb::IS || next == Lb::SY));
    if (next == Lb::SP) {
      spaces = true;
    } else {
      before = next;
      spaces = false;
    }
    prev = next;
    i += n;
  }
  if (prev == Lb::BK && !text.empty()) breaks[text.size()] = LineBreak::kMandatory;
  return breaks;
}

}  // namespace tolvani::web
