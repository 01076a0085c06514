// `tolvani inspect FILE [--geometry]`: runs the player's whole open sequence
// headless (null graphics device, null sound backend, message boxes
// recorded) and prints the resulting scene as one JSON object. Exit status 0
// when the open succeeded, 1 when it failed, 2 on a usage error.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/null_open.h"
#include "headless/tool_platform.h"
#include "model/archive.h"
#include "model/scene_state.h"
#include "playback/player_view.h"

namespace tolvani::cli {

namespace {

uint64_t Fnv1a(const PixelMatrix& image) {
  uint64_t h = 14695981039346656037ull;
  const size_t rowBytes = image.step();
  for (int y = 0; y < image.rows(); ++y) {
    const uint8_t* p = image.row(y);
    for (size_t i = 0; i < rowBytes; ++i) {
      h ^= p[i];
      h *= 1099511628211ull;
    }
  }
  return h;
}

void WriteMaterial(JsonWriter& w, const CMaterial& m) {
  w.BeginObject();
  w.Key("name");
  w.String(m.name);
  w.Key("color");
  w.BeginArray();
  for (float c : m.color) w.Float(c);
  w.EndArray();
  w.Key("diffuse");
  w.Float(m.diffuse);
  w.Key("ambient");
  w.Float(m.ambient);
  w.Key("emissive");
  w.Float(m.emissive);
  w.Key("specular");
  w.Float(m.specular);
  w.Key("power");
  w.Float(m.power);
  w.Key("textureName");
  w.String(m.textureName);
  w.Key("auxName1");
  w.String(m.auxName1);
  w.Key("auxName2");
  w.String(m.auxName2);
  w.Key("image");
  if (m.image.empty()) {
    w.Null();
  } else {
    w.BeginObject();
    w.Key("width");
    w.Int(m.image.cols());
    w.Key("height");
    w.Int(m.image.rows());
    w.Key("channels");
    w.Int(m.image.channels());
    w.Key("fnv1a");
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(m.image)));
    w.Utf8String(hex);
    w.EndObject();
  }
  w.Key("hasTexture");
  w.Bool(m.textureView != gfx::kNone);
  w.EndObject();
}

template <typename Vector>
void WriteInts(JsonWriter& w, const Vector& values) {
  w.BeginArray();
  for (auto v : values) w.Int(v);
  w.EndArray();
}

