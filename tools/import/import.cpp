// The conversion behind vesper-import. Coordinates: the binary model keeps
// the file's right-handed y-up coordinates (the player draws them as
// stored, as it does Metasequoia's), so a node's geometry is copied as it is.
// Scene-file positions and the camera are read with z negated, and their
// rotations with the x and y angles negated, so every key is the file's
// transform seen through that mirror.
#include "import/import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/mat3x3.hpp>
#include <glm/mat4x4.hpp>
#include <iterator>
#include <limits>
#include <map>
#include <set>

#include "core/core.h"
#include "model/model.h"
#include "texture/decode.h"
#include "texture/texture.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;
// The player's radian-to-degree factor for the field of view.
constexpr double kDegreesPerRadian = 180.0 / 3.141592;
constexpr double kBaseFieldOfView = 30.0;  // degrees, at camera rotation y 0
constexpr double kFar = 150.0;
constexpr double kNear = 0.1;
constexpr double kStaticSeconds = 10.0;
// Meshes that bring no normals are shaded flat, as glTF prescribes (and as
// OBJ viewers show them): no corner takes another face's normal.
constexpr float kFlat = 0.0f;
// Always smooth: where the file has normals, only vertices that share one
// are shared, so its hard edges stay hard.
constexpr float kKeepFileNormals = 180.0f;

