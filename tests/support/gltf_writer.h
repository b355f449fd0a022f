// glTF 2.0 files written from a small description, for the importer's tests
// and benchmark: meshes (positions, optional normals, 32-bit indices),
// materials with a base colour (the first with an embedded PNG texture),
// nodes with TRS, perspective cameras and linear translation/rotation/scale
// tracks. The binary buffer goes into the
// JSON as a base64 data URI, or beside it as FILE.bin.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <glm/gtc/quaternion.hpp>
#include <glm/vec3.hpp>
#include <glm/vec4.hpp>
#include <string>
#include <utility>
#include <vector>

namespace gltf_testing {

struct Mesh {
  std::vector<glm::vec3> positions;
  std::vector<glm::vec3> normals;  // empty: none
  std::vector<uint32_t> indices;   // triangles, counter-clockwise from the front
  int material = -1;
};

struct Node {
  std::string name;
  int mesh = -1;
  int camera = -1;
  glm::vec3 translation{0.0f};
  glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
  glm::vec3 scale{1.0f};
  std::vector<int> children;
};

struct Track {
  int node = 0;
  std::string path;  // "translation" (3 values a key), "rotation" (x y z w), "scale"
  std::vector<float> times;
  std::vector<float> values;
};

struct Document {
  std::vector<Mesh> meshes;
  std::vector<glm::vec4> materials;  // base colours
  std::vector<Node> nodes;
  std::vector<int> roots;
  std::vector<float> cameraFovs;  // yfov in radians, aspect 16:9
  std::vector<Track> tracks;
  std::vector<uint8_t> basePng;  // when set: material 0's base-colour texture, embedded
};

inline std::string base64(const std::vector<uint8_t>& data) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < data.size(); i += 3) {
    const uint32_t n = uint32_t{data[i]} << 16 | (i + 1 < data.size() ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < data.size() ? data[i + 2] : 0);
    out += kDigits[n >> 18];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < data.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

// The JSON text. With `binName`, the buffer is returned in `external` for
// the caller to write as that file; otherwise it is embedded.
inline std::string write(const Document& doc, std::vector<uint8_t>* external = nullptr,
                         const std::string& binName = "") {
  std::vector<uint8_t> buffer;
  std::string views, accessors;
  int count = 0;
  const auto num = [](double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.9g", v);
    return std::string(s);
  };
  // One view and accessor over `bytes`; returns the accessor's index.
  const auto add = [&](const void* data, size_t bytes, size_t elements, const char* type, int componentType,
                       const std::string& extra) {
    while (buffer.size() % 4) buffer.push_back(0);
    const size_t offset = buffer.size();
    buffer.resize(offset + bytes);
    std::memcpy(buffer.data() + offset, data, bytes);
    if (count) views += ",", accessors += ",";
    views +=
        "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) + ",\"byteLength\":" + std::to_string(bytes) + "}";
    accessors += "{\"bufferView\":" + std::to_string(count) + ",\"componentType\":" + std::to_string(componentType) +
                 ",\"count\":" + std::to_string(elements) + ",\"type\":\"" + type + "\"" + extra + "}";
    return count++;
  };
  std::string meshes;
  for (size_t m = 0; m < doc.meshes.size(); ++m) {
    const Mesh& mesh = doc.meshes[m];
    glm::vec3 low(1e30f), high(-1e30f);
    for (const glm::vec3& p : mesh.positions) low = glm::min(low, p), high = glm::max(high, p);
    const std::string bounds = ",\"min\":[" + num(low.x) + "," + num(low.y) + "," + num(low.z) + "],\"max\":[" +
                               num(high.x) + "," + num(high.y) + "," + num(high.z) + "]";
    const int position =
        add(mesh.positions.data(), mesh.positions.size() * 12, mesh.positions.size(), "VEC3", 5126, bounds);
    std::string attributes = "\"POSITION\":" + std::to_string(position);
    if (!mesh.normals.empty()) {
      attributes += ",\"NORMAL\":" + std::to_string(add(mesh.normals.data(), mesh.normals.size() * 12,
                                                        mesh.normals.size(), "VEC3", 5126, ""));
    }
    const int indices = add(mesh.indices.data(), mesh.indices.size() * 4, mesh.indices.size(), "SCALAR", 5125, "");
    meshes += std::string(m ? "," : "") + "{\"primitives\":[{\"attributes\":{" + attributes +
              "},\"indices\":" + std::to_string(indices) +
              (mesh.material >= 0 ? ",\"material\":" + std::to_string(mesh.material) : std::string()) + "}]}";
  }
  std::string channels, samplers;
  for (size_t t = 0; t < doc.tracks.size(); ++t) {
    const Track& track = doc.tracks[t];
    const float last = track.times.empty() ? 0.0f : track.times.back();
    const int input = add(track.times.data(), track.times.size() * 4, track.times.size(), "SCALAR", 5126,
                          ",\"min\":[" + num(track.times.front()) + "],\"max\":[" + num(last) + "]");
    const char* type = track.path == "rotation" ? "VEC4" : "VEC3";
    const size_t width = track.path == "rotation" ? 4 : 3;
    const int output = add(track.values.data(), track.values.size() * 4, track.values.size() / width, type, 5126, "");
    channels += std::string(t ? "," : "") + "{\"sampler\":" + std::to_string(t) +
                ",\"target\":{\"node\":" + std::to_string(track.node) + ",\"path\":\"" + track.path + "\"}}";
    samplers += std::string(t ? "," : "") + "{\"input\":" + std::to_string(input) +
                ",\"output\":" + std::to_string(output) + ",\"interpolation\":\"LINEAR\"}";
  }
  std::string nodes;
  for (size_t n = 0; n < doc.nodes.size(); ++n) {
    const Node& node = doc.nodes[n];
    nodes += std::string(n ? "," : "") + "{\"name\":\"" + node.name + "\"";
    if (node.mesh >= 0) nodes += ",\"mesh\":" + std::to_string(node.mesh);
    if (node.camera >= 0) nodes += ",\"camera\":" + std::to_string(node.camera);
    const glm::vec3& t = node.translation;
    const glm::quat& r = node.rotation;
    const glm::vec3& s = node.scale;
    nodes += ",\"translation\":[" + num(t.x) + "," + num(t.y) + "," + num(t.z) + "],\"rotation\":[" + num(r.x) + "," +
             num(r.y) + "," + num(r.z) + "," + num(r.w) + "],\"scale\":[" + num(s.x) + "," + num(s.y) + "," + num(s.z) +
             "]";
    if (!node.children.empty()) {
      nodes += ",\"children\":[";
      for (size_t c = 0; c < node.children.size(); ++c) nodes += (c ? "," : "") + std::to_string(node.children[c]);
      nodes += "]";
    }
    nodes += "}";
  }
  std::string roots, materials, cameras;
  for (size_t i = 0; i < doc.roots.size(); ++i) roots += (i ? "," : "") + std::to_string(doc.roots[i]);
  for (size_t i = 0; i < doc.materials.size(); ++i) {
    const glm::vec4& c = doc.materials[i];
    materials += std::string(i ? "," : "") + "{\"name\":\"m" + std::to_string(i) +
                 "\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[" + num(c.r) + "," + num(c.g) + "," + num(c.b) +
                 "," + num(c.a) + "]," + (i == 0 && !doc.basePng.empty() ? "\"baseColorTexture\":{\"index\":0}," : "") +
                 "\"metallicFactor\":0}}";
  }
  for (size_t i = 0; i < doc.cameraFovs.size(); ++i) {
    cameras += std::string(i ? "," : "") +
               "{\"type\":\"perspective\",\"perspective\":{\"yfov\":" + num(doc.cameraFovs[i]) +
               ",\"aspectRatio\":1.7777778,\"znear\":0.1,\"zfar\":150}}";
  }
  std::string uri;
  if (external != nullptr) {
    *external = buffer;
    uri = binName;
  } else {
    uri = "data:application/octet-stream;base64," + base64(buffer);
  }
  std::string json = "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[" + roots +
                     "]}],\"nodes\":[" + nodes + "],\"meshes\":[" + meshes + "]";
  if (!materials.empty()) json += ",\"materials\":[" + materials + "]";
  if (!cameras.empty()) json += ",\"cameras\":[" + cameras + "]";
  if (!doc.basePng.empty()) {
    json +=
        ",\"images\":[{\"uri\":\"data:image/png;base64," + base64(doc.basePng) + "\"}],\"textures\":[{\"source\":0}]";
  }
  if (!channels.empty()) json += ",\"animations\":[{\"channels\":[" + channels + "],\"samplers\":[" + samplers + "]}]";
  json += ",\"buffers\":[{\"byteLength\":" + std::to_string(buffer.size()) + ",\"uri\":\"" + uri +
          "\"}],\"bufferViews\":[" + views + "],\"accessors\":[" + accessors + "]}";
  return json;
}

// A box of half-size `h` around the origin with a normal per face (24
// vertices), counter-clockwise from outside.
inline Mesh box(float h, int material = 0) {
  Mesh mesh;
  mesh.material = material;
  for (int axis = 0; axis < 3; ++axis) {
    for (int sign = -1; sign <= 1; sign += 2) {
      glm::vec3 n(0.0f);
      n[axis] = static_cast<float>(sign);
      glm::vec3 u(0.0f), v(0.0f);
      u[(axis + 1) % 3] = 1.0f;
      v[(axis + 2) % 3] = 1.0f;
      if (sign < 0) std::swap(u, v);  // u x v = n keeps the corners counter-clockwise
      const auto base = static_cast<uint32_t>(mesh.positions.size());
      static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      for (const auto& c : kCorners) {
        mesh.positions.push_back(h * (n + c[0] * u + c[1] * v));
        mesh.normals.push_back(n);
      }
      for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) mesh.indices.push_back(base + i);
    }
  }
  return mesh;
}

}  // namespace gltf_testing
