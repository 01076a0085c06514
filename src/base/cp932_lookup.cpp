// The dense two-byte lookup, built once from the generated spans: the
// spans keep the checked-in table short, the lookup keeps decoding a
// single index per character.
#include <array>
#include <vector>

#include "base/cp932_table.h"

namespace tolvani::cp932 {

namespace {

struct DenseTable {
  // For each byte, its row in `rows` plus one; 0 for a byte that leads no code.
  std::array<uint8_t, 256> rowOf{};
  std::vector<std::array<char16_t, kTrails>> rows;

  DenseTable() {
    for (size_t s = 0; s < kSpanCount; ++s) {
      const Span& span = kSpans[s];
      const unsigned lead = span.code >> 8;
      const int trail = static_cast<int>(span.code & 0xFF) - kFirstTrail;
      // The generator writes only spans that fit; a span that does not is
      // dropped rather than written past its row.
      if (trail < 0 || trail + span.count > kTrails) continue;
      if (rowOf[lead] == 0) {
        rows.emplace_back().fill(0);
        rowOf[lead] = static_cast<uint8_t>(rows.size());
      }
      std::array<char16_t, kTrails>& row = rows[rowOf[lead] - 1u];
      for (int k = 0; k < span.count; ++k)
        row[static_cast<size_t>(trail + k)] =
            span.chars ? span.chars[k] : static_cast<char16_t>(span.first + k);
    }
  }
};

}  // namespace

const char16_t* LeadRow(unsigned char lead) {
  static const DenseTable table;
  const uint8_t row = table.rowOf[lead];
  return row == 0 ? nullptr : table.rows[row - 1u].data();
}

}  // namespace tolvani::cp932