// Scene-file tokens break at white space and parentheses, and names are
// quoted: those characters become '_'.
std::string tokenSafe(std::string s) {
  for (char& c : s) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == '"' || c == '{' || c == '}' ||
        c == '\\' || c == '/') {
      c = '_';
    }
  }
  return s;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string& out, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) out.append(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

struct Trs {
  glm::vec3 position{0.0f};
  glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
  glm::vec3 scale{1.0f};
  glm::mat4 matrix() const {
    glm::mat4 m = glm::mat4_cast(rotation);
    m[0] *= scale.x;
    m[1] *= scale.y;
    m[2] *= scale.z;
    m[3] = glm::vec4(position, 1.0f);
    return m;
  }
};

Trs decompose(const aiMatrix4x4& m) {
  aiVector3D s, p;
  aiQuaternion r;
  m.Decompose(s, r, p);
  Trs t;
  t.position = {p.x, p.y, p.z};
  t.rotation = glm::quat(r.w, r.x, r.y, r.z);
  t.scale = {s.x, s.y, s.z};
  return t;
}

// Linear between the keys around `ticks`, held outside them.
template <class Key, class Value, class Blend>
Value sampleKeys(const Key* keys, unsigned count, double ticks, Value fallback, Blend blend) {
  if (count == 0) return fallback;
  if (ticks <= keys[0].mTime) return keys[0].mValue;
  for (unsigned i = 1; i < count; ++i) {
    if (ticks <= keys[i].mTime) {
      const double span = keys[i].mTime - keys[i - 1].mTime;
      const float h = span > 0.0 ? static_cast<float>((ticks - keys[i - 1].mTime) / span) : 1.0f;
      return blend(keys[i - 1].mValue, keys[i].mValue, h);
    }
  }
  return keys[count - 1].mValue;
}

// The animation's node transforms at a time.
class Animation {
 public:
  Animation(const aiScene& scene) {
    if (scene.mNumAnimations == 0) return;
    const aiAnimation& a = *scene.mAnimations[0];
    mTicksPerSecond = a.mTicksPerSecond > 0.0 ? a.mTicksPerSecond : 25.0;
    double last = 0.0;
    for (unsigned c = 0; c < a.mNumChannels; ++c) {
      const aiNodeAnim* ch = a.mChannels[c];
      mChannels[ch->mNodeName.C_Str()] = ch;
      if (ch->mNumPositionKeys) last = std::max(last, ch->mPositionKeys[ch->mNumPositionKeys - 1].mTime);
      if (ch->mNumRotationKeys) last = std::max(last, ch->mRotationKeys[ch->mNumRotationKeys - 1].mTime);
      if (ch->mNumScalingKeys) last = std::max(last, ch->mScalingKeys[ch->mNumScalingKeys - 1].mTime);
    }
    mSeconds = last / mTicksPerSecond;
  }
  double seconds() const { return mSeconds; }

  Trs local(const aiNode& node, double seconds) const {
    Trs t = decompose(node.mTransformation);
    const auto found = mChannels.find(node.mName.C_Str());
    if (found == mChannels.end()) return t;
    const aiNodeAnim& ch = *found->second;
    const double ticks = seconds * mTicksPerSecond;
    const auto lerp = [](const aiVector3D& a, const aiVector3D& b, float h) { return a + (b - a) * h; };
    const aiVector3D p = sampleKeys(ch.mPositionKeys, ch.mNumPositionKeys, ticks,
                                    aiVector3D(t.position.x, t.position.y, t.position.z), lerp);
    const aiVector3D s =
        sampleKeys(ch.mScalingKeys, ch.mNumScalingKeys, ticks, aiVector3D(t.scale.x, t.scale.y, t.scale.z), lerp);
    const aiQuaternion r = sampleKeys(ch.mRotationKeys, ch.mNumRotationKeys, ticks,
                                      aiQuaternion(t.rotation.w, t.rotation.x, t.rotation.y, t.rotation.z),
                                      [](const aiQuaternion& a, const aiQuaternion& b, float h) {
                                        aiQuaternion out;
                                        aiQuaternion::Interpolate(out, a, b, h);
                                        return out;
                                      });
    t.position = {p.x, p.y, p.z};
    t.scale = {s.x, s.y, s.z};
    t.rotation = glm::normalize(glm::quat(r.w, r.x, r.y, r.z));
    return t;
  }

  glm::mat4 world(const aiNode* node, double seconds) const {
    glm::mat4 m(1.0f);
    for (; node != nullptr; node = node->mParent) m = local(*node, seconds).matrix() * m;
    return m;
  }

 private:
  std::map<std::string, const aiNodeAnim*> mChannels;
  double mTicksPerSecond = 25.0;
  double mSeconds = 0.0;
};

// Angles (a, b, c) with R = Rz(a) Ry(b) Rx(c), the solution nearest
// `previous` (each angle taken modulo 2 pi), so interpolated keys turn the
// short way.
glm::dvec3 eulerZyx(const glm::mat3& r, const glm::dvec3& previous) {
  const double sb = std::clamp(-static_cast<double>(r[0][2]), -1.0, 1.0);
  const double b = std::asin(sb);
  double a, c;
  if (std::fabs(sb) < 0.99999) {
    a = std::atan2(r[0][1], r[0][0]);
    c = std::atan2(r[1][2], r[2][2]);
  } else {
    a = std::atan2(-r[1][0], r[1][1]);
    c = 0.0;
  }
  const auto near = [](double angle, double to) { return angle + 2.0 * kPi * std::round((to - angle) / (2.0 * kPi)); };
  const auto unwrap = [&](glm::dvec3 v) {
    return glm::dvec3(near(v.x, previous.x), near(v.y, previous.y), near(v.z, previous.z));
  };
  const glm::dvec3 first = unwrap({a, b, c});
  const glm::dvec3 second = unwrap({a + kPi, kPi - b, c + kPi});
  const auto distance = [&](const glm::dvec3& v) {
    return std::fabs(v.x - previous.x) + std::fabs(v.y - previous.y) + std::fabs(v.z - previous.z);
  };
  return distance(second) < distance(first) ? second : first;
}

// One object of the binary model: a node, or an empty group standing above
// a node with children. The player's hierarchy rule puts an object that
// returns to depth d under the last object at depth d before it; a group
// with no transform in that place keeps the node's siblings off its
// transform.
struct Entry {
  const aiNode* node = nullptr;  // null: a group
  std::string name;
  int depth = 0;
};

void listNodes(const aiNode* node, int depth, bool laterSibling, std::vector<Entry>& out) {
  const bool group = laterSibling && node->mNumChildren > 0;
  if (group) out.push_back({nullptr, std::string(node->mName.C_Str()) + "_group", depth++});
  out.push_back({node, node->mName.C_Str(), depth});
  for (unsigned i = 0; i < node->mNumChildren; ++i) {
    listNodes(node->mChildren[i], depth + 1, i + 1 < node->mNumChildren, out);
  }
}

// The node's meshes as one object: a vertex per distinct position (and
// normal, where the file has them); texture coordinates go on the faces.
MqoObject convertMeshes(const aiScene& scene, const aiNode& node, const std::string& name, int depth) {
  MqoObject object;
  object.name = name;
  object.depth = depth;
  bool normals = node.mNumMeshes > 0;
  for (unsigned i = 0; i < node.mNumMeshes; ++i) normals = normals && scene.mMeshes[node.mMeshes[i]]->HasNormals();
  object.facet = normals ? kKeepFileNormals : kFlat;

  struct Key {
    float v[6];
    bool operator==(const Key& o) const { return std::memcmp(v, o.v, sizeof v) == 0; }
  };
  struct Hash {
    size_t operator()(const Key& k) const {
      uint32_t bits[6];
      std::memcpy(bits, k.v, sizeof bits);
      size_t h = 1469598103934665603ull;
      for (uint32_t b : bits) h = (h ^ b) * 1099511628211ull;
      // The table takes the low bits, which the multiplications fill only
      // from the values' low (often zero) mantissa bits: mix the high ones in.
      h ^= h >> 31;
      h *= 0xbf58476d1ce4e5b9ull;
      return h ^ (h >> 29);
    }
  };
  size_t vertices = 0, faces = 0;
  for (unsigned i = 0; i < node.mNumMeshes; ++i) {
    vertices += scene.mMeshes[node.mMeshes[i]]->mNumVertices;
    faces += scene.mMeshes[node.mMeshes[i]]->mNumFaces;
  }
  // Open addressing over the keys kept: no allocation per vertex.
  std::vector<Key> keys;
  keys.reserve(vertices);
  size_t capacity = 16;
  while (capacity < 2 * vertices) capacity *= 2;
  constexpr uint32_t kEmpty = std::numeric_limits<uint32_t>::max();
  std::vector<uint32_t> slots(capacity, kEmpty);
  object.positions.reserve(vertices);
  object.faces.reserve(faces);
  std::vector<uint32_t> remap;
  for (unsigned i = 0; i < node.mNumMeshes; ++i) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[i]];
    remap.assign(mesh.mNumVertices, 0);
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      Key key{};
      const aiVector3D& p = mesh.mVertices[v];
      key.v[0] = p.x + 0.0f;  // + 0: -0 and 0 are one vertex
      key.v[1] = p.y + 0.0f;
      key.v[2] = p.z + 0.0f;
      if (normals) {
        const aiVector3D& n = mesh.mNormals[v];
        key.v[3] = n.x + 0.0f;
        key.v[4] = n.y + 0.0f;
        key.v[5] = n.z + 0.0f;
      }
      size_t slot = Hash()(key) & (capacity - 1);
      while (slots[slot] != kEmpty && !(keys[slots[slot]] == key)) slot = (slot + 1) & (capacity - 1);
      if (slots[slot] == kEmpty) {
        slots[slot] = static_cast<uint32_t>(keys.size());
        keys.push_back(key);
        object.positions.emplace_back(p.x, p.y, p.z);
      }
      remap[v] = slots[slot];
    }
    const aiVector3D* uv = mesh.mTextureCoords[0];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& in = mesh.mFaces[f];
      if (in.mNumIndices != 3) continue;  // points and lines left after the sort
      MqoFace face;
      face.cornerCount = 3;
      face.material = mesh.mMaterialIndex;
      for (int c = 0; c < 3; ++c) {
        face.index[c] = remap[in.mIndices[c]];
        if (uv != nullptr) {
          face.uv[c][0] = uv[in.mIndices[c]].x;
          face.uv[c][1] = uv[in.mIndices[c]].y;
        }
      }
      object.faces.push_back(face);
    }
  }
  object.vertexCount = static_cast<uint32_t>(object.positions.size());
  object.faceCount = static_cast<uint32_t>(object.faces.size());
  return object;
}

