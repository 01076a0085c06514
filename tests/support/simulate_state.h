// Reading the state lines `tolvani simulate` prints: the fields the
// playthrough and pixel tests use, found by key (the line is one JSON
// object; a missing key reads as -1e30 or a zero vector).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "base/math.h"
#include "model/motion.h"
#include "model/story_rules.h"
#include "model/timeline.h"

namespace tolvani::testing {

// The fields of a state line the tests read.
struct SimulateState {
  int step = -1;
  float progress = 0;
  CMotion camera;
  std::vector<bool> soundPlayed;
};

// The number after the first `key` at or after *at (then moved past it).
inline float NumberAfter(const std::string& line, const std::string& key, size_t* at = nullptr) {
  const size_t k = line.find(key, at ? *at : 0);
  if (k == std::string::npos) return -1e30f;
  if (at) *at = k + key.size();
  return std::strtof(line.c_str() + k + key.size(), nullptr);
}

// The three numbers after `key` (an array's opening bracket included).
inline Vec3 TripleAfter(const std::string& line, const std::string& key) {
  const size_t k = line.find(key);
  if (k == std::string::npos) return {};
  const char* p = line.c_str() + k + key.size();
  char* end = nullptr;
  Vec3 v;
  v.x = std::strtof(p, &end);
  v.y = std::strtof(end + 1, &end);
  v.z = std::strtof(end + 1, &end);
  return v;
}

inline SimulateState ParseState(const std::string& line) {
  SimulateState s;
  s.step = static_cast<int>(NumberAfter(line, "\"currentStep\":"));
  s.progress = NumberAfter(line, "\"stepProgress\":");
  s.camera.position = TripleAfter(line, "\"position\":[");
  s.camera.rotation = TripleAfter(line, "\"rotation\":[");
  s.camera.scale = TripleAfter(line, "\"scale\":[");
  s.camera.pivot = TripleAfter(line, "\"pivot\":[");
  const size_t k = line.find("\"soundPlayed\":[");
  for (size_t i = k + 15; k != std::string::npos && i < line.size() && line[i] != ']'; ++i) {
    if (line.compare(i, 4, "true") == 0) s.soundPlayed.push_back(true);
    if (line.compare(i, 5, "false") == 0) s.soundPlayed.push_back(false);
  }
  return s;
}

// Clip coordinates of a world matrix's origin seen with `camera` (the
// pivot view in Orbit, as the player draws it) through a w x h picture of
// the given vertical field of view in degrees.
inline Vec4 ClipOfOrigin(const Matrix4& world, const CMotion& camera, bool orbit, float fieldOfView,
                         int w, int h) {
  const Matrix4 view = orbit ? camera.ComputePivotViewMatrix() : camera.ComputeViewMatrix();
  const Matrix4 proj = MatrixPerspectiveFovRH(
      DegToRad(fieldOfView), static_cast<float>(w) / static_cast<float>(h), 1.0f, 50000.0f);
  return Vec4Transform({world.m[3][0], world.m[3][1], world.m[3][2], world.m[3][3]},
                       MatrixMultiply(view, proj));
}

// Whether a fade overlay is shown at `step` (the story waits for it).
inline bool OverlayShown(const std::vector<CTimeLine>& lines, int step) {
  for (const CTimeLine& t : lines)
    if (IsFadeName(t.name) && t.ShownAt(step)) return true;
  return false;
}

// A script fragment written n times over.
inline std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace tolvani::testing