void WriteModel(JsonWriter& w, const CModel& m, bool geometry) {
  w.BeginObject();
  w.Key("name");
  w.String(m.name);
  w.Key("vertexCount");
  w.UInt(m.vertices.size());
  w.Key("faceCount");
  w.UInt(m.faces.size());
  w.Key("smoothingAngle");
  w.Float(m.smoothingAngle);
  w.Key("auxValue");
  w.Int(m.auxValue);
  w.Key("collisionMaterial");
  w.Int(m.collisionMaterial);
  w.Key("materialSetBase");
  w.Int(m.materialSetBase);
  w.Key("materialSets");
  w.BeginArray();
  for (const auto& set : m.materialSets) WriteInts(w, set);
  w.EndArray();
  w.Key("bones");
  WriteInts(w, m.bones);
  w.Key("parents");
  WriteInts(w, m.parents);
  w.Key("weights");
  w.BeginArray();
  for (float v : m.weights) w.Float(v);
  w.EndArray();
  // Names and animations are parallel lists; a name without an animation
  // shows 0 tracks, an animation without a name an empty name.
  w.Key("animations");
  w.BeginArray();
  const size_t animationCount = std::max(m.animations.size(), m.animationNames.size());
  for (size_t a = 0; a < animationCount; ++a) {
    w.BeginObject();
    w.Key("name");
    w.String(a < m.animationNames.size() ? m.animationNames[a] : std::u16string_view());
    w.Key("tracks");
    w.UInt(a < m.animations.size() ? m.animations[a].size() : 0);
    w.Key("frames");
    w.Int(m.FrameCount(static_cast<int32_t>(a)));
    w.EndObject();
  }
  w.EndArray();
  w.Key("visible");
  w.Bool(m.visible);
  w.Key("currentAnimation");
  w.Int(m.currentAnimation);
  w.Key("animationFrame");
  w.Int(m.animationFrame);
  w.Key("groups");
  w.BeginArray();
  for (const MeshGroup& g : m.groups) {
    w.BeginObject();
    w.Key("material");
    w.Int(g.material);
    w.Key("vertexCount");
    w.UInt(g.vertices.size());
    w.Key("hasBuffer");
    w.Bool(g.vertexBuffer != gfx::kNone);
    if (geometry) {
      w.Key("vertices");
      w.BeginArray();
      for (const MeshVertex& v : g.vertices) {
        w.BeginArray();
        for (float f : {v.position.x, v.position.y, v.position.z, v.normal.x, v.normal.y,
                        v.normal.z, v.uv.x, v.uv.y, v.bone, v.parent, v.weight})
          w.Float(f);
        w.EndArray();
      }
      w.EndArray();
    }
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void WriteTimeline(JsonWriter& w, const CTimeLine& t) {
  w.BeginObject();
  w.Key("name");
  w.String(t.name);
  w.Key("auxFlag");
  w.Bool(t.auxFlag);
  w.Key("entries");
  w.BeginArray();
  for (const CTimeLineData& e : t.entries) {
    w.BeginObject();
    w.Key("state");
    w.Int(StoredValue(e.state));
    w.Key("text");
    w.String(e.text);
    w.Key("animationName");
    w.String(e.animationName);
    w.Key("jumpEnabled");
    w.Int(e.jumpEnabled);
    w.Key("jumpTarget");
    w.Int(e.jumpTarget);
    w.Key("soundName");
    w.String(e.soundName);
    w.Key("soundLoops");
    w.Bool(e.soundLoops);
    w.Key("motion");
    WriteMotion(w, e.motion);
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void WriteSound(JsonWriter& w, const CWavData& s) {
  w.BeginObject();
  w.Key("name");
  w.String(s.name);
  w.Key("size");
  w.Int(s.size);
  w.Key("hasVoice");
  w.Bool(s.voice != 0);
  w.Key("format");
  w.BeginObject();
  w.Key("wFormatTag");
  w.UInt(s.format.wFormatTag);
  w.Key("nChannels");
  w.UInt(s.format.nChannels);
  w.Key("nSamplesPerSec");
  w.UInt(s.format.nSamplesPerSec);
  w.Key("nAvgBytesPerSec");
  w.UInt(s.format.nAvgBytesPerSec);
  w.Key("nBlockAlign");
  w.UInt(s.format.nBlockAlign);
  w.Key("wBitsPerSample");
  w.UInt(s.format.wBitsPerSample);
  w.Key("cbSize");
  w.UInt(s.format.cbSize);
  w.EndObject();
  w.EndObject();
}

void WriteScene(JsonWriter& w, bool ok, const std::vector<std::u16string>& messages,
                bool geometry) {
  const CCoreMotion3D& root = *SceneState.sceneRoot;
  w.BeginObject();
  w.Key("ok");
  w.Bool(ok);
  w.Key("messages");
  w.BeginArray();
  for (const auto& m : messages) w.String(m);
  w.EndArray();
  w.Key("fileVersion");
  w.Float(SceneState.fileVersion);
  w.Key("playMode");
  w.Int(StoredValue(root.playMode));
  w.Key("glideDuration");
  w.Int(root.glideDuration);
  w.Key("fadeDuration");
  w.Int(root.fadeDuration);
  w.Key("fieldOfView");
  w.Float(root.fieldOfView);
  w.Key("backgroundColor");
  w.UInt(root.backgroundColor);
  w.Key("camera");
  WriteMotion(w, root.camera);
  w.Key("currentStep");
  w.Int(root.currentStep);
  w.Key("pickedModel");
  w.Int(root.pickedModel);
  w.Key("materials");
  w.BeginArray();
  for (const CMaterial& m : root.materials) WriteMaterial(w, m);
  w.EndArray();
  w.Key("models");
  w.BeginArray();
  for (const CModel& m : root.models) WriteModel(w, m, geometry);
  w.EndArray();
  w.Key("timelines");
  w.BeginArray();
  for (const CTimeLine& t : SceneState.timeLines) WriteTimeline(w, t);
  w.EndArray();
  w.Key("sounds");
  w.BeginArray();
  if (SceneState.audio) {
    for (const CWavData& s : SceneState.audio->sounds) WriteSound(w, s);
  }
  w.EndArray();
  w.EndObject();
  w.Finish();
}

}  // namespace

int RunInspect(const std::vector<std::string>& args) {
  std::string file;
  bool geometry = false;
  for (const std::string& a : args) {
    if (a == "--geometry") {
      geometry = true;
    } else if (file.empty() && (a.empty() || a[0] != '-' || a == "-")) {
      file = a;
    } else {
      std::fprintf(stderr, "tolvani inspect: unexpected argument '%s'\n", a.c_str());
      return 2;
    }
  }
  if (file.empty()) {
    std::fputs("usage: tolvani inspect FILE [--geometry]\n", stderr);
    return 2;
  }

  // Message boxes are kept for the report, never shown; open requests and
  // diagnostics go to stderr.
  headless::ToolPlatform platform(headless::ToolPlatform::Diagnostics::StandardError);
  platform.onOpen = [](const std::u16string& target) {
    std::fprintf(stderr, "open: %s\n", ToUtf8(target).c_str());
  };
  const bool ok = OpenWithNullDevices(file, [&](bool opened) {
    JsonWriter writer(stdout);
    WriteScene(writer, opened, platform.messages(), geometry);
  });
  return ok ? 0 : 1;
}

}  // namespace tolvani::cli