// Writes textures as PNG files into the stage and names them in the pack.
class TextureWriter {
 public:
  TextureWriter(const aiScene& scene, const fs::path& inputDir, const fs::path& stage, const std::string& name,
                std::vector<std::string>& notes)
      : mScene(scene), mInputDir(inputDir), mStage(stage), mName(name), mNotes(notes) {}

  // The pack name of the texture `path` names in the file, or empty (the
  // default texture) when it cannot be read, with a note.
  std::string packName(const std::string& path) {
    const auto known = mDone.find(path);
    if (known != mDone.end()) return known->second;
    std::string reason;
    std::string entry;
    if (!write(path, entry, reason)) {
      mNotes.push_back("warning: texture \"" + path + "\": " + reason + "; the material uses the default texture");
      entry.clear();
    }
    mDone[path] = entry;
    return entry;
  }

 private:
  bool write(const std::string& path, std::string& entry, std::string& reason) {
    std::vector<uint8_t> bytes;
    std::string stem, hint;
    if (const aiTexture* embedded = mScene.GetEmbeddedTexture(path.c_str())) {
      stem = embedded->mFilename.length ? fs::path(embedded->mFilename.C_Str()).stem().string()
                                        : "texture" + std::to_string(mDone.size());
      if (embedded->mHeight == 0) {
        const auto* data = reinterpret_cast<const uint8_t*>(embedded->pcData);
        bytes.assign(data, data + embedded->mWidth);
        hint = embedded->achFormatHint;
      } else {
        // Uncompressed BGRA texels.
        const size_t count = size_t{embedded->mWidth} * embedded->mHeight;
        bytes.resize(count * 4);
        for (size_t i = 0; i < count; ++i) {
          const aiTexel& t = embedded->pcData[i];
          bytes[4 * i] = t.r;
          bytes[4 * i + 1] = t.g;
          bytes[4 * i + 2] = t.b;
          bytes[4 * i + 3] = t.a;
        }
        return store(stem, bytes, embedded->mWidth, embedded->mHeight, entry, reason);
      }
    } else {
      std::string slashed = path;
      std::replace(slashed.begin(), slashed.end(), '\\', '/');
      fs::path file(slashed);
      if (file.is_relative()) file = mInputDir / file;
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        reason = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
      }
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      stem = file.stem().string();
      hint = file.extension().string();
      if (!hint.empty()) hint.erase(0, 1);
    }
    hint = lower(hint);
    if (hint == "png" || (bytes.size() > 8 && std::memcmp(bytes.data(), "\x89PNG", 4) == 0)) {
      return copy(stem, bytes, entry, reason);
    }
    if (hint == "jpeg") hint = "jpg";
    const texture_decode::Format format = texture_decode::formatForExtension(hint);
    if (format == texture_decode::Format::None) {
      reason = "unsupported image format \"" + hint + "\"";
      return false;
    }
    const texture_decode::TexturePtr picture = texture_decode::decode(format, bytes.data(), bytes.size(), reason);
    if (!picture) return false;
    // The decoders key pure blue out of pictures without alpha; the
    // modeller showed them opaque.
    const bool keyed = format == texture_decode::Format::Picture;
    return storePicture(stem, *picture, !keyed, entry, reason);
  }

  std::string uniqueFile(const std::string& stem) {
    std::string base = tokenSafe(stem.empty() ? "texture" : stem);
    std::string file = base + ".png";
    for (int n = 2; !mFiles.insert(file).second; ++n) file = base + "_" + std::to_string(n) + ".png";
    entry(file);
    return file;
  }
  void entry(const std::string& file) { mLastEntry = "data\\texture\\" + mName + "\\" + file; }
  fs::path target(const std::string& file) const { return mStage / "data" / "texture" / mName / file; }

  bool copy(const std::string& stem, const std::vector<uint8_t>& bytes, std::string& out, std::string& reason) {
    const std::string file = uniqueFile(stem);
    fs::create_directories(target(file).parent_path());
    std::ofstream o(target(file), std::ios::binary);
    o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!o.flush()) {
      reason = "cannot write " + target(file).string();
      return false;
    }
    out = mLastEntry;
    return true;
  }
  bool store(const std::string& stem, const std::vector<uint8_t>& rgba, uint32_t width, uint32_t height,
             std::string& out, std::string& reason) {
    PngImage image;
    image.pixels = rgba.data();
    image.width = width;
    image.height = height;
    image.stride = size_t{width} * 4;
    return writePng(stem, image, out, reason);
  }
  bool storePicture(const std::string& stem, const cTexture& picture, bool alpha, std::string& out,
                    std::string& reason) {
    PngImage image;
    image.pixels = picture.pixels();
    image.width = picture.usedWidth();
    image.height = picture.usedHeight();
    image.stride = size_t{picture.width()} * 4;
    image.keepAlpha = alpha;
    return writePng(stem, image, out, reason);
  }
  bool writePng(const std::string& stem, const PngImage& image, std::string& out, std::string& reason) {
    const std::string file = uniqueFile(stem);
    fs::create_directories(target(file).parent_path());
    if (!writePngFile(target(file).c_str(), image, reason)) return false;
    out = mLastEntry;
    return true;
  }

  const aiScene& mScene;
  fs::path mInputDir;
  fs::path mStage;
  std::string mName;
  std::vector<std::string>& mNotes;
  std::map<std::string, std::string> mDone;  // file's path -> pack name ("": not usable)
  std::set<std::string> mFiles;
  std::string mLastEntry;
};

