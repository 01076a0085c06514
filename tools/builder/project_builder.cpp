#include "builder/project_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "model/archive.h"

namespace tolvani::builder {

WaveFormat PcmFormat(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample) {
  WaveFormat f;
  f.wFormatTag = 1;
  f.nChannels = channels;
  f.nSamplesPerSec = samplesPerSec;
  f.wBitsPerSample = bitsPerSample;
  f.nBlockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
  f.nAvgBytesPerSec = samplesPerSec * f.nBlockAlign;
  f.cbSize = 0;
  return f;
}

CModel& ProjectBuilder::AddModel(const std::u16string& name) {
  CModel& m = models.emplace_back();
  m.name = name;
  m.smoothingAngle = 45.0f;
  return m;
}

CModel& ProjectBuilder::AddTriangleModel(const std::u16string& name,
                                         const std::vector<Vec3>& vertices,
                                         const std::vector<std::array<int32_t, 3>>& triangles,
                                         int32_t material) {
  CModel& m = AddModel(name);
  m.vertices.assign(vertices.begin(), vertices.end());
  m.bones.assign(vertices.size(), 0);
  m.parents.assign(vertices.size(), -1);
  m.weights.assign(vertices.size(), 1.0f);
  for (const auto& tri : triangles) {
    CFace face;
    face.material = material;
    face.indices = {tri[0], tri[1], tri[2]};
    face.uvs = {{0, 0}, {1, 0}, {0, 1}};
    m.faces.Append(face);
  }
  return m;
}

CMaterial& ProjectBuilder::AddMaterial(const std::u16string& name, float r, float g, float b,
                                       float a) {
  CMaterial& mat = materials.emplace_back();
  mat.name = name;
  mat.color[0] = r;
  mat.color[1] = g;
  mat.color[2] = b;
  mat.color[3] = a;
  mat.diffuse = 1.0f;
  mat.ambient = 0.5f;
  return mat;
}

uint8_t TestSample(int x, int y, int k) {
  return static_cast<uint8_t>((x * 7 + y * 13 + k * 31) & 0xFF);
}

CMaterial& ProjectBuilder::AddTexturedMaterial(const std::u16string& name,
                                               const std::u16string& textureName, int width,
                                               int height, int channels) {
  CMaterial& mat = AddMaterial(name);
  mat.textureName = textureName;
  mat.image = PixelMatrix(height, width, channels == 4 ? 4 : 3);
  const int n = mat.image.channels();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = mat.image.row(y);
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < n; ++k) row[x * n + k] = TestSample(x, y, k);
  }
  return mat;
}

CTimeLine& ProjectBuilder::AddTimeline(const std::u16string& name) {
  CTimeLine& t = timelines.emplace_back();
  t.name = name;
  return t;
}

CTimeLineData& ProjectBuilder::AddEntry(CTimeLine& t, EntryState state) {
  CTimeLineData& e = t.entries.emplace_back();
  e.state = state;
  return e;
}

SoundSpec& ProjectBuilder::AddSound(const std::u16string& name, const WaveFormat& format,
                                    std::vector<uint8_t> data) {
  SoundSpec& s = sounds.emplace_back();
  s.name = name;
  s.format = format;
  s.data = std::move(data);
  return s;
}

std::vector<uint8_t> ProjectBuilder::Build() const {
  std::vector<uint8_t> out;
  CArchive ar(out);
  ar.WriteInt32(static_cast<int32_t>(timelines.size()));
  ar.WriteFloat(version);

  // Scene root, with the version conditions of the reader.
  ar.WriteInt32(static_cast<int32_t>(auxNames.size()));
  for (const auto& s : auxNames) ar.WriteString(s);
  ar.WriteInt32(auxValue);
  ar.WriteUInt32(backgroundColor);
  if (version >= 0.4f) ar.WriteInt32(StoredValue(playMode));
  if (zvmov) {
    ar.WriteInt32(static_cast<int32_t>(materials.size()));
    ar.WriteInt32(static_cast<int32_t>(models.size()));
  }
  if (version >= 0.84f) {
    ar.WriteInt32(glideDuration);
    ar.WriteInt32(fadeDuration);
  }
  if (version >= 1.1f) ar.WriteFloat(fieldOfView);
  CMotion cam = camera;
  cam.Serialize(ar);
  if (zvmov) {
    for (const CMaterial& m : materials) {
      CMaterial copy = m;
      copy.Serialize(ar);
    }
    for (const CModel& m : models) {
      CModel copy = m;
      copy.Serialize(ar, version);
    }
  }

  for (const CTimeLine& t : timelines) {
    CTimeLine copy = t;
    copy.Serialize(ar);
  }

  if (zvmov && writeSounds) {
    ar.WriteInt32(static_cast<int32_t>(sounds.size()));
    for (const SoundSpec& s : sounds) {
      const int32_t size = s.size >= 0 ? s.size : static_cast<int32_t>(s.data.size());
      ar.WriteInt32(size);
      ar.WriteString(s.name);
      ar.WriteUInt16(s.format.cbSize);
      ar.WriteUInt32(s.format.nAvgBytesPerSec);
      ar.WriteUInt16(s.format.nBlockAlign);
      ar.WriteUInt16(s.format.nChannels);
      ar.WriteUInt32(s.format.nSamplesPerSec);
      ar.WriteUInt16(s.format.wBitsPerSample);
      ar.WriteUInt16(s.format.wFormatTag);
      ar.WriteBytes(s.data.data(), s.data.size());
    }
  }
  return out;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (written != bytes.size()) throw std::runtime_error("cannot write " + path);
}

void ProjectBuilder::WriteFile(const std::string& path) const {
  WriteBytes(path, Build());
}

Animation MakeAnimation(int tracks, int frames) {
  Animation anim(static_cast<size_t>(tracks));
  for (int b = 0; b < tracks; ++b) {
    for (int f = 0; f < frames; ++f) {
      Matrix4 m;
      for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
      m.m[3][0] = static_cast<float>(b);
      m.m[3][1] = static_cast<float>(f);
      anim[static_cast<size_t>(b)].push_back(m);
    }
  }
  return anim;
}

}  // namespace tolvani::builder
