// Geometry and material records: reading and writing, the flat face table,
// the animation counter.
#include "model/model_records.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

#include "base/memory_policy.h"
#include "base/simd_level.h"
#include "model/archive.h"
#include "model/image_transpose.h"

namespace tolvani {

static_assert(sizeof(Vec3) == 12 && std::is_trivially_copyable_v<Vec3>);
static_assert(sizeof(CUV) == 8 && std::is_trivially_copyable_v<CUV>);
static_assert(sizeof(Matrix4) == 64 && std::is_trivially_copyable_v<Matrix4>);

namespace {

// Smallest stream sizes, used to bound counts before anything is allocated.
constexpr size_t kMinStringBytes = 1;  // an empty 8-bit string
constexpr size_t kMinFaceBytes = 12;   // material, index count, uv count
constexpr size_t kMinCountBytes = 4;   // a nested count
constexpr size_t kMatrixBytes = 64;    // 16 float32

// Reads count elements of a trivially copyable type straight into a vector.
template <typename Vector>
void ReadArray(CArchive& ar, Vector& v, size_t minBytes = sizeof(typename Vector::value_type)) {
  const int32_t n = ar.ReadCount(minBytes);
  v.clear();
  v.resize(static_cast<size_t>(n));
  ar.ReadBytes(v.data(), v.size() * sizeof(typename Vector::value_type));
}

template <typename Vector>
void WriteArray(CArchive& ar, const Vector& v) {
  ar.WriteInt32(static_cast<int32_t>(v.size()));
  ar.WriteBytes(v.data(), v.size() * sizeof(typename Vector::value_type));
}

// Image samples from the matrix's row order (y outer) into the stored column
// order (x outer), in stripes of kStripe columns: each row of a stripe is
// read once and scattered to kStripe column streams that stay in cache.
constexpr int kStripe = 32;

template <int N>
void RowsToColumns(const uint8_t* src, size_t srcStride, int rows, int cols, uint8_t* dst) {
  const size_t column = static_cast<size_t>(rows) * N;
  for (int x0 = 0; x0 < cols; x0 += kStripe) {
    const int width = std::min(kStripe, cols - x0);
    uint8_t* stripe = dst + static_cast<size_t>(x0) * column;
    for (int y = 0; y < rows; ++y) {
      const uint8_t* s = src + static_cast<size_t>(y) * srcStride + static_cast<size_t>(x0) * N;
      uint8_t* d = stripe + static_cast<size_t>(y) * N;
      for (int x = 0; x < width; ++x, s += N, d += column) std::memcpy(d, s, N);
    }
  }
}

// Columns per chunk so that one chunk (transposed, then written) stays in
// the level-2 cache.
int ChunkColumns(int width, int height, int n) {
  const size_t column = static_cast<size_t>(height) * n;
  if (column == 0) return std::max(width, 1);
  const size_t target = size_t{256} << 10;
  return static_cast<int>(std::clamp<size_t>(target / column, 1, static_cast<size_t>(width)));
}

void ReadImage(CArchive& ar, PixelMatrix& image) {
  const int32_t width = ar.ReadInt32();
  const int32_t height = ar.ReadInt32();
  const int32_t n = ar.ReadInt32();
  if (width < 0 || height < 0 || (n != 3 && n != 4)) throw ArchiveError(ArchiveCause::badClass);
  ar.RequireRemaining(static_cast<uint64_t>(width) * static_cast<uint64_t>(height),
                      static_cast<uint64_t>(n));
  image = PixelMatrix(height, width, n);
  if (width == 0 || height == 0) return;
  if (image.isInline()) {
    // A pixel or two: read straight into the matrix, no transposition buffer.
    uint8_t columns[PixelMatrix::kInlineBytes];
    ar.ReadBytes(columns, image.byteSize());
    const size_t px = static_cast<size_t>(n);
    for (int x = 0; x < width; ++x)
      for (int y = 0; y < height; ++y)
        std::memcpy(image.row(y) + static_cast<size_t>(x) * px,
                    columns + (static_cast<size_t>(x) * height + y) * px, px);
    return;
  }
  AdviseHugePages(LoadBuffer::Image, image.data(), image.byteSize());
  const size_t stride = image.step();
  const int chunk = TransposeChunkColumns(width, height, n);
  const size_t column = static_cast<size_t>(height) * n;
  const size_t pitch = TransposeColumnPitch(height, n);
  const SimdLevel level = DefaultSimdLevel();

  // One chunk of columns at a time, each column on a 64-byte boundary and
  // `pitch` bytes from the last; on one thread (helpers taking part of each
  // chunk, or half of each image, lost whenever the other core was busy).
  const std::unique_ptr<uint8_t[]> storage(new uint8_t[static_cast<size_t>(chunk) * pitch + 64]);
  uint8_t* block = storage.get() + (64 - reinterpret_cast<uintptr_t>(storage.get()) % 64) % 64;
  for (int x0 = 0; x0 < width; x0 += chunk) {
    const int cols = std::min(chunk, width - x0);
    ar.ReadBlocks(block, static_cast<size_t>(cols), column, pitch);
    ColumnsToRows(block, pitch, 0, height, cols, n, image.data() + static_cast<size_t>(x0) * n,
                  stride, level);
  }
}

void WriteImage(CArchive& ar, const PixelMatrix& image) {
  const int width = image.cols();
  const int height = image.rows();
  // A matrix without pixels may have no channel count; 3 keeps the record
  // readable (the reader takes only 3 or 4).
  const int n = image.channels() == 4 ? 4 : 3;
  ar.WriteInt32(width);
  ar.WriteInt32(height);
  ar.WriteInt32(n);
  if (width <= 0 || height <= 0 || image.empty()) return;
  const int chunk = ChunkColumns(width, height, n);
  std::vector<uint8_t> block(static_cast<size_t>(chunk) * height * n);
  const size_t stride = image.step();
  for (int x0 = 0; x0 < width; x0 += chunk) {
    const int cols = std::min(chunk, width - x0);
    const uint8_t* s = image.data() + static_cast<size_t>(x0) * n;
    if (n == 4) {
      RowsToColumns<4>(s, stride, height, cols, block.data());
    } else {
      RowsToColumns<3>(s, stride, height, cols, block.data());
    }
    ar.WriteBytes(block.data(), static_cast<size_t>(cols) * height * n);
  }
}

}  // namespace

// ---------------------------------------------------------------------------

void CUV::Serialize(CArchive& ar) {
  if (ar.IsLoading()) {
    u = ar.ReadFloat();
    v = ar.ReadFloat();
  } else {
    ar.WriteFloat(u);
    ar.WriteFloat(v);
  }
}

void CFace::Serialize(CArchive& ar) {
  if (ar.IsLoading()) {
    material = ar.ReadInt32();
    ReadArray(ar, indices);
    uvs.clear();
    ReadArray(ar, uvs);
  } else {
    ar.WriteInt32(material);
    WriteArray(ar, indices);
    WriteArray(ar, uvs);
  }
}

void FaceTable::Clear() {
  material.clear();
  indexStart.clear();
  indices.clear();
  uvStart.clear();
  uvs.clear();
  normal.clear();
  cornerNormal.clear();
}

void FaceTable::Append(const CFace& face) {
  if (indexStart.empty()) indexStart.push_back(0);
  if (uvStart.empty()) uvStart.push_back(0);
  material.push_back(face.material);
  indices.insert(indices.end(), face.indices.begin(), face.indices.end());
  uvs.insert(uvs.end(), face.uvs.begin(), face.uvs.end());
  indexStart.push_back(static_cast<uint32_t>(indices.size()));
  uvStart.push_back(static_cast<uint32_t>(uvs.size()));
}

CFace FaceTable::Get(size_t f) const {
  CFace face;
  face.material = material[f];
  const auto idx = Indices(f);
  face.indices.assign(idx.begin(), idx.end());
  const auto uv = UVs(f);
  face.uvs.assign(uv.begin(), uv.end());
  if (f < normal.size()) face.normal = normal[f];
  if (cornerNormal.size() >= indexStart[f + 1]) {
    face.cornerNormals.assign(cornerNormal.begin() + indexStart[f],
                              cornerNormal.begin() + indexStart[f + 1]);
  }
  return face;
}

void CMaterial::Serialize(CArchive& ar) {
  if (ar.IsLoading()) {
    name = ar.ReadString();
    for (float& c : color) c = ar.ReadFloat();
    diffuse = ar.ReadFloat();
    ambient = ar.ReadFloat();
    emissive = ar.ReadFloat();
    specular = ar.ReadFloat();
    power = ar.ReadFloat();
    textureName = ar.ReadString();
    auxName1 = ar.ReadString();
    auxName2 = ar.ReadString();
    if (!textureName.empty()) ReadImage(ar, image);
  } else {
    ar.WriteString(name);
    for (float c : color) ar.WriteFloat(c);
    ar.WriteFloat(diffuse);
    ar.WriteFloat(ambient);
    ar.WriteFloat(emissive);
    ar.WriteFloat(specular);
    ar.WriteFloat(power);
    ar.WriteString(textureName);
    ar.WriteString(auxName1);
    ar.WriteString(auxName2);
    if (!textureName.empty()) WriteImage(ar, image);
  }
}

namespace {

// Faces from f on straight from the archive's buffer, as many as are wholly
// there: one bounds check per face instead of a call per field. Returns the
// first face not read; the caller reads that one field by field (a face that
// straddles a refill, or carries a negative count, which then raises the
// ordinary errors). A face that fits in the buffer passes every check of the
// field-by-field path (its counts are covered by buffered bytes).
size_t ReadBufferedFaces(CArchive& ar, FaceTable& faces, size_t f, size_t count) {
  const size_t have = ar.Buffered();
  const uint8_t* const begin = ar.PeekBuffered(have);
  if (!begin || have == 0) return f;
  const uint8_t* const end = begin + have;
  const uint8_t* p = begin;
  int32_t* const material = faces.material.data();
  uint32_t* const indexStart = faces.indexStart.data();
  uint32_t* const uvStart = faces.uvStart.data();
  std::vector<int32_t>& indices = faces.indices;
  std::vector<CUV>& uvs = faces.uvs;
  for (; f < count; ++f) {
    if (end - p < 12) break;
    int32_t m, ni, nu;
    std::memcpy(&m, p, 4);
    std::memcpy(&ni, p + 4, 4);
    if (ni < 0 || static_cast<size_t>(end - p - 12) / sizeof(int32_t) < static_cast<size_t>(ni))
      break;
    const uint8_t* const uvCount = p + 8 + static_cast<size_t>(ni) * sizeof(int32_t);
    std::memcpy(&nu, uvCount, 4);
    if (nu < 0 || static_cast<size_t>(end - uvCount - 4) / sizeof(CUV) < static_cast<size_t>(nu))
      break;
    material[f] = m;
    // Element by element: inline appends into the reserved room, no zero fill.
    for (const uint8_t* q = p + 8; q != uvCount; q += sizeof(int32_t)) {
      int32_t index;
      std::memcpy(&index, q, sizeof index);
      indices.push_back(index);
    }
    p = uvCount + 4;
    for (const uint8_t* e = p + static_cast<size_t>(nu) * sizeof(CUV); p != e; p += sizeof(CUV)) {
      CUV uv;
      std::memcpy(&uv, p, sizeof uv);
      uvs.push_back(uv);
    }
    indexStart[f + 1] = static_cast<uint32_t>(indices.size());
    uvStart[f + 1] = static_cast<uint32_t>(uvs.size());
  }
  ar.SkipBuffered(static_cast<size_t>(p - begin));
  return f;
}

// Reads F faces into the flat table. On failure the table stays consistent:
// the face being read and every later one are left empty.
void ReadFaces(CArchive& ar, FaceTable& faces, size_t count) {
  size_t f = 0;
  try {
    for (; f < count; ++f) {
      f = ReadBufferedFaces(ar, faces, f, count);
      if (f == count) break;
      faces.material[f] = ar.ReadInt32();
      const int32_t ni = ar.ReadCount(sizeof(int32_t));
      const size_t i0 = faces.indices.size();
      faces.indices.resize(i0 + static_cast<size_t>(ni));
      ar.ReadBytes(faces.indices.data() + i0, static_cast<size_t>(ni) * sizeof(int32_t));
      const int32_t nu = ar.ReadCount(sizeof(CUV));
      const size_t u0 = faces.uvs.size();
      faces.uvs.resize(u0 + static_cast<size_t>(nu));
      ar.ReadBytes(faces.uvs.data() + u0, static_cast<size_t>(nu) * sizeof(CUV));
      faces.indexStart[f + 1] = static_cast<uint32_t>(faces.indices.size());
      faces.uvStart[f + 1] = static_cast<uint32_t>(faces.uvs.size());
    }
  } catch (...) {
    faces.indices.resize(faces.indexStart[f]);
    faces.uvs.resize(faces.uvStart[f]);
    for (size_t g = f + 1; g <= count; ++g) {
      faces.indexStart[g] = faces.indexStart[f];
      faces.uvStart[g] = faces.uvStart[f];
    }
    throw;
  }
}

}  // namespace

void CModel::Serialize(CArchive& ar, float fileVersion) {
  const bool hasBoneBlend = fileVersion >= 0.91f;
  BackgroundPrefault prefault;
  if (ar.IsLoading()) {
    name = ar.ReadString();
    const int32_t v = ar.ReadInt32();
    if (v < 0) throw ArchiveError(ArchiveCause::endOfFile);
    const int32_t f = ar.ReadInt32();
    if (f < 0) throw ArchiveError(ArchiveCause::endOfFile);
    // Both blocks follow later in the stream: bound them before allocating.
    ar.RequireRemaining(static_cast<uint64_t>(v), sizeof(Vec3));
    ar.RequireRemaining(static_cast<uint64_t>(f), kMinFaceBytes);
    vertices.clear();
    faces.Clear();
    {
      // Room for quadrilaterals, never beyond what the stream can hold;
      // triangles' worth is faulted in ahead.
      const uint64_t remaining = ar.Remaining();
      const size_t nf = static_cast<size_t>(f);
      const size_t corners = static_cast<size_t>(std::min<uint64_t>(nf * 4, remaining / 4));
      const size_t uvCorners = static_cast<size_t>(std::min<uint64_t>(nf * 4, remaining / 8));
      vertices.reserve(static_cast<size_t>(v));
      faces.material.reserve(nf);
      if (nf > 0) {  // a model without faces keeps no offsets at all
        faces.indexStart.reserve(nf + 1);
        faces.uvStart.reserve(nf + 1);
      }
      faces.indices.reserve(corners);
      faces.uvs.reserve(uvCorners);
      prefault.Add(vertices.data(), vertices.capacity() * sizeof(Vec3),
                   vertices.capacity() * sizeof(Vec3));
      prefault.Add(faces.material.data(), nf * 4, nf * 4);
      prefault.Add(faces.indexStart.data(), nf * 4, nf * 4);
      prefault.Add(faces.uvStart.data(), nf * 4, nf * 4);
      prefault.Add(faces.indices.data(), corners * 4, nf * 3 * 4);
      prefault.Add(faces.uvs.data(), uvCorners * sizeof(CUV), nf * 3 * sizeof(CUV));
      prefault.Start();
    }
    vertices.resize(static_cast<size_t>(v));
    faces.material.assign(static_cast<size_t>(f), 0);
    if (f > 0) {
      faces.indexStart.assign(static_cast<size_t>(f) + 1, 0);
      faces.uvStart.assign(static_cast<size_t>(f) + 1, 0);
    }
    auxValue = ar.ReadInt32();
    smoothingAngle = ar.ReadFloat();
    ar.ReadBytes(vertices.data(), vertices.size() * sizeof(Vec3));

    const int32_t nNames = ar.ReadCount(kMinStringBytes);
    animationNames.clear();
    animationNames.reserve(static_cast<size_t>(nNames));
    for (int32_t k = 0; k < nNames; ++k) animationNames.push_back(ar.ReadString());

    ReadArray(ar, bones);

    const int32_t nAnim = ar.ReadCount(kMinCountBytes);
    animations.clear();
    animations.resize(static_cast<size_t>(nAnim));
    for (Animation& anim : animations) {
      const int32_t nTracks = ar.ReadCount(kMinCountBytes);
      anim.resize(static_cast<size_t>(nTracks));
      for (auto& track : anim) ReadArray(ar, track, kMatrixBytes);
    }

    collisionMaterial = ar.ReadInt32();
    const int32_t nSets = ar.ReadCount(kMinCountBytes);
    materialSets.clear();
    materialSets.resize(static_cast<size_t>(nSets));
    for (auto& set : materialSets) ReadArray(ar, set);
    materialSetBase = ar.ReadInt32();

    if (hasBoneBlend) {
      ReadArray(ar, parents);
      ReadArray(ar, weights);
    } else {
      parents.assign(bones.size(), -1);
      weights.assign(bones.size(), 1.0f);
    }
    ReadFaces(ar, faces, static_cast<size_t>(f));
  } else {
    ar.WriteString(name.str());
    ar.WriteInt32(static_cast<int32_t>(vertices.size()));
    ar.WriteInt32(static_cast<int32_t>(faces.size()));
    ar.WriteInt32(auxValue);
    ar.WriteFloat(smoothingAngle);
    ar.WriteBytes(vertices.data(), vertices.size() * sizeof(Vec3));
    ar.WriteInt32(static_cast<int32_t>(animationNames.size()));
    for (std::u16string_view s : animationNames) ar.WriteString(std::u16string(s));
    WriteArray(ar, bones);
    ar.WriteInt32(static_cast<int32_t>(animations.size()));
    for (const Animation& anim : animations) {
      ar.WriteInt32(static_cast<int32_t>(anim.size()));
      for (const auto& track : anim) WriteArray(ar, track);
    }
    ar.WriteInt32(collisionMaterial);
    ar.WriteInt32(static_cast<int32_t>(materialSets.size()));
    for (const auto& set : materialSets) WriteArray(ar, set);
    ar.WriteInt32(materialSetBase);
    if (hasBoneBlend) {
      WriteArray(ar, parents);
      WriteArray(ar, weights);
    }
    for (size_t i = 0; i < faces.size(); ++i) {
      ar.WriteInt32(faces.material[i]);
      const auto idx = faces.Indices(i);
      ar.WriteInt32(static_cast<int32_t>(idx.size()));
      ar.WriteBytes(idx.data(), idx.size() * sizeof(int32_t));
      const auto uv = faces.UVs(i);
      ar.WriteInt32(static_cast<int32_t>(uv.size()));
      ar.WriteBytes(uv.data(), uv.size() * sizeof(CUV));
    }
  }
}

void CModel::ReleaseDeviceResources(gfx::IGraphicsDevice* device) {
  for (MeshGroup& group : groups) {
    if (device && group.vertexBuffer != gfx::kNone) device->Release(group.vertexBuffer);
    group.vertexBuffer = gfx::kNone;
  }
  groups.clear();
  vertices.clear();
  vertexFaceStart.clear();
  vertexFaces.clear();
  faces.Clear();
}

int32_t CModel::FrameCount(int32_t a) const {
  if (a < 0 || static_cast<size_t>(a) >= animations.size()) return 0;
  const Animation& anim = animations[static_cast<size_t>(a)];
  if (anim.empty()) return 0;
  return static_cast<int32_t>(anim.front().size());
}

void CModel::AdvanceAnimationFrame() {
  const int32_t a = currentAnimation;
  if (a < 0 || static_cast<size_t>(a) >= animations.size()) return;
  if (animations[static_cast<size_t>(a)].empty()) return;
  // Two's complement wrap as the counter's 32-bit increment would give.
  animationFrame = static_cast<int32_t>(static_cast<uint32_t>(animationFrame) + 1u);
  if (animationFrame < 0) {
    animationFrame = FrameCount(a) - 1;
  } else if (animationFrame >= FrameCount(a)) {
    animationFrame = 0;
  }
}

}  // namespace tolvani