MqoMaterial convertMaterial(const aiMaterial& in, TextureWriter& textures) {
  MqoMaterial m;
  // Metasequoia's defaults: the default effect reads them as the modeller's.
  m.dif = 0.8f;
  m.amb = 0.6f;
  m.power = 5.0f;
  aiColor4D colour(1.0f, 1.0f, 1.0f, 1.0f);
  if (in.Get(AI_MATKEY_BASE_COLOR, colour) != AI_SUCCESS) {
    if (in.Get(AI_MATKEY_COLOR_DIFFUSE, colour) != AI_SUCCESS) colour = aiColor4D(1.0f, 1.0f, 1.0f, 1.0f);
    float opacity = 1.0f;
    if (in.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) colour.a = opacity;
  }
  m.col = glm::vec4(colour.r, colour.g, colour.b, colour.a);
  aiString path;
  if (in.GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS ||
      in.GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS) {
    m.texturePath = textures.packName(path.C_Str());
  }
  return m;
}

struct Bounds {
  glm::vec3 low{std::numeric_limits<float>::max()};
  glm::vec3 high{-std::numeric_limits<float>::max()};
  bool empty() const { return low.x > high.x; }
  void add(const glm::vec3& p) {
    low = glm::min(low, p);
    high = glm::max(high, p);
  }
};

