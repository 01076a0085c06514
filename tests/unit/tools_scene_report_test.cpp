// `tolvani inspect` run as a process on projects built in code.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_helpers.h"

namespace tolvani {
namespace {

using testing::ProjectBuilder;

// A small JSON reader, strict enough to reject malformed output.
struct Json {
  enum Type { Null, Bool, Number, String, Array, Object } type = Null;
  bool b = false;
  double n = 0;
  std::u16string s;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json& operator[](const std::string& key) const {
    for (const auto& [k, v] : members)
      if (k == key) return v;
    static const Json missing;
    ADD_FAILURE() << "missing key " << key;
    return missing;
  }
  const Json& operator[](size_t i) const { return items.at(i); }
  size_t size() const { return type == Array ? items.size() : members.size(); }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& m : members) keys.push_back(m.first);
    return keys;
  }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : t_(text) {}
  bool Parse(Json* out) {
    if (!Value(out)) return false;
    Space();
    return p_ == t_.size();
  }

 private:
  void Space() {
    while (p_ < t_.size() && (t_[p_] == ' ' || t_[p_] == '\n' || t_[p_] == '\r' || t_[p_] == '\t'))
      ++p_;
  }
  bool Literal(const char* word) {
    const std::string w = word;
    if (t_.compare(p_, w.size(), w) != 0) return false;
    p_ += w.size();
    return true;
  }
  bool Hex4(uint32_t* v) {
    if (p_ + 4 > t_.size()) return false;
    *v = static_cast<uint32_t>(std::stoul(t_.substr(p_, 4), nullptr, 16));
    p_ += 4;
    return true;
  }
  bool Str(std::u16string* out) {
    if (t_[p_] != '"') return false;
    ++p_;
    while (p_ < t_.size()) {
      const unsigned char c = static_cast<unsigned char>(t_[p_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;  // raw control characters are not allowed
      if (c == '\\') {
        if (p_ >= t_.size()) return false;
        const char e = t_[p_++];
        uint32_t v = 0;
        switch (e) {
          case '"':
            out->push_back(u'"');
            break;
          case '\\':
            out->push_back(u'\\');
            break;
          case '/':
            out->push_back(u'/');
            break;
          case 'b':
            out->push_back(u'\b');
            break;
          case 'f':
            out->push_back(u'\f');
            break;
          case 'n':
            out->push_back(u'\n');
            break;
          case 'r':
            out->push_back(u'\r');
            break;
          case 't':
            out->push_back(u'\t');
            break;
          case 'u':
            if (!Hex4(&v)) return false;
            out->push_back(static_cast<char16_t>(v));
            break;
          default:
            return false;
        }
        continue;
      }
      // UTF-8 to UTF-16.
      uint32_t cp = c;
      int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
      if (extra) cp = c & (0x3F >> extra);
      for (int i = 0; i < extra; ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(t_[p_++]) & 0x3F);
      if (cp >= 0x10000) {
        out->push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        out->push_back(static_cast<char16_t>(cp));
      }
    }
    return false;
  }
  bool Value(Json* v) {
    Space();
    if (p_ >= t_.size()) return false;
    const char c = t_[p_];
    if (c == '{') {
      v->type = Json::Object;
      ++p_;
      Space();
      if (t_[p_] == '}') return ++p_, true;
      for (;;) {
        Space();
        std::u16string key;
        if (!Str(&key)) return false;
        Space();
        if (t_[p_++] != ':') return false;
        Json member;
        if (!Value(&member)) return false;
        v->members.emplace_back(std::string(key.begin(), key.end()), std::move(member));
        Space();
        if (t_[p_] == ',') {
          ++p_;
          continue;
        }
        return t_[p_++] == '}';
      }
    }
    if (c == '[') {
      v->type = Json::Array;
      ++p_;
      Space();
      if (t_[p_] == ']') return ++p_, true;
      for (;;) {
        Json item;
        if (!Value(&item)) return false;
        v->items.push_back(std::move(item));
        Space();
        if (t_[p_] == ',') {
          ++p_;
          continue;
        }
        return t_[p_++] == ']';
      }
    }
    if (c == '"') {
      v->type = Json::String;
      return Str(&v->s);
    }
    if (Literal("true")) return v->type = Json::Bool, v->b = true, true;
    if (Literal("false")) return v->type = Json::Bool, true;
    if (Literal("null")) return true;
    size_t used = 0;
    try {
      v->n = std::stod(t_.substr(p_, 40), &used);
    } catch (...) {
      return false;
    }
    if (c != '-' && (c < '0' || c > '9')) return false;
    v->type = Json::Number;
    p_ += used;
    return true;
  }
  const std::string& t_;
  size_t p_ = 0;
};

struct ToolRun {
  int status = -1;
  std::string out;
  Json json;
  bool parsed = false;
};

// `env`: variable assignments put before the command.
ToolRun Inspect(const std::string& args, const std::string& env = "") {
  ToolRun r;
  const std::string command = env + " '" + TOLVANI_CLI + "' inspect " + args + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.parsed = JsonParser(r.out).Parse(&r.json);
  return r;
}

ToolRun InspectProject(const ProjectBuilder& b, const std::string& extra = "",
                       const std::string& name = "project.zvmov") {
  return Inspect("'" + testing::WriteTempFile(b.Build(), name) + "' " + extra);
}

uint64_t Fnv1aOfPattern(int w, int h, int channels) {
  uint64_t hash = 14695981039346656037ull;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < channels; ++k) {
        hash ^= testing::TestSample(x, y, k);
        hash *= 1099511628211ull;
      }
  return hash;
}

std::u16string Hex(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return std::u16string(text, text + 16);
}

ProjectBuilder SampleProject() {
  ProjectBuilder b;
  b.version = 1.1f;
  b.playMode = PlayMode::kExplore;
  b.glideDuration = 900;
  b.fieldOfView = 42.5f;
  b.backgroundColor = 0x00123456;
  b.AddMaterial(u"plain", 0.25f, 0.5f, 0.75f, 1);
  b.AddTexturedMaterial(u"tex", u"wood.png", 3, 2, 4);
  CModel& m = b.AddTriangleModel(u"floor", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                                 {{0, 1, 2}, {1, 3, 2}}, 1);
  m.smoothingAngle = 30;
  m.animations.push_back(testing::MakeAnimation(2, 5));
  m.animationNames.push_back(u"walk");
  m.materialSets = {{1, 0}, {}};
  b.AddTriangleModel(u"box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, 0);
  CTimeLine& t0 = b.AddTimeline(u"floor");
  CTimeLineData& e = b.AddEntry(t0, EntryState::kShown);
  e.motion.position = {1, 2, 3};
  e.motion.rotation = {10, 20, 30};
  e.soundName = u"beep";
  e.soundLoops = true;
  b.AddEntry(t0, EntryState::kHidden).text = u"http://example.com";
  b.AddTimeline(u"box fukidashi");
  b.AddSound(u"beep", testing::PcmFormat(1, 8000, 8), {1, 2, 3, 4});
  b.AddSound(u"odd", testing::PcmFormat(2, 22050, 16), {0, 0, 0, 0});
  return b;
}

TEST(Inspect, ReportsTheOpenedSceneUnderTheDocumentedKeys) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const ToolRun r = InspectProject(SampleProject());
  ASSERT_TRUE(r.parsed) << r.out;
  EXPECT_EQ(r.status, 0);
  const Json& j = r.json;
  EXPECT_EQ(j.Keys(), (std::vector<std::string>{
                          "ok", "messages", "fileVersion", "playMode", "glideDuration",
                          "fadeDuration", "fieldOfView", "backgroundColor", "camera", "currentStep",
                          "pickedModel", "materials", "models", "timelines", "sounds"}));
  EXPECT_TRUE(j["ok"].b);
  EXPECT_EQ(j["messages"].size(), 0u);
  // Floats read back to the same float32.
  EXPECT_EQ(static_cast<float>(j["fileVersion"].n), 1.1f);
  EXPECT_EQ(static_cast<float>(j["fieldOfView"].n), 42.5f);
  EXPECT_EQ(j["playMode"].n, 4);
  EXPECT_EQ(j["glideDuration"].n, 900);
  EXPECT_EQ(j["backgroundColor"].n, 0x123456);
  // The camera comes from timeline 0's first entry (state 2).
  EXPECT_EQ(j["camera"].Keys(),
            (std::vector<std::string>{"position", "rotation", "scale", "pivot"}));
  EXPECT_EQ(j["camera"]["position"][2].n, 3);
  EXPECT_EQ(j["camera"]["rotation"][1].n, 20);
  EXPECT_EQ(j["currentStep"].n, 0);
  EXPECT_EQ(j["pickedModel"].n, 1);

  ASSERT_EQ(j["materials"].size(), 2u);
  const Json& plain = j["materials"][0];
  EXPECT_EQ(plain.Keys(),
            (std::vector<std::string>{"name", "color", "diffuse", "ambient", "emissive", "specular",
                                      "power", "textureName", "auxName1", "auxName2", "image",
                                      "hasTexture"}));
  EXPECT_EQ(plain["image"].type, Json::Null);
  EXPECT_FALSE(plain["hasTexture"].b);
  EXPECT_EQ(plain["color"][2].n, 0.75);
  const Json& tex = j["materials"][1];
  EXPECT_TRUE(tex["hasTexture"].b);
  EXPECT_EQ(tex["textureName"].s, u"wood.png");
  EXPECT_EQ(tex["image"]["width"].n, 3);
  EXPECT_EQ(tex["image"]["height"].n, 2);
  EXPECT_EQ(tex["image"]["channels"].n, 4);
  EXPECT_EQ(tex["image"]["fnv1a"].s, Hex(Fnv1aOfPattern(3, 2, 4)));

  ASSERT_EQ(j["models"].size(), 2u);
  const Json& floor = j["models"][0];
  EXPECT_EQ(floor.Keys(),
            (std::vector<std::string>{"name", "vertexCount", "faceCount", "smoothingAngle",
                                      "auxValue", "collisionMaterial", "materialSetBase",
                                      "materialSets", "bones", "parents", "weights", "animations",
                                      "visible", "currentAnimation", "animationFrame", "groups"}));
  EXPECT_EQ(floor["vertexCount"].n, 4);
  EXPECT_EQ(floor["faceCount"].n, 2);
  EXPECT_EQ(floor["smoothingAngle"].n, 30);
  EXPECT_EQ(floor["materialSets"][0][0].n, 1);
  EXPECT_EQ(floor["materialSets"][1].size(), 0u);
  EXPECT_EQ(floor["parents"][3].n, -1);
  EXPECT_EQ(floor["animations"][0]["name"].s, u"walk");
  EXPECT_EQ(floor["animations"][0]["tracks"].n, 2);
  EXPECT_EQ(floor["animations"][0]["frames"].n, 5);
  ASSERT_EQ(floor["groups"].size(), 1u);
  EXPECT_EQ(floor["groups"][0].Keys(),
            (std::vector<std::string>{"material", "vertexCount", "hasBuffer"}));
  EXPECT_EQ(floor["groups"][0]["material"].n, 1);
  EXPECT_EQ(floor["groups"][0]["vertexCount"].n, 6);
  EXPECT_TRUE(floor["groups"][0]["hasBuffer"].b);

  ASSERT_EQ(j["timelines"].size(), 2u);
  const Json& t0 = j["timelines"][0];
  EXPECT_EQ(t0.Keys(), (std::vector<std::string>{"name", "auxFlag", "entries"}));
  ASSERT_EQ(t0["entries"].size(), 2u);
  EXPECT_EQ(t0["entries"][0].Keys(),
            (std::vector<std::string>{"state", "text", "animationName", "jumpEnabled", "jumpTarget",
                                      "soundName", "soundLoops", "motion"}));
  EXPECT_EQ(t0["entries"][0]["soundName"].s, u"beep");
  EXPECT_TRUE(t0["entries"][0]["soundLoops"].b);
  EXPECT_EQ(t0["entries"][1]["text"].s, u"http://example.com");
  EXPECT_EQ(j["timelines"][1]["name"].s, u"box fukidashi");

  // Both sounds got voices, then the stop entry.
  ASSERT_EQ(j["sounds"].size(), 3u);
  EXPECT_EQ(j["sounds"][0].Keys(),
            (std::vector<std::string>{"name", "size", "hasVoice", "format"}));
  EXPECT_EQ(j["sounds"][0]["size"].n, 4);
  EXPECT_TRUE(j["sounds"][0]["hasVoice"].b);
  EXPECT_EQ(j["sounds"][1]["format"]["nSamplesPerSec"].n, 22050);
  EXPECT_EQ(j["sounds"][1]["format"]["nBlockAlign"].n, 4);
  EXPECT_EQ(j["sounds"][2]["name"].s, u"停止");
  EXPECT_FALSE(j["sounds"][2]["hasVoice"].b);
}

TEST(Inspect, GeometryListsEveryDrawingVertex) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  ProjectBuilder b;
  b.AddMaterial(u"m");
  CModel& m = b.AddTriangleModel(u"quad", {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {}, 0);
  CFace quad;
  quad.indices = {0, 1, 2, 3};
  quad.uvs = {{0.5f, 0.25f}};
  m.faces.Append(quad);
  m.bones = {7, 7, 7, 7};
  const ToolRun r = InspectProject(b, "--geometry");
  ASSERT_TRUE(r.parsed) << r.out;
  const Json& g = r.json["models"][0]["groups"][0];
  EXPECT_EQ(g.Keys(),
            (std::vector<std::string>{"material", "vertexCount", "hasBuffer", "vertices"}));
  ASSERT_EQ(g["vertices"].size(), 6u);
  const int order[6] = {0, 1, 2, 2, 3, 0};
  const float xs[4] = {0, 2, 2, 0};
  for (size_t i = 0; i < 6; ++i) {
    const Json& v = g["vertices"][i];
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v[0].n, xs[order[i]]) << i;
    EXPECT_EQ(v[5].n, 1) << i;  // flat quad: normal +z
    EXPECT_EQ(v[8].n, 7);
    EXPECT_EQ(v[9].n, -1);
    EXPECT_EQ(v[10].n, 1);
  }
  EXPECT_EQ(g["vertices"][0][6].n, 0.5);  // uv of corner 0
  EXPECT_EQ(g["vertices"][1][6].n, 0);    // corner 1 has no uv
  // Without the option there are no vertex lists.
  const ToolRun plain = InspectProject(b);
  EXPECT_EQ(plain.json["models"][0]["groups"][0].Keys().size(), 3u);
}

