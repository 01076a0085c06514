// Sounds by name for play requests: names are compared with A-Z folded to
// a-z (every other code unit as it is), and the first sound of a name wins.
// The index is built once per sound list, so a request costs the length of
// its name, not the number of sounds times their names' lengths. It holds
// only sound indices (at most 16 bytes per sound), no copies of the names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvani {

struct CWavData;

class SoundNameIndex {
 public:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // Indexes sounds (the list must not change while it is used; see Covers).
  void Build(const std::vector<CWavData>& sounds);
  // Whether the index was built for this list as it is now: the same
  // storage and length. A list replaced, grown or shrunk needs a new Build.
  bool Covers(const std::vector<CWavData>& sounds) const;
  // The index of the first sound whose name equals name, A-Z folded; kNone
  // if there is none.
  size_t Find(const std::vector<CWavData>& sounds, std::u16string_view name) const;
  void Clear();

 private:
  std::vector<uint32_t> slots_;  // sound index + 1; 0 is empty. Size: 0 or a power of two
  const CWavData* data_ = nullptr;
  size_t size_ = 0;
  bool built_ = false;
};

}  // namespace tolvani
