// The binary model format: reader (with the normals the file does not store)
// and writer. Every count and length is checked against the bytes that
// remain before anything is allocated for it, so a hostile file costs at most
// memory proportional to its own size.
#include <cmath>
#include <cstring>
#include <limits>

#include <glm/geometric.hpp>

#include "files/files.h"
#include "model/model.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the model reader copies little-endian arrays straight into memory"
#endif

namespace {

constexpr size_t kMagicSize = 8;
constexpr uint64_t kFaceSize = 56;
// The smallest record of each kind: every count is checked against these.
constexpr uint64_t kMinMaterialSize = 5 * 2 + 4 * 4 + 4 + 3 * 4;
constexpr uint64_t kMinObjectSize = 3 * 4 + 4 + 2 + 4 + 1 + 4 + 1 + 4;
constexpr uint64_t kMinPointSize = 4 + 3 * 4;
constexpr float kDegreesToRadians = 0.017453289f;

// A bounds-checked cursor over the file. Every read either succeeds whole or
// sets the reason (naming `where`) and leaves the cursor failed.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size, std::string& reason)
      : mPos(data), mEnd(data + size), mReason(reason) {}

  uint64_t remaining() const { return static_cast<uint64_t>(mEnd - mPos); }
  bool failed() const { return mFailed; }
  const char* where = "";

  bool bytes(void* out, uint64_t count) {
    if (mFailed) return false;
    if (count > remaining()) return fail(std::string("truncated in ") + where);
    if (count) std::memcpy(out, mPos, static_cast<size_t>(count));
    mPos += count;
    return true;
  }
  uint32_t u32() {
    uint32_t v = 0;
    bytes(&v, 4);
    return v;
  }
  int32_t i32() { return static_cast<int32_t>(u32()); }
  uint8_t u8() {
    uint8_t v = 0;
    bytes(&v, 1);
    return v;
  }
  float f32() {
    float v = 0.0f;
    bytes(&v, 4);
    return v;
  }
  float half() {
    uint16_t v = 0;
    bytes(&v, 2);
    return halfToFloat(v);
  }
  glm::vec3 vec3() {
    glm::vec3 v{0.0f};
    bytes(&v[0], 12);
    return v;
  }
  bool string(std::string& out, const char* what) {
    const uint32_t length = u32();
    if (mFailed) return false;
    if (length > remaining()) {
      return fail(std::string(where) + ": " + what + " length " + std::to_string(length) +
                  " exceeds the data");
    }
    out.assign(reinterpret_cast<const char*>(mPos), length);
    mPos += length;
    return true;
  }
  // Reads a count and checks that `count` records of at least `recordSize`
  // bytes each can still follow.
  uint32_t count(const char* what, uint64_t recordSize) {
    const uint32_t n = u32();
    if (!mFailed && n * recordSize > remaining()) {
      fail(std::string(where) + ": " + what + " " + std::to_string(n) + " exceeds the data");
    }
    return mFailed ? 0 : n;
  }
  bool fail(std::string reason) {
    if (!mFailed) mReason = std::move(reason);
    mFailed = true;
    return false;
  }

 private:
  const uint8_t* mPos;
  const uint8_t* mEnd;
  std::string& mReason;
  bool mFailed = false;
};

bool readMaterial(Reader& in, MqoMaterial& m) {
  m.dif = in.half();
  m.amb = in.half();
  m.emi = in.half();
  m.spc = in.half();
  m.power = in.half();
  in.bytes(&m.col[0], 16);
  m.shader = in.i32();
  in.string(m.effectPath, "effect name");
  in.string(m.texturePath, "texture name");
  in.string(m.secondTexturePath, "second texture name");
  return !in.failed();
}