TEST(Inspect, FailuresExitOneAndStillPrintTheScene) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  // Cut inside the second timeline.
  ProjectBuilder b = SampleProject();
  std::vector<uint8_t> bytes = b.Build();
  ProjectBuilder head = SampleProject();
  head.timelines.pop_back();
  head.writeSounds = false;
  const size_t cut = head.Build().size() + 6;
  bytes.resize(cut);
  const ToolRun r = Inspect("'" + testing::WriteTempFile(bytes) + "'");
  ASSERT_TRUE(r.parsed) << r.out;
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.json["ok"].b);
  ASSERT_EQ(r.json["messages"].size(), 1u);
  EXPECT_EQ(r.json["messages"][0].s, u"予期しないファイル形式です。");
  // Read before the error and kept; nothing prepared.
  EXPECT_EQ(r.json["models"].size(), 2u);
  EXPECT_EQ(r.json["models"][0]["groups"].size(), 0u);
  EXPECT_FALSE(r.json["materials"][1]["hasTexture"].b);

  const ToolRun missing = Inspect("/nonexistent/dir/none.zvmov");
  ASSERT_TRUE(missing.parsed) << missing.out;
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.json["messages"].size(), 1u);

  // Another extension is refused (the player would ignore it): nothing is
  // read or printed. The extension's letter case does not matter.
  const ToolRun other = InspectProject(SampleProject(), "", "project.txt");
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.out, "");
  EXPECT_EQ(InspectProject(SampleProject(), "", "project.ZvMoV").status, 0);

  EXPECT_EQ(Inspect("").status, 2);
}

