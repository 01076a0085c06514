// Records: round trips, version rules, the image layout, refusals of
// malformed data and bounded allocation.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "model/archive.h"
#include "model/model_records.h"
#include "model/motion.h"
#include "model/timeline.h"
#include "model_test_models.h"
#include "render/null_device.h"
#include "support/test_helpers.h"

// The replacements below pair malloc with free; GCC cannot see that the
// pairing is consistent across the replaced operators.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Largest single allocation while tracking is on: shows that absurd counts
// are refused before anything is sized from them.
static std::atomic<bool> g_track{false};
static std::atomic<size_t> g_largest{0};

void* operator new(size_t n) {
  if (g_track && n > g_largest) g_largest = n;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace tolvani {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ExpectSameModel;
using testing::FullModel;

template <typename F>
ArchiveCause CauseOf(F&& f) {
  try {
    f();
  } catch (const ArchiveError& e) {
    return e.cause();
  }
  return ArchiveCause::none;
}

// The stored size of FullModel's last two faces, in file version 1.1: the
// line (material, count, two indices, no uvs) and the quad before it.
constexpr size_t kLineFaceBytes = 4 + 4 + 8 + 4;
constexpr size_t kQuadFaceBytes = 4 + 4 + 16 + 4 + 24;

Bytes FullModelBytes() {
  Bytes out;
  CArchive w(out);
  FullModel().Serialize(w, 1.1f);
  return out;
}

TEST(ModelRecords, ModelRoundTripKeepsEveryStoredField) {
  CModel m = FullModel();
  Bytes out;
  CArchive w(out);
  m.Serialize(w, 1.1f);
  CModel r;
  r.visible = false;  // run-time fields are left alone by a read
  r.currentAnimation = 5;
  CArchive ar(out.data(), out.size());
  r.Serialize(ar, 1.1f);
  EXPECT_EQ(ar.Remaining(), 0u);
  ExpectSameModel(m, r);
  EXPECT_FALSE(r.visible);
  EXPECT_EQ(r.currentAnimation, 5);
  EXPECT_EQ(r.faces.CornerCount(1), 4u);
  EXPECT_EQ(r.faces.UVs(2).size(), 0u);
}

TEST(ModelRecords, EmptyModelStillStoresEveryField) {
  CModel m;
  m.name = u"e";
  Bytes out;
  CArchive w(out);
  m.Serialize(w, 1.1f);
  // name(4+2) V F aux smoothing, names, bones, anims, collision, sets, base, parents, weights.
  EXPECT_EQ(out.size(), 6u + 16u + 4u + 4u + 4u + 4u + 4u + 4u + 4u + 4u);
  CModel r;
  CArchive ar(out.data(), out.size());
  r.Serialize(ar, 1.1f);
  EXPECT_TRUE(r.faces.empty());
  EXPECT_EQ(r.collisionMaterial, -1);
}

TEST(ModelRecords, OldFilesGetDefaultBoneBlend) {
  // Version 0.9 stores no parents or weights; they follow the bone count.
  CModel m;
  m.vertices.assign(5, Vec3{1, 2, 3});
  m.bones = {4, 3, 2, 1, 0};
  m.animations = {testing::MakeAnimation(3, 2)};
  m.animationNames = {u"a"};
  m.parents = {9, 9, 9, 9, 9};  // not written below 0.91
  m.weights = {3, 3, 3, 3, 3};
  Bytes old;
  CArchive w(old);
  m.Serialize(w, 0.9f);
  Bytes current;
  CArchive w2(current);
  m.Serialize(w2, 0.91f);
  EXPECT_EQ(current.size(), old.size() + 8 + 40);

  CModel r;
  CArchive ar(old.data(), old.size());
  r.Serialize(ar, 0.9f);
  EXPECT_EQ(ar.Remaining(), 0u);
  EXPECT_EQ(r.parents, std::vector<int32_t>(5, -1));
  EXPECT_EQ(r.weights, std::vector<float>(5, 1.0f));

  CModel r2;
  CArchive ar2(current.data(), current.size());
  r2.Serialize(ar2, 0.91f);
  EXPECT_EQ(r2.parents, m.parents);
  EXPECT_EQ(r2.weights, m.weights);
}

TEST(ModelRecords, FacesReadPartlyLeaveAConsistentTable) {
  const Bytes out = FullModelBytes();
  // Cut inside the second face's uvs: face 0 complete, faces 1 and 2 empty.
  const size_t lineFace = kLineFaceBytes;
  const size_t quadFace = kQuadFaceBytes;
  const size_t cut = out.size() - lineFace - 10;
  ASSERT_GT(cut, out.size() - lineFace - quadFace);
  CModel r;
  CArchive ar(out.data(), cut);
  EXPECT_EQ(CauseOf([&] { r.Serialize(ar, 1.1f); }), ArchiveCause::endOfFile);
  const FaceTable& t = r.faces;
  ASSERT_EQ(t.size(), 3u);
  ASSERT_EQ(t.indexStart.size(), 4u);
  ASSERT_EQ(t.uvStart.size(), 4u);
  EXPECT_EQ(t.Indices(0).size(), 3u);
  EXPECT_EQ(t.Indices(1).size(), 0u);
  EXPECT_EQ(t.Indices(2).size(), 0u);
  EXPECT_EQ(t.UVs(1).size(), 0u);
  EXPECT_EQ(t.indexStart.back(), t.indices.size());
  EXPECT_EQ(t.uvStart.back(), t.uvs.size());
  EXPECT_EQ(t.material[2], 0);

  // Every cut of the model fails with endOfFile and leaves the table usable.
  for (size_t c = 0; c < out.size(); ++c) {
    CModel rc;
    CArchive arc(out.data(), c);
    ASSERT_EQ(CauseOf([&] { rc.Serialize(arc, 1.1f); }), ArchiveCause::endOfFile) << c;
    const FaceTable& ft = rc.faces;
    if (ft.empty()) continue;
    ASSERT_EQ(ft.indexStart.size(), ft.size() + 1) << c;
    for (size_t f = 0; f < ft.size(); ++f) {
      ASSERT_LE(ft.indexStart[f], ft.indexStart[f + 1]) << c;
      ASSERT_LE(ft.uvStart[f], ft.uvStart[f + 1]) << c;
    }
    ASSERT_EQ(ft.indexStart.back(), ft.indices.size()) << c;
    ASSERT_EQ(ft.uvStart.back(), ft.uvs.size()) << c;
  }
}

// Many faces of varying size (0 to 9 corners, fewer or more uvs), so faces
// straddle the read buffer's refills at every offset; read back from memory
// and from a file, the table equals the one written.
TEST(ModelRecords, ManyFacesAcrossBufferRefillsReadBackExactly) {
  CModel m = FullModel();
  m.faces.Clear();
  CFace face;
  for (int f = 0; f < 40000; ++f) {  // about 2 MB: dozens of refills
    face.material = f * 7 - 100;
    face.indices.assign(static_cast<size_t>(f % 10), 0);
    for (size_t k = 0; k < face.indices.size(); ++k)
      face.indices[k] = static_cast<int32_t>(f * 13 + k);
    face.uvs.assign(static_cast<size_t>((f * 5) % 7), CUV{});
    for (size_t k = 0; k < face.uvs.size(); ++k)
      face.uvs[k] = CUV{static_cast<float>(f) + 0.25f, -static_cast<float>(k)};
    m.faces.Append(face);
  }
  Bytes out;
  CArchive w(out);
  m.Serialize(w, 1.1f);
  auto check = [&](const CModel& r) {
    ASSERT_EQ(r.faces.size(), m.faces.size());
    EXPECT_EQ(r.faces.material, m.faces.material);
    EXPECT_EQ(r.faces.indexStart, m.faces.indexStart);
    EXPECT_EQ(r.faces.indices, m.faces.indices);
    EXPECT_EQ(r.faces.uvStart, m.faces.uvStart);
    ASSERT_EQ(r.faces.uvs.size(), m.faces.uvs.size());
    EXPECT_EQ(
        0, std::memcmp(r.faces.uvs.data(), m.faces.uvs.data(), m.faces.uvs.size() * sizeof(CUV)));
  };
  {
    CModel r;
    CArchive ar(out.data(), out.size());
    r.Serialize(ar, 1.1f);
    check(r);
  }
  const std::string path = testing::MakeTempDir() + "faces.zvmov";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
  }
  {
    InputFile file(testing::U16(path));
    CArchive ar(file);
    CModel r;
    r.Serialize(ar, 1.1f);
    check(r);
  }
  std::remove(path.c_str());
}

// A negative index or uv count inside a face that is wholly buffered still
// ends the load with endOfFile, leaving earlier faces intact.
TEST(ModelRecords, NegativeFaceCountsInBufferedFacesFail) {
  Bytes out = FullModelBytes();
  const size_t lineFace = kLineFaceBytes;
  const size_t quadFace = kQuadFaceBytes;
  // The quad (second face) starts lineFace + quadFace bytes before the end.
  const size_t quad = out.size() - lineFace - quadFace;
  for (size_t field : {size_t{4}, size_t{4 + 4 + 16}}) {
    Bytes bad = out;
    const int32_t minus = -1;
    std::memcpy(bad.data() + quad + field, &minus, 4);
    CModel r;
    CArchive ar(bad.data(), bad.size());
    EXPECT_EQ(CauseOf([&] { r.Serialize(ar, 1.1f); }), ArchiveCause::endOfFile) << field;
    ASSERT_EQ(r.faces.size(), 3u);
    EXPECT_EQ(r.faces.Indices(0).size(), 3u);
    EXPECT_EQ(r.faces.Indices(1).size(), 0u);
    EXPECT_EQ(r.faces.indexStart.back(), r.faces.indices.size());
    EXPECT_EQ(r.faces.uvStart.back(), r.faces.uvs.size());
  }
}

TEST(ModelRecords, AbsurdCountsFailWithoutAllocating) {
  auto tryRead = [](const Bytes& bytes) {
    CModel r;
    CArchive ar(bytes.data(), bytes.size());
    g_largest = 0;
    g_track = true;
    const ArchiveCause cause = CauseOf([&] { r.Serialize(ar, 1.1f); });
    g_track = false;
    EXPECT_LT(g_largest.load(), size_t{4096});
    return cause;
  };
  // 100 bytes announcing 2^31 - 1 vertices.
  Bytes b;
  {
    CArchive w(b);
    w.WriteString(u"m");
    w.WriteInt32(0x7FFFFFFF);
    w.WriteInt32(0);
  }
  b.resize(100);
  EXPECT_EQ(tryRead(b), ArchiveCause::endOfFile);

  // Then faces, names, animations, tracks and negative counts.
  auto header = [](int32_t v, int32_t f) {
    Bytes h;
    CArchive w(h);
    w.WriteString(u"m");
    w.WriteInt32(v);
    w.WriteInt32(f);
    w.WriteInt32(0);
    w.WriteFloat(0);
    return h;
  };
  Bytes faces = header(0, 0x7FFFFFFF);
  faces.resize(100);
  EXPECT_EQ(tryRead(faces), ArchiveCause::endOfFile);
  EXPECT_EQ(tryRead(header(-1, 0)), ArchiveCause::endOfFile);
  EXPECT_EQ(tryRead(header(0, -5)), ArchiveCause::endOfFile);
  for (int32_t count : {0x7FFFFFFF, 0x10000000, -1}) {
    Bytes names = header(0, 0);
    CArchive w(names);
    w.WriteInt32(count);
    names.resize(100);
    EXPECT_EQ(tryRead(names), ArchiveCause::endOfFile) << count;
    Bytes tracks = header(0, 0);
    CArchive w2(tracks);
    w2.WriteInt32(0);      // names
    w2.WriteInt32(0);      // bones
    w2.WriteInt32(1);      // one animation
    w2.WriteInt32(1);      // one track
    w2.WriteInt32(count);  // matrices
    tracks.resize(100);
    EXPECT_EQ(tryRead(tracks), ArchiveCause::endOfFile) << count;
  }
}

TEST(MaterialRecords, RoundTripWithAndWithoutImage) {
  for (int channels : {3, 4}) {
    testing::ProjectBuilder b;
    CMaterial& m = b.AddTexturedMaterial(u"tex", u"wood.bmp", 67, 130, channels);
    m.auxName1 = u"a1";
    m.auxName2 = u"a2";
    m.specular = 0.25f;
    m.power = 8.0f;
    Bytes out;
    CArchive w(out);
    m.Serialize(w);
    CMaterial r;
    CArchive ar(out.data(), out.size());
    r.Serialize(ar);
    EXPECT_EQ(ar.Remaining(), 0u);
    EXPECT_EQ(r.name, u"tex");
    EXPECT_EQ(r.textureName, u"wood.bmp");
    EXPECT_EQ(r.auxName1, u"a1");
    EXPECT_EQ(r.auxName2, u"a2");
    EXPECT_EQ(r.specular, 0.25f);
    EXPECT_EQ(r.power, 8.0f);
    EXPECT_EQ(r.color[3], 1.0f);
    ASSERT_EQ(r.image.rows(), 130);
    ASSERT_EQ(r.image.cols(), 67);
    ASSERT_EQ(r.image.channels(), channels);
    ASSERT_EQ(r.image.step(), size_t{67} * channels);
    for (int y = 0; y < 130; ++y)
      for (int x = 0; x < 67; ++x)
        for (int k = 0; k < channels; ++k)
          ASSERT_EQ(r.image.row(y)[x * channels + k], testing::TestSample(x, y, k));
    // Stored column by column: the second stored pixel is (x 0, y 1).
    const size_t imageStart = out.size() - size_t{67} * 130 * channels;
    EXPECT_EQ(out[imageStart + channels], testing::TestSample(0, 1, 0));
  }

  // No texture name: nothing follows the three names.
  CMaterial plain;
  plain.name = u"plain";
  plain.image = PixelMatrix(2, 2, 3);  // ignored when untextured
  Bytes out;
  CArchive w(out);
  plain.Serialize(w);
  w.WriteInt32(0x12345678);
  CMaterial r;
  CArchive ar(out.data(), out.size());
  r.Serialize(ar);
  EXPECT_EQ(ar.ReadInt32(), 0x12345678);
  EXPECT_TRUE(r.image.empty());
}

Bytes MaterialWithImage(int32_t w, int32_t h, int32_t n, size_t sampleBytes) {
  Bytes out;
  CArchive ar(out);
  ar.WriteString(u"m");
  for (int i = 0; i < 9; ++i) ar.WriteFloat(0);
  ar.WriteString(u"t.png");
  ar.WriteString(u"");
  ar.WriteString(u"");
  ar.WriteInt32(w);
  ar.WriteInt32(h);
  ar.WriteInt32(n);
  for (size_t i = 0; i < sampleBytes; ++i) ar.WriteByte(static_cast<uint8_t>(i));
  return out;
}

// Large images, with sizes that leave
// partial blocks, stripes and chunks: every sample lands where the stored
// column order puts it. Short samples fail with endOfFile.
TEST(MaterialRecords, LargeImagesTransposeExactly) {
  for (int n : {3, 4}) {
    for (auto [w, h] : {std::pair{1031, 517}, std::pair{67, 4099}, std::pair{600, 601}}) {
      const size_t bytes = static_cast<size_t>(w) * h * n;
      Bytes in = MaterialWithImage(w, h, n, 0);
      const size_t header = in.size();
      in.resize(header + bytes);
      for (size_t i = 0; i < bytes; ++i)
        in[header + i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
      CMaterial r;
      CArchive ar(in.data(), in.size());
      r.Serialize(ar);
      ASSERT_EQ(r.image.cols(), w);
      ASSERT_EQ(r.image.rows(), h);
      ASSERT_EQ(r.image.channels(), n);
      size_t wrong = 0;
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
          for (int c = 0; c < n; ++c) {
            const size_t stored = header + (static_cast<size_t>(x) * h + y) * n + c;
            wrong += r.image.row(y)[x * n + c] != in[stored];
          }
      EXPECT_EQ(wrong, 0u) << w << " x " << h << " x " << n;

      CMaterial cut;
      CArchive arc(in.data(), in.size() - bytes / 3);
      EXPECT_EQ(CauseOf([&] { cut.Serialize(arc); }), ArchiveCause::endOfFile);
    }
  }
}

// Images of a pixel or two are held inside their matrix; either side of
// that bound every sample lands where the stored column order puts it, and
// copies and moves keep them.
TEST(MaterialRecords, TinyImagesAroundTheInlineBoundReadExactly) {
  for (auto [w, h, n] :
       {std::tuple{1, 1, 3}, std::tuple{1, 1, 4}, std::tuple{2, 1, 3}, std::tuple{2, 1, 4},
        std::tuple{1, 2, 4}, std::tuple{3, 1, 3}, std::tuple{1, 3, 3}, std::tuple{3, 3, 4}}) {
    const size_t bytes = static_cast<size_t>(w) * h * n;
    const Bytes in = MaterialWithImage(w, h, n, bytes);
    const size_t header = in.size() - bytes;
    CMaterial r;
    CArchive ar(in.data(), in.size());
    r.Serialize(ar);
    ASSERT_EQ(r.image.byteSize(), bytes);
    EXPECT_EQ(r.image.isInline(), bytes <= PixelMatrix::kInlineBytes) << w << h << n;
    PixelMatrix copy = r.image;
    PixelMatrix assigned(5, 5, 3);  // a heap image replaced by the copy
    assigned = copy;
    r.image.Fill({0xEE, 0xEE, 0xEE, 0xEE});  // the copies keep their own samples
    const PixelMatrix moved = std::move(copy);
    EXPECT_TRUE(copy.empty());
    for (const PixelMatrix* m : {&moved, static_cast<const PixelMatrix*>(&assigned)}) {
      size_t wrong = 0;
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
          for (int c = 0; c < n; ++c)
            wrong += m->row(y)[x * n + c] != in[header + (static_cast<size_t>(x) * h + y) * n + c];
      EXPECT_EQ(wrong, 0u) << w << " x " << h << " x " << n;
    }
    CMaterial cut;
    CArchive arc(in.data(), in.size() - 1);
    EXPECT_EQ(CauseOf([&] { cut.Serialize(arc); }), ArchiveCause::endOfFile);
  }
}

TEST(MaterialRecords, ImageLayoutAndRefusals) {
  // 2 x 2, 3 channels: stored (0,0), (0,1), (1,0), (1,1).
  const Bytes two = MaterialWithImage(2, 2, 3, 12);
  CMaterial m;
  CArchive ar(two.data(), two.size());
  m.Serialize(ar);
  ASSERT_EQ(m.image.channels(), 3);
  const uint8_t* row0 = m.image.row(0);
  const uint8_t* row1 = m.image.row(1);
  EXPECT_EQ(Bytes(row0, row0 + 6), (Bytes{0, 1, 2, 6, 7, 8}));
  EXPECT_EQ(Bytes(row1, row1 + 6), (Bytes{3, 4, 5, 9, 10, 11}));

  // A zero-sized image reads nothing more.
  const Bytes empty = MaterialWithImage(0, 5, 4, 0);
  CMaterial e;
  CArchive are(empty.data(), empty.size());
  e.Serialize(are);
  EXPECT_EQ(e.image.byteSize(), 0u);

  for (auto [w, h, n] : {std::tuple{2, 2, 2}, std::tuple{2, 2, 5}, std::tuple{2, 2, 0},
                         std::tuple{2, 2, 1}, std::tuple{-1, 2, 3}, std::tuple{2, -1, 4}}) {
    const Bytes bad = MaterialWithImage(w, h, n, 64);
    CMaterial r;
    CArchive arb(bad.data(), bad.size());
    EXPECT_EQ(CauseOf([&] { r.Serialize(arb); }), ArchiveCause::badClass) << w << h << n;
  }
  // A huge image in a small file: endOfFile before the matrix is made.
  const Bytes huge = MaterialWithImage(0x7FFF, 0x7FFF, 4, 10);
  CMaterial r;
  CArchive arh(huge.data(), huge.size());
  g_largest = 0;
  g_track = true;
  EXPECT_EQ(CauseOf([&] { r.Serialize(arh); }), ArchiveCause::endOfFile);
  g_track = false;
  EXPECT_LT(g_largest.load(), size_t{4096});
  EXPECT_TRUE(r.image.empty());
}

TEST(FaceRecords, FaceAndUvRoundTrip) {
  CFace f;
  f.material = 3;
  f.indices = {5, 6, 7, 8};
  f.uvs = {{0.5f, 0.25f}};
  Bytes out;
  CArchive w(out);
  f.Serialize(w);
  EXPECT_EQ(out.size(), 4u + 4u + 16u + 4u + 8u);
  CFace r;
  r.uvs = {{9, 9}, {9, 9}};  // replaced
  CArchive ar(out.data(), out.size());
  r.Serialize(ar);
  EXPECT_EQ(r.material, 3);
  EXPECT_EQ(r.indices, f.indices);
  ASSERT_EQ(r.uvs.size(), 1u);
  EXPECT_EQ(r.uvs[0].u, 0.5f);
  EXPECT_EQ(r.uvs[0].v, 0.25f);

  FaceTable t;
  t.Append(f);
  t.Append(CFace{});
  EXPECT_EQ(t.size(), 2u);
  EXPECT_EQ(t.Get(0).indices, f.indices);
  EXPECT_TRUE(t.Get(1).indices.empty());
}

TEST(ModelAnimation, FrameCounterLoops) {
  CModel m;
  m.animations = {testing::MakeAnimation(2, 10), Animation{}, testing::MakeAnimation(1, 0)};
  EXPECT_EQ(m.FrameCount(0), 10);
  EXPECT_EQ(m.FrameCount(1), 0);
  EXPECT_EQ(m.FrameCount(2), 0);
  EXPECT_EQ(m.FrameCount(3), 0);
  EXPECT_EQ(m.FrameCount(-1), 0);

  m.animationFrame = 7;
  m.AdvanceAnimationFrame();  // no animation playing
  EXPECT_EQ(m.animationFrame, 7);

  m.currentAnimation = 0;
  m.animationFrame = 0;
  std::vector<int32_t> seen;
  for (int i = 0; i < 11; ++i) {
    m.AdvanceAnimationFrame();
    seen.push_back(m.animationFrame);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}));

  m.animationFrame = INT32_MAX;  // wraps to the last frame
  m.AdvanceAnimationFrame();
  EXPECT_EQ(m.animationFrame, 9);

  m.currentAnimation = 1;  // no tracks: untouched
  m.animationFrame = 4;
  m.AdvanceAnimationFrame();
  EXPECT_EQ(m.animationFrame, 4);

  m.currentAnimation = 2;  // a first track without matrices stays at 0
  m.AdvanceAnimationFrame();
  EXPECT_EQ(m.animationFrame, 0);
  m.AdvanceAnimationFrame();
  EXPECT_EQ(m.animationFrame, 0);

  m.currentAnimation = 3;  // out of range
  m.animationFrame = 2;
  m.AdvanceAnimationFrame();
  EXPECT_EQ(m.animationFrame, 2);
}

TEST(ModelRecords, ReleaseDeviceResourcesReleasesGroupBuffers) {
  NullGraphicsDevice device;
  CModel m = FullModel();
  const float data[11] = {};
  for (int i = 0; i < 2; ++i) {
    MeshGroup g;
    ASSERT_FALSE(gfx::Failed(device.CreateVertexBuffer(data, sizeof(data), &g.vertexBuffer)));
    m.groups.push_back(g);
  }
  m.groups.push_back(MeshGroup{});  // an empty group has no buffer
  ASSERT_EQ(device.LiveObjectCount(), 2u);
  m.ReleaseDeviceResources(&device);
  EXPECT_EQ(device.LiveObjectCount(), 0u);
  EXPECT_EQ(device.BadReleaseCount(), 0u);
  EXPECT_TRUE(m.groups.empty());
  EXPECT_TRUE(m.faces.empty());
  EXPECT_TRUE(m.vertices.empty());
}

}  // namespace
}  // namespace tolvani