// The face checks the format itself does not make: a hostile index would
// otherwise reach the normal computation and the draw arrays.
bool checkFaces(Reader& in, const MqoObject& object, uint32_t materialCount) {
  for (size_t f = 0; f < object.faces.size(); ++f) {
    const MqoFace& face = object.faces[f];
    const auto prefix = [&] { return std::string(in.where) + ": face " + std::to_string(f) + ": "; };
    if (face.cornerCount < 2 || face.cornerCount > 4) {
      return in.fail(prefix() + "corner count " + std::to_string(face.cornerCount) + " not in 2-4");
    }
    // A model without materials keeps its faces; no draw unit shows them.
    if (materialCount > 0 && face.material >= materialCount) {
      return in.fail(prefix() + "material " + std::to_string(face.material) + " >= material count " +
                     std::to_string(materialCount));
    }
    for (uint32_t c = 0; c < face.cornerCount; ++c) {
      if (face.index[c] >= object.vertexCount) {
        return in.fail(prefix() + "vertex index " + std::to_string(face.index[c]) +
                       " >= vertex count " + std::to_string(object.vertexCount));
      }
    }
  }
  return true;
}

bool readObject(Reader& in, MqoObject& o, uint32_t materialCount) {
  o.objectVector = in.vec3();
  o.depth = in.i32();
  o.facet = in.half();
  o.faceCount = in.count("face count", kFaceSize);
  const uint8_t hasFaces = in.u8();
  if (in.failed()) return false;
  if (hasFaces == 0 && o.faceCount != 0) return in.fail(std::string(in.where) + ": faces flagged absent");
  if (hasFaces != 0) {
    o.faces.resize(o.faceCount);
    for (MqoFace& face : o.faces) {
      uint8_t raw[kFaceSize];
      if (!in.bytes(raw, kFaceSize)) return false;
      std::memcpy(&face.material, raw, 4);
      std::memcpy(&face.cornerCount, raw + 4, 4);
      std::memcpy(face.uv, raw + 8, 32);
      std::memcpy(face.index, raw + 40, 16);
    }
  }
  o.vertexCount = in.count("vertex count", 12);
  const uint8_t hasVertices = in.u8();
  if (in.failed()) return false;
  if (hasVertices == 0 && o.vertexCount != 0) {
    return in.fail(std::string(in.where) + ": vertices flagged absent");
  }
  o.positions.resize(o.vertexCount);
  if (!in.bytes(o.positions.data(), uint64_t{o.vertexCount} * 12)) return false;
  if (!in.string(o.name, "name")) return false;
  if (!checkFaces(in, o, materialCount)) return false;
  // Each split copy belongs to one later face corner, so this bounds them.
  if (uint64_t{o.vertexCount} + uint64_t{o.faceCount} * 4 > std::numeric_limits<uint32_t>::max()) {
    return in.fail(std::string(in.where) + ": too many vertices");
  }
  computeNormals(o);
  return true;
}

// Normalized, with the zero vector (a degenerate face, an unused vertex)
// and overflowing cross products of huge coordinates kept at zero instead
// of turning into NaN.
glm::vec3 safeNormalize(const glm::vec3& v) {
  const float length = glm::length(v);
  return length > 0.0f && std::isfinite(length) ? v / length : glm::vec3(0.0f);
}

// The distinct vertices among a face's first `corners` corners.
uint32_t distinctCorners(const MqoFace& face, uint32_t corners, uint32_t out[4]) {
  uint32_t n = 0;
  for (uint32_t c = 0; c < corners; ++c) {
    bool seen = false;
    for (uint32_t k = 0; k < n; ++k) seen = seen || out[k] == face.index[c];
    if (!seen) out[n++] = face.index[c];
  }
  return n;
}

void putBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
}
void putU32(std::vector<uint8_t>& out, uint32_t v) { putBytes(out, &v, 4); }
void putHalf(std::vector<uint8_t>& out, float v) {
  const uint16_t h = floatToHalf(v);
  putBytes(out, &h, 2);
}
void putString(std::vector<uint8_t>& out, const std::string& s) {
  putU32(out, static_cast<uint32_t>(s.size()));
  putBytes(out, s.data(), s.size());
}

}  // namespace