std::string vec(const glm::dvec3& v) {
  std::string s;
  appendf(s, "\t\t\t\t%.7g %.7g %.7g\n", v.x + 0.0, v.y + 0.0, v.z + 0.0);
  return s;
}

// One scene-file object: `parts` of key triples per time.
struct Part {
  std::string name;
  std::vector<glm::dvec3> position, rotation, scale;
};

void writeObject(std::string& out, int slot, const std::vector<double>& times, const std::vector<Part>& parts) {
  appendf(out, "\tObject %d {\n\t\tCameraTrans 1\n\t\tVisible 1\n\t\tDataNum %zu\n\t\tTime {", slot, times.size());
  for (double t : times) appendf(out, " %.6g", t);
  out += " }\n";
  for (const Part& p : parts) {
    out += "\t\tPart \"" + p.name + "\" {\n";
    const std::pair<const char*, const std::vector<glm::dvec3>*> lists[] = {
        {"Position", &p.position}, {"Rotation", &p.rotation}, {"Scale", &p.scale}};
    for (const auto& [label, values] : lists) {
      if (values->empty()) continue;
      out += std::string("\t\t\t") + label + " {\n";
      for (const glm::dvec3& v : *values) out += vec(v);
      out += "\t\t\t}\n";
    }
    out += "\t\t}\n";
  }
  out += "\t}\n";
}

bool writeFile(const fs::path& path, const void* data, size_t size, std::string& reason) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) {
    reason = "cannot write " + path.string();
    return false;
  }
  return true;
}

// The stage's files moved into place (directories made as needed).
bool commit(const fs::path& stage, const fs::path& outDir, std::string& reason) {
  std::error_code error;
  std::vector<fs::path> files;  // listed first: the moves change the folders being read
  for (const auto& item : fs::recursive_directory_iterator(stage)) {
    if (item.is_regular_file()) files.push_back(item.path());
  }
  for (const fs::path& file : files) {
    const fs::path target = outDir / fs::relative(file, stage);
    fs::create_directories(target.parent_path(), error);
    if (!error) fs::rename(file, target, error);
    if (error) {
      reason = "cannot write " + target.string() + ": " + error.message();
      return false;
    }
  }
  return true;
}

