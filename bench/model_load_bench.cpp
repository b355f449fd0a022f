// Model loading against Assimp, in the same run on the same mesh: a
// deterministic torus knot of 200 000 triangles, once as a binary model
// (parsed with normals, vertex split and facet smoothing) and once as an
// OBJ with shared vertices (imported with smooth normals, joined vertices and
// triangulation). Both from memory; prints the median times and the ratio.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <glm/geometric.hpp>

#include "model/model.h"
#include "torus_knot.h"

namespace {

constexpr int kAlong = kKnotAlong;
constexpr int kAround = kKnotAround;
constexpr int kRepetitions = 9;

MqoModel torusKnot() {
  MqoModel model;
  MqoMaterial material;
  material.col = glm::vec4(1.0f);
  material.dif = 0.8f;
  model.materials.push_back(material);
  MqoObject object;
  object.name = "knot";
  object.facet = 60.0f;
  for (int i = 0; i < kAlong; ++i) {
    for (int j = 0; j < kAround; ++j) {
      glm::vec3 position, out;
      knotVertex(i, j, position, out);
      object.positions.push_back(position);
    }
  }
  auto vertex = [](int i, int j) { return static_cast<uint32_t>((i % kAlong) * kAround + (j % kAround)); };
  for (int i = 0; i < kAlong; ++i) {
    for (int j = 0; j < kAround; ++j) {
      const uint32_t quad[4] = {vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1), vertex(i, j + 1)};
      const float u0 = static_cast<float>(i) / kAlong, u1 = static_cast<float>(i + 1) / kAlong;
      const float v0 = static_cast<float>(j) / kAround, v1 = static_cast<float>(j + 1) / kAround;
      const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
      static const int kTriangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
      for (const int* tri : kTriangles) {
        MqoFace face;
        face.cornerCount = 3;
        for (int c = 0; c < 3; ++c) {
          face.index[c] = quad[tri[c]];
          face.uv[c][0] = uv[tri[c]][0];
          face.uv[c][1] = uv[tri[c]][1];
        }
        object.faces.push_back(face);
      }
    }
  }
  object.vertexCount = static_cast<uint32_t>(object.positions.size());
  object.faceCount = static_cast<uint32_t>(object.faces.size());
  model.objects.push_back(std::move(object));
  return model;
}

// Positions and texture coordinates shared as in the grid.
std::string toObj(const MqoObject& object) {
  std::string s = "o knot\n";
  char line[96];
  for (const glm::vec3& p : object.positions) {
    std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", p.x, p.y, p.z);
    s += line;
  }
  for (int i = 0; i <= kAlong; ++i) {
    for (int j = 0; j <= kAround; ++j) {
      std::snprintf(line, sizeof line, "vt %.6f %.6f\n", static_cast<double>(i) / kAlong,
                    static_cast<double>(j) / kAround);
      s += line;
    }
  }
  // The grid's texture coordinate of a corner: its face's (i, j) cell plus
  // the corner's offset, without the wrap the positions have.
  for (size_t f = 0; f < object.faces.size(); ++f) {
    const MqoFace& face = object.faces[f];
    s += 'f';
    for (int c = 0; c < 3; ++c) {
      const int i = static_cast<int>(std::lround(face.uv[c][0] * kAlong));
      const int j = static_cast<int>(std::lround(face.uv[c][1] * kAround));
      std::snprintf(line, sizeof line, " %u/%d", face.index[c] + 1, i * (kAround + 1) + j + 1);
      s += line;
    }
    s += '\n';
  }
  return s;
}

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  const MqoModel model = torusKnot();
  const std::vector<uint8_t> bmdl = writeBinaryModel(model);
  const std::string obj = toObj(model.objects[0]);
  std::printf("model_load_bench: %u triangles, %u shared vertices; .bmdl %zu bytes, .obj %zu bytes\n",
              model.objects[0].faceCount, model.objects[0].vertexCount, bmdl.size(), obj.size());

  std::vector<double> vesper, assimp;
  size_t vesperVertices = 0, assimpVertices = 0;
  for (int rep = 0; rep < kRepetitions; ++rep) {
    auto start = Clock::now();
    MqoModel loaded;
    std::string reason;
    if (!parseBinaryModel(bmdl.data(), bmdl.size(), loaded, reason)) {
      std::fprintf(stderr, "model_load_bench: binary model rejected: %s\n", reason.c_str());
      return 1;
    }
    vesper.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    vesperVertices = loaded.objects[0].vertexCount;

    start = Clock::now();
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(
        obj.data(), obj.size(), aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices | aiProcess_Triangulate,
        "obj");
    if (scene == nullptr || scene->mNumMeshes != 1 || scene->mMeshes[0]->mNumFaces != model.objects[0].faceCount) {
      std::fprintf(stderr, "model_load_bench: Assimp import failed: %s\n", importer.GetErrorString());
      return 1;
    }
    // Both times end with the result in memory; freeing it is not timed.
    assimp.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    assimpVertices = scene->mMeshes[0]->mNumVertices;
  }
  const double a = median(vesper), b = median(assimp);
  std::printf("binary model reader: %8.2f ms median of %d (%zu vertices after the split)\n", a, kRepetitions,
              vesperVertices);
  std::printf("Assimp OBJ import:   %8.2f ms median of %d (%zu vertices after joining)\n", b, kRepetitions,
              assimpVertices);
  std::printf("ratio reader/Assimp: %.3f (goal <= 0.5)\n", a / b);
  return 0;
}