float halfToFloat(uint16_t half) {
  const uint32_t bits = uint32_t{half} << 16;
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

uint16_t floatToHalf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return static_cast<uint16_t>(bits >> 16);
}

void computeNormals(MqoObject& object) {
  const uint32_t vertexCount = static_cast<uint32_t>(object.positions.size());
  const size_t faceCount = object.faces.size();
  std::vector<glm::vec3>& positions = object.positions;
  constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

  // Vertex split, counting pass (first, so every array is sized once): the
  // first face keeps a vertex; each later face that uses it needs one copy.
  std::vector<uint32_t> owner(vertexCount, kNone);
  std::vector<uint32_t> next(vertexCount, 0);  // copies per vertex, then the next copy's index
  uint32_t distinct[4];
  for (size_t f = 0; f < faceCount; ++f) {
    const MqoFace& face = object.faces[f];
    const uint32_t n = distinctCorners(face, face.cornerCount, distinct);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t v = distinct[k];
      if (owner[v] == kNone) {
        owner[v] = static_cast<uint32_t>(f);
      } else {
        ++next[v];
      }
    }
  }
  // Copies go vertex by vertex in index order and, within a vertex, in face
  // order: an exclusive prefix sum gives each vertex's first copy.
  uint32_t total = vertexCount;
  for (uint32_t v = 0; v < vertexCount; ++v) {
    const uint32_t copies = next[v];
    next[v] = total;
    total += copies;
  }
  // Face normals, and their sum at the first three corners of each face.
  std::vector<glm::vec3> faceNormals(faceCount, glm::vec3(0.0f));
  std::vector<glm::vec3> normals(total, glm::vec3(0.0f));  // the copies are filled below
  for (size_t f = 0; f < faceCount; ++f) {
    const MqoFace& face = object.faces[f];
    if (face.cornerCount < 3) continue;  // a line has no face normal
    const glm::vec3& p2 = positions[face.index[2]];
    const glm::vec3 n =
        safeNormalize(glm::cross(positions[face.index[0]] - p2, positions[face.index[1]] - p2));
    faceNormals[f] = n;
    for (int c = 0; c < 3; ++c) normals[face.index[c]] += n;
  }
  for (uint32_t v = 0; v < vertexCount; ++v) normals[v] = safeNormalize(normals[v]);

  positions.resize(total);
  for (size_t f = 0; f < faceCount; ++f) {
    MqoFace& face = object.faces[f];
    const uint32_t n = distinctCorners(face, face.cornerCount, distinct);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t v = distinct[k];
      if (owner[v] == f) continue;
      const uint32_t copy = next[v]++;
      positions[copy] = positions[v];
      normals[copy] = normals[v];
      for (uint32_t c = 0; c < face.cornerCount; ++c) {
        if (face.index[c] == v) face.index[c] = copy;
      }
    }
  }

  // Smoothing: a corner keeps the averaged normal only within the facet
  // angle of its face's own normal. The arc cosine is only needed near the
  // limit: a cosine clearly above or below the limit's decides alone (the
  // margin dwarfs float error, and the arc cosine's slope is at least 1).
  const float limit = object.facet * kDegreesToRadians;
  const bool inRange = limit >= 0.0f && limit <= 3.14159f;
  const float cosLimit = std::cos(limit);
  const float smoothAbove = inRange ? cosLimit + 1e-5f : 2.0f;
  const float flatBelow = inRange ? cosLimit - 1e-5f : -2.0f;
  for (size_t f = 0; f < faceCount; ++f) {
    const MqoFace& face = object.faces[f];
    const glm::vec3& n = faceNormals[f];
    for (uint32_t c = 0; c < face.cornerCount; ++c) {
      glm::vec3& m = normals[face.index[c]];
      if (m == n) continue;
      const float cosine = glm::clamp(glm::dot(m, n), -1.0f, 1.0f);
      if (cosine > smoothAbove) continue;
      if (cosine < flatBelow || std::acos(cosine) >= limit) m = n;
    }
  }

  object.normals = std::move(normals);
  object.vertexCount = total;
  object.faceCount = static_cast<uint32_t>(faceCount);
}