TEST(Inspect, AnUnusableCodePageIsRefused) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::string file = "'" + testing::WriteTempFile(SampleProject().Build()) + "'";
  const ToolRun refused = Inspect(file, "TOLVANI_CODEPAGE=NO-SUCH-CODE-PAGE");
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(refused.out.empty()) << refused.out;
  for (const char* usable : {"CP932", "cp932", "ISO-8859-1"})
    EXPECT_EQ(Inspect(file, std::string("TOLVANI_CODEPAGE=") + usable).status, 0) << usable;
}

TEST(Inspect, PreparationFailuresShowAsMessagesAndMissingVoices) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  ProjectBuilder b;
  b.AddTexturedMaterial(u"big", u"huge.png", 8193, 1, 3);  // above the device limit
  b.AddTexturedMaterial(u"ok", u"fine.png", 1, 1, 3);
  CModel& m = b.AddModel(u"nan");
  m.smoothingAngle = NAN;
  b.AddSound(u"pcm", testing::PcmFormat(1, 8000, 8), {1});
  WaveFormat adpcm = testing::PcmFormat(1, 8000, 4);
  adpcm.wFormatTag = 2;
  b.AddSound(u"adpcm", adpcm, {1, 2});
  b.AddSound(u"after", testing::PcmFormat(1, 8000, 8), {1});
  const ToolRun r = InspectProject(b);
  ASSERT_TRUE(r.parsed) << r.out;
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.json["messages"].size(), 1u);
  EXPECT_EQ(r.json["messages"][0].s, u"huge.pngの読み込みに失敗しました。");
  EXPECT_EQ(r.json["materials"][0]["textureName"].s, u"");
  EXPECT_EQ(r.json["materials"][0]["image"]["width"].n, 8193);
  EXPECT_TRUE(r.json["materials"][1]["hasTexture"].b);
  EXPECT_EQ(r.json["models"][0]["smoothingAngle"].type, Json::Null);  // NaN
  // The voice stops at the refused format: no stop entry.
  ASSERT_EQ(r.json["sounds"].size(), 3u);
  EXPECT_TRUE(r.json["sounds"][0]["hasVoice"].b);
  EXPECT_FALSE(r.json["sounds"][1]["hasVoice"].b);
  EXPECT_FALSE(r.json["sounds"][2]["hasVoice"].b);
}

TEST(Inspect, StringsKeepEveryUtf16CodeUnit) {
  TOLVANI_SKIP_IN_WASM("starts the command-line tool");
  const std::u16string tricky = std::u16string(u"a\"b\\c\n\t\x01") + char16_t(0) +
                                u"日本語\U0001F600" + char16_t(0xD800) + u"z";
  ProjectBuilder b;
  b.AddMaterial(tricky);
  CTimeLine& t = b.AddTimeline(u"t");
  b.AddEntry(t).text = tricky;
  const ToolRun r = InspectProject(b);
  ASSERT_TRUE(r.parsed) << r.out;
  EXPECT_EQ(r.json["materials"][0]["name"].s, tricky);
  EXPECT_EQ(r.json["timelines"][0]["entries"][0]["text"].s, tricky);
  EXPECT_NE(r.out.find("\\uD83D\\uDE00"), std::string::npos);
  EXPECT_NE(r.out.find("\\u0000"), std::string::npos);
}

}  // namespace
}  // namespace tolvani
