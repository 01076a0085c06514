// The packed containers behave as the standard ones they replace, for
// trivial and owning elements alike.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/packed_vector.h"

namespace tolvani {
namespace {

// Runs the same edits on a PackedVector and a std::vector and compares.
template <typename T>
void ExpectSameAsStdVector(const std::vector<T>& seed, const T& extra) {
  PackedVector<T> p(seed.begin(), seed.end());
  std::vector<T> s = seed;
  auto same = [&](const char* step) {
    ASSERT_EQ(p.size(), s.size()) << step;
    for (size_t i = 0; i < s.size(); ++i) EXPECT_EQ(p[i], s[i]) << step << " at " << i;
  };
  same("copy");
  p.push_back(extra), s.push_back(extra), same("push_back");
  if (!s.empty()) p.push_back(p[0]), s.push_back(s[0]), same("push_back of an own element");
  p.insert(p.end(), seed.begin(), seed.end()), s.insert(s.end(), seed.begin(), seed.end());
  same("append");
  p.insert(p.begin() + 1, seed.begin(), seed.end()),
      s.insert(s.begin() + 1, seed.begin(), seed.end());
  same("insert in the middle");
  p.erase(p.begin(), p.begin() + 2), s.erase(s.begin(), s.begin() + 2), same("erase");
  p.resize(p.size() + 3), s.resize(s.size() + 3), same("resize up");
  p.resize(p.size() + 2, p[0]), s.resize(s.size() + 2, s[0]), same("resize with an own element");
  p.resize(1), s.resize(1), same("resize down");
  PackedVector<T> copy = p;
  PackedVector<T> moved = std::move(copy);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(moved, p);
  p.clear(), s.clear(), same("clear");
  p.shrink_to_fit();
  EXPECT_EQ(p.capacity(), 0u);
}

TEST(PackedVector, EditsMatchStdVectorForTrivialAndOwningElements) {
  ExpectSameAsStdVector<int32_t>({1, 2, 3, 4}, 9);
  ExpectSameAsStdVector<std::u16string>({u"a", u"a longer string than fits inline", u""}, u"x");
  ExpectSameAsStdVector<std::vector<int>>({{1}, {}, {2, 3}}, {7, 8});
  EXPECT_EQ(sizeof(PackedVector<double>), sizeof(void*));
  EXPECT_EQ(sizeof(PackedString), sizeof(void*));
  // Nested packed lists compare with nested standard ones.
  PackedVector<PackedVector<int32_t>> sets = {{0, 1}, {}};
  EXPECT_EQ(sets, (std::vector<std::vector<int32_t>>{{0, 1}, {}}));
}

TEST(PackedVector, NamesAndStringsReadAsTheirText) {
  NameList names = {u"idle", u"", u"walk"};
  names.push_back(u"走る");
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], u"idle");
  EXPECT_EQ(names[1], u"");
  EXPECT_EQ(names[3], u"走る");
  EXPECT_EQ(names, (std::vector<std::u16string>{u"idle", u"", u"walk", u"走る"}));
  EXPECT_FALSE(names == (std::vector<std::u16string>{u"idle", u"", u"walk"}));
  std::u16string joined;
  for (std::u16string_view n : names) joined += std::u16string(n) + u"|";
  EXPECT_EQ(joined, u"idle||walk|走る|");

  PackedString s = u"fukidashi";
  EXPECT_EQ(s, u"fukidashi");
  EXPECT_EQ(s.view().find(u"dashi"), 4u);
  EXPECT_EQ(s + u"!", u"fukidashi!");
  s = std::u16string();
  EXPECT_TRUE(s.empty());
}

}  // namespace
}  // namespace tolvani