bool parseBinaryModel(const uint8_t* data, size_t size, MqoModel& model, std::string& reason) {
  if (size < kMagicSize || std::memcmp(data, kBinaryModelMagic, kMagicSize) != 0) {
    reason = "wrong magic";
    return false;
  }
  Reader in(data + kMagicSize, size - kMagicSize, reason);
  MqoModel result;
  std::string where;

  in.where = "header";
  const uint32_t materialCount = in.count("material count", kMinMaterialSize);
  result.materials.resize(materialCount);
  for (uint32_t i = 0; i < materialCount; ++i) {
    where = "material " + std::to_string(i);
    in.where = where.c_str();
    if (!readMaterial(in, result.materials[i])) return false;
  }

  in.where = "object table";
  const uint32_t objectCount = in.count("object count", kMinObjectSize);
  result.objects.resize(objectCount);
  for (uint32_t i = 0; i < objectCount; ++i) {
    where = "object " + std::to_string(i);
    in.where = where.c_str();
    if (!readObject(in, result.objects[i], materialCount)) return false;
  }

  in.where = "point table";
  const uint32_t pointCount = in.count("point count", kMinPointSize);
  std::string name;
  for (uint32_t i = 0; i < pointCount; ++i) {
    where = "point " + std::to_string(i);
    in.where = where.c_str();
    in.string(name, "name");
    const glm::vec3 position = in.vec3();
    if (in.failed()) return false;
    const size_t start = name.find_first_not_of('>');
    result.points[start == std::string::npos ? std::string() : name.substr(start)] = position;
  }

  in.where = "trailer";
  result.trailerVectorA = in.vec3();
  result.trailerVectorB = in.vec3();
  if (in.failed()) return false;
  model = std::move(result);
  return true;
}

bool readBinaryModel(const char* pName, MqoModel& model, std::string& reason) {
  const std::vector<char> bytes = loadEntryText(pName);
  return parseBinaryModel(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() - 1, model,
                          reason);
}

std::vector<uint8_t> writeBinaryModel(const MqoModel& model) {
  std::vector<uint8_t> out;
  putBytes(out, kBinaryModelMagic, kMagicSize);
  putU32(out, static_cast<uint32_t>(model.materials.size()));
  for (const MqoMaterial& m : model.materials) {
    for (float factor : {m.dif, m.amb, m.emi, m.spc, m.power}) putHalf(out, factor);
    putBytes(out, &m.col[0], 16);
    putBytes(out, &m.shader, 4);
    putString(out, m.effectPath);
    putString(out, m.texturePath);
    putString(out, m.secondTexturePath);
  }
  putU32(out, static_cast<uint32_t>(model.objects.size()));
  for (const MqoObject& o : model.objects) {
    putBytes(out, &o.objectVector[0], 12);
    putBytes(out, &o.depth, 4);
    putHalf(out, o.facet);
    putU32(out, static_cast<uint32_t>(o.faces.size()));
    out.push_back(o.faces.empty() ? 0 : 1);
    for (const MqoFace& face : o.faces) {
      putBytes(out, &face.material, 4);
      putBytes(out, &face.cornerCount, 4);
      putBytes(out, face.uv, 32);
      putBytes(out, face.index, 16);
    }
    putU32(out, static_cast<uint32_t>(o.positions.size()));
    out.push_back(o.positions.empty() ? 0 : 1);
    if (!o.positions.empty()) putBytes(out, o.positions.data(), o.positions.size() * 12);
    putString(out, o.name);
  }
  putU32(out, static_cast<uint32_t>(model.points.size()));
  for (const auto& [name, position] : model.points) {
    putString(out, name);
    putBytes(out, &position[0], 12);
  }
  putBytes(out, &model.trailerVectorA[0], 12);
  putBytes(out, &model.trailerVectorB[0], 12);
  return out;
}