const std::set<std::string> kExtensions = {".gltf", ".glb", ".obj", ".fbx", ".dae"};

bool convert(const ImportOptions& options, ImportResult& result, std::string& reason);

}  // namespace

unsigned importPostProcessing() {
  return aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType | aiProcess_FlipUVs;
}

bool importScene(const ImportOptions& options, ImportResult& result, std::string& reason) {
  try {
    return convert(options, result, reason);
  } catch (const std::exception& e) {  // the file system's errors, memory
    reason = e.what();
    return false;
  }
}

namespace {

bool convert(const ImportOptions& options, ImportResult& result, std::string& reason) {
  const fs::path input = options.input;
  const std::string extension = lower(input.extension().string());
  {
    std::ifstream probe(input, std::ios::binary);
    if (!probe) {
      reason = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
  }
  if (kExtensions.count(extension) == 0) {
    reason = "unsupported format \"" + extension + "\" (glTF 2.0 .gltf/.glb, OBJ, FBX, Collada .dae)";
    return false;
  }
  result.name = tokenSafe(options.name.empty() ? input.stem().string() : options.name);
  const std::string& name = result.name;

  Assimp::Importer importer;
  // Points and lines have no faces in the binary model.
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  const aiScene* scene = importer.ReadFile(input.string(), importPostProcessing());
  if (scene == nullptr || scene->mRootNode == nullptr) {
    reason = importer.GetErrorString();
    if (reason.empty()) reason = "not readable as a model";
    return false;
  }
  if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) {
    reason = "incomplete scene";
    return false;
  }
  if (scene->mNumMeshes == 0) {
    reason = "no triangles to import";
    return false;
  }

  const fs::path outDir = options.outDir;
  std::error_code error;
  const bool madeOutDir = !fs::exists(outDir);
  fs::create_directories(outDir, error);
  if (error) {
    reason = "cannot create " + outDir.string() + ": " + error.message();
    return false;
  }
  const fs::path stage = outDir / (".vesper-import." + std::to_string(getpid()));
  fs::remove_all(stage, error);
  // The stage goes whatever happens; an output folder made for a failed
  // run goes with it.
  struct StageGuard {
    fs::path path;
    fs::path madeOutDir;
    ~StageGuard() {
      std::error_code e;
      fs::remove_all(path, e);
      if (!madeOutDir.empty() && fs::is_empty(madeOutDir, e)) fs::remove(madeOutDir, e);
    }
  } guard{stage, madeOutDir ? outDir : fs::path()};

  // The model: materials, then one object per listed node.
  MqoModel model;
  TextureWriter textures(*scene, input.parent_path(), stage, name, result.notes);
  for (unsigned i = 0; i < scene->mNumMaterials; ++i)
    model.materials.push_back(convertMaterial(*scene->mMaterials[i], textures));
  std::vector<Entry> entries;
  listNodes(scene->mRootNode, 0, false, entries);
  std::set<std::string> used;
  for (Entry& e : entries) {
    std::string base = tokenSafe(e.name.empty() ? "node" : e.name);
    e.name = base;
    for (int n = 2; !used.insert(e.name).second; ++n) e.name = base + "_" + std::to_string(n);
    if (e.node != nullptr) {
      model.objects.push_back(convertMeshes(*scene, *e.node, e.name, e.depth));
    } else {
      MqoObject group;
      group.name = e.name;
      group.depth = e.depth;
      model.objects.push_back(group);
    }
  }

  // Sample times: every 1/rate s and the end; a still scene lasts 10 s.
  const Animation animation(*scene);
  const double seconds = animation.seconds();
  std::vector<double> times;
  if (seconds > 0.0) {
    const auto n = static_cast<long long>(std::floor(seconds * options.rate + 1e-9));
    for (long long i = 0; i <= n; ++i) times.push_back(static_cast<double>(i) / options.rate);
    if (times.back() < seconds - 1e-6) times.push_back(seconds);
  }
  result.seconds = seconds > 0.0 ? seconds : kStaticSeconds;
  const std::vector<double> keyTimes = seconds > 0.0 ? times : std::vector<double>{0.0, kStaticSeconds};

  // The scene's bounds over the animation, from each object's own box.
  Bounds bounds;
  for (size_t k = 0; k < entries.size(); ++k) {
    if (entries[k].node == nullptr || model.objects[k].positions.empty()) continue;
    Bounds local;
    for (const glm::vec3& p : model.objects[k].positions) local.add(p);
    for (double t : keyTimes) {
      const glm::mat4 w = animation.world(entries[k].node, t);
      for (int c = 0; c < 8; ++c) {
        const glm::vec3 corner((c & 1) ? local.high.x : local.low.x, (c & 2) ? local.high.y : local.low.y,
                               (c & 4) ? local.high.z : local.low.z);
        bounds.add(glm::vec3(w * glm::vec4(corner, 1.0f)));
      }
    }
  }
  if (bounds.empty()) {
    reason = "no triangles to import";
    return false;
  }
  glm::dvec3 centre = (glm::dvec3(bounds.low) + glm::dvec3(bounds.high)) * 0.5;
  double radius = std::max(0.5 * glm::length(glm::dvec3(bounds.high) - glm::dvec3(bounds.low)), 1e-6);

  // Without a camera the view is made: a sphere round the bounds fills the
  // 30 degree field of view, and the whole scene is scaled when that
  // sphere would not fit between the near and far planes.
  const aiCamera* camera = scene->mNumCameras > 0 ? scene->mCameras[0] : nullptr;
  const double halfView = kBaseFieldOfView / 2.0 * kPi / 180.0;
  double scale = 1.0;
  if (camera == nullptr) {
    const double depthFactor = 1.0 / std::sin(halfView);
    const double farthest = radius * (depthFactor + 1.0);
    const double nearest = radius * (depthFactor - 1.0);
    if (farthest > 0.9 * kFar || nearest < 10.0 * kNear) {
      scale = 0.5 * kFar / (depthFactor + 1.0) / radius;
      char note[160];
      std::snprintf(note, sizeof note, "note: scaled by %.6g so the model fits the player's view (far plane %g)", scale,
                    kFar);
      result.notes.push_back(note);
      centre *= scale;
      radius *= scale;
    }
  }
  if (scale != 1.0) {
    for (MqoObject& o : model.objects) {
      for (glm::vec3& p : o.positions) p *= static_cast<float>(scale);
    }
  }

  // Keys: each listed node's local transform, mirrored into the scene
  // file's coordinates.
  std::vector<Part> parts;
  for (const Entry& e : entries) {
    Part part;
    part.name = e.name;
    if (e.node == nullptr) {
      parts.push_back(part);  // a group stays at its default key
      continue;
    }
    glm::dvec3 previous(0.0);
    for (double t : keyTimes) {
      const Trs trs = e.node ? animation.local(*e.node, t) : Trs{};
      const glm::dvec3 p = glm::dvec3(trs.position) * scale;
      part.position.emplace_back(p.x, p.y, -p.z);
      previous = eulerZyx(glm::mat3_cast(trs.rotation), previous);
      part.rotation.emplace_back(-previous.z, -previous.y, previous.x);
      part.scale.emplace_back(trs.scale);
    }
    parts.push_back(std::move(part));
  }

  // The camera: the file's first, or the made one.
  Part eye{"camera_pos", {}, {}, {}};
  Part target{"camera_lookat", {}, {}, {}};
  std::vector<double> cameraTimes = keyTimes;
  if (camera != nullptr) {
    const aiNode* node = scene->mRootNode->FindNode(camera->mName);
    const bool gltf = extension == ".gltf" || extension == ".glb";
    double fov = camera->mHorizontalFOV;
    if (camera->mAspect > 0.0f) {
      // Assimp's glTF reader gives yfov times the aspect ratio; the others
      // a horizontal angle.
      fov = gltf ? fov / camera->mAspect : 2.0 * std::atan(std::tan(fov / 2.0) / camera->mAspect);
    }
    const double fovY = (fov * 180.0 / kPi - kBaseFieldOfView) / kDegreesPerRadian;
    // A glTF camera sits at its node's origin looking down -z with y up;
    // Assimp's glTF reader copies the node's placement into the camera as
    // well, which would apply it twice.
    const glm::vec3 localEye =
        gltf ? glm::vec3(0.0f) : glm::vec3(camera->mPosition.x, camera->mPosition.y, camera->mPosition.z);
    const glm::vec3 localLook =
        gltf ? glm::vec3(0.0f, 0.0f, -1.0f) : glm::vec3(camera->mLookAt.x, camera->mLookAt.y, camera->mLookAt.z);
    const glm::vec3 localUp =
        gltf ? glm::vec3(0.0f, 1.0f, 0.0f) : glm::vec3(camera->mUp.x, camera->mUp.y, camera->mUp.z);
    double roll = 0.0;
    for (double t : keyTimes) {
      const glm::mat4 w = node ? animation.world(node, t) : glm::mat4(1.0f);
      const glm::dvec3 position(w * glm::vec4(localEye, 1.0f));
      const glm::dvec3 forward = glm::normalize(glm::dvec3(glm::mat3(w) * localLook));
      const glm::dvec3 up = glm::normalize(glm::dvec3(glm::mat3(w) * localUp));
      const double distance = std::max(1.0, glm::dot(centre - position, forward));
      const glm::dvec3 look = position + forward * distance;
      // The player turns its y-up view by rotation z: the angle from that
      // view's up to the camera's.
      const glm::dvec3 side = glm::cross(forward, glm::dvec3(0.0, 1.0, 0.0));
      if (glm::length(side) > 1e-6) {
        const glm::dvec3 s = glm::normalize(side);
        const glm::dvec3 viewUp = glm::cross(s, forward);
        const double angle = std::atan2(glm::dot(up, s), glm::dot(up, viewUp));
        roll = angle + 2.0 * kPi * std::round((roll - angle) / (2.0 * kPi));
      }
      eye.position.emplace_back(position.x, position.y, -position.z);
      eye.rotation.emplace_back(0.0, fovY, roll);
      target.position.emplace_back(look.x, look.y, -look.z);
    }
  } else {
    const double distance = radius / std::sin(halfView);
    cameraTimes = {0.0, result.seconds};
    for (int k = 0; k < 2; ++k) {
      eye.position.emplace_back(centre.x, centre.y, -(centre.z + distance));
      target.position.emplace_back(centre.x, centre.y, -centre.z);
    }
  }

  std::string qdf = "QScene Demo File\nFormat Text Ver 1.0\nvesper-import " + input.filename().string() +
                    "\n\nMQO {\n\t0 \"data\\model\\" + name + ".mqo\"\n}\n";
  // A scene named like a scene class would play as that class.
  std::string sceneName = name;
  if (CoreRuntimeClass::findClass(("CSceneQdf_" + sceneName).c_str()) != nullptr) sceneName += "_imported";
  qdf += "Scene \"" + sceneName + "\" {\n";
  writeObject(qdf, -1, cameraTimes, {eye, target});
  writeObject(qdf, 0, keyTimes, parts);
  qdf += "}\nEof\n";

  const std::vector<uint8_t> bytes = writeBinaryModel(model);
  // Read back with the player's own reader before anything is kept.
  {
    MqoModel check;
    std::string why;
    if (!parseBinaryModel(bytes.data(), bytes.size(), check, why)) {
      reason = "the binary model does not read back: " + why;
      return false;
    }
  }
  if (!writeFile(stage / "data" / "model" / (name + ".bmdl"), bytes.data(), bytes.size(), reason) ||
      !writeFile(stage / "data" / "scene" / (name + ".qdf"), qdf.data(), qdf.size(), reason) ||
      !commit(stage, outDir, reason)) {
    return false;
  }

  const long long ms = std::llround(result.seconds * 1000.0);
  result.qdfEntry = "<QdfEntry id=\"" + name + "\" path=\"data\\scene\\" + name + ".qdf\"/>";
  result.sceneLine = "<SceneLineEntry line=\"0\" qdfId=\"" + name + "\" sTime=\"0\" eTime=\"" + std::to_string(ms) +
                     "\" shader=\"default\"/>";
  return true;
}

}  // namespace
