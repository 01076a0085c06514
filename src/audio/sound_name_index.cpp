#include "audio/sound_name_index.h"

#include <random>

#include "audio/audio.h"

namespace tolvani {

namespace {

char16_t Fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool FoldedEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// FNV-1a over the folded units from a per-process starting value, so a file
// cannot be made of names that all land in one slot.
uint64_t FoldedHash(std::u16string_view s) {
  static const uint64_t seed = 0xcbf29ce484222325ull ^ std::random_device{}();
  uint64_t h = seed;
  for (const char16_t c : s) {
    h = (h ^ Fold(c)) * 0x100000001b3ull;
  }
  return h ^ (h >> 29);
}

}  // namespace

void SoundNameIndex::Build(const std::vector<CWavData>& sounds) {
  slots_.clear();
  size_t capacity = 1;
  while (capacity < 2 * sounds.size()) capacity *= 2;
  slots_.assign(sounds.empty() ? 0 : capacity, 0);
  const size_t mask = slots_.size() - 1;
  for (size_t i = 0; i < sounds.size(); ++i) {
    const std::u16string_view name = sounds[i].name;
    for (size_t s = FoldedHash(name) & mask;; s = (s + 1) & mask) {
      if (slots_[s] == 0) {
        slots_[s] = static_cast<uint32_t>(i + 1);
        break;
      }
      if (FoldedEqual(sounds[slots_[s] - 1].name, name)) break;  // the first one stays
    }
  }
  data_ = sounds.data();
  size_ = sounds.size();
  built_ = true;
}

size_t SoundNameIndex::Find(const std::vector<CWavData>& sounds, std::u16string_view name) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t s = FoldedHash(name) & mask; slots_[s] != 0; s = (s + 1) & mask) {
    const size_t i = slots_[s] - 1;
    if (i < sounds.size() && FoldedEqual(sounds[i].name, name)) return i;
  }
  return kNone;
}

void SoundNameIndex::Clear() {
  slots_.clear();
  slots_.shrink_to_fit();
  data_ = nullptr;
  size_ = 0;
  built_ = false;
}

bool SoundNameIndex::Covers(const std::vector<CWavData>& sounds) const {
  return built_ && sounds.data() == data_ && sounds.size() == size_;
}

}  // namespace tolvani
