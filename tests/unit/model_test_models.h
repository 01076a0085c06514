// A model that uses every stored field, and a field-by-field comparison:
// shared by the record tests.
#pragma once

#include <gtest/gtest.h>

#include "model/model_records.h"
#include "support/test_helpers.h"

namespace tolvani::testing {

inline CModel FullModel() {
  CModel m;
  m.name = u"body";
  m.smoothingAngle = 60.0f;
  m.auxValue = -7;
  m.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.5f}};
  m.animationNames = {u"walk", u"", u"run"};
  m.bones = {0, 1, 2, 3};
  m.animations = {testing::MakeAnimation(2, 3), {}, testing::MakeAnimation(1, 0)};
  m.collisionMaterial = 4;
  m.materialSets = {{1, 2}, {}, {7}};
  m.materialSetBase = 2;
  m.parents = {-1, 0, 1, 2};
  m.weights = {1.0f, 0.5f, 0.25f, 0.0f};
  CFace tri;
  tri.material = 1;
  tri.indices = {0, 1, 2};
  tri.uvs = {{0, 0}, {1, 0}, {0, 1}};
  m.faces.Append(tri);
  CFace quad;
  quad.material = 2;
  quad.indices = {0, 1, 3, 2};
  quad.uvs = {{0.5f, 0.5f}, {1, 1}, {0.25f, 0.75f}};  // fewer uvs than corners
  m.faces.Append(quad);
  CFace line;
  line.material = -3;
  line.indices = {2, 3};
  m.faces.Append(line);
  return m;
}

inline void ExpectSameModel(const CModel& a, const CModel& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.smoothingAngle, b.smoothingAngle);
  EXPECT_EQ(a.auxValue, b.auxValue);
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) EXPECT_EQ(a.vertices[i], b.vertices[i]);
  EXPECT_EQ(a.animationNames, b.animationNames);
  EXPECT_EQ(a.bones, b.bones);
  ASSERT_EQ(a.animations.size(), b.animations.size());
  for (size_t i = 0; i < a.animations.size(); ++i) {
    ASSERT_EQ(a.animations[i].size(), b.animations[i].size());
    for (size_t k = 0; k < a.animations[i].size(); ++k)
      EXPECT_EQ(a.animations[i][k], b.animations[i][k]);
  }
  EXPECT_EQ(a.collisionMaterial, b.collisionMaterial);
  EXPECT_EQ(a.materialSets, b.materialSets);
  EXPECT_EQ(a.materialSetBase, b.materialSetBase);
  EXPECT_EQ(a.parents, b.parents);
  EXPECT_EQ(a.weights, b.weights);
  ASSERT_EQ(a.faces.size(), b.faces.size());
  for (size_t f = 0; f < a.faces.size(); ++f) {
    const CFace fa = a.faces.Get(f), fb = b.faces.Get(f);
    EXPECT_EQ(fa.material, fb.material);
    EXPECT_EQ(fa.indices, fb.indices);
    ASSERT_EQ(fa.uvs.size(), fb.uvs.size());
    for (size_t k = 0; k < fa.uvs.size(); ++k) {
      EXPECT_EQ(fa.uvs[k].u, fb.uvs[k].u);
      EXPECT_EQ(fa.uvs[k].v, fb.uvs[k].v);
    }
  }
}

}  // namespace tolvani::testing
