// The importer against Assimp, in the same run on the same file: a
// deterministic torus knot of 200 000 triangles with normals, written as a
// glTF file with its buffer beside it. Times Assimp's own read (ReadFile with
// the importer's post-processing) and vesper-import's whole conversion (that
// read, the model, the scene file, the read-back check and the files
// written); prints the median times and the ratio.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "import/import.h"
#include "support/gltf_writer.h"
#include "torus_knot.h"

namespace {

constexpr int kRepetitions = 7;

gltf_testing::Mesh torusKnot() {
  gltf_testing::Mesh mesh;
  mesh.material = 0;
  for (int i = 0; i < kKnotAlong; ++i) {
    for (int j = 0; j < kKnotAround; ++j) {
      glm::vec3 position, out;
      knotVertex(i, j, position, out);
      mesh.positions.push_back(position);
      mesh.normals.push_back(out);
    }
  }
  const auto vertex = [](int i, int j) {
    return static_cast<uint32_t>((i % kKnotAlong) * kKnotAround + (j % kKnotAround));
  };
  for (int i = 0; i < kKnotAlong; ++i) {
    for (int j = 0; j < kKnotAround; ++j) {
      const uint32_t quad[4] = {vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1), vertex(i, j + 1)};
      for (int c : {0, 1, 2, 0, 2, 3}) mesh.indices.push_back(quad[c]);
    }
  }
  return mesh;
}

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/import_bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("import_bench: mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  gltf_testing::Document doc;
  doc.meshes = {torusKnot()};
  doc.materials = {{0.8f, 0.6f, 0.3f, 1.0f}};
  doc.nodes = {{"knot", 0, -1, {}, {1, 0, 0, 0}, {1, 1, 1}, {}}};
  doc.roots = {0};
  std::vector<uint8_t> buffer;
  const std::string json = gltf_testing::write(doc, &buffer, "knot.bin");
  std::ofstream(dir / "knot.gltf", std::ios::binary) << json;
  std::ofstream(dir / "knot.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  const size_t triangles = doc.meshes[0].indices.size() / 3;
  std::printf("import_bench: %zu triangles, %zu vertices; .gltf %zu bytes + .bin %zu bytes\n", triangles,
              doc.meshes[0].positions.size(), json.size(), buffer.size());

  std::vector<double> assimp, vesper;
  for (int rep = 0; rep < kRepetitions; ++rep) {
    Clock::time_point start = Clock::now();
    {
      Assimp::Importer importer;
      importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
      const aiScene* scene = importer.ReadFile((dir / "knot.gltf").string(), importPostProcessing());
      if (scene == nullptr || scene->mNumMeshes != 1 || scene->mMeshes[0]->mNumFaces != triangles) {
        std::fprintf(stderr, "import_bench: Assimp import failed: %s\n", importer.GetErrorString());
        return 1;
      }
      assimp.push_back(since(start));
    }  // freeing the scene is not timed

    start = Clock::now();
    ImportOptions options;
    options.input = (dir / "knot.gltf").string();
    options.outDir = (dir / "out").string();
    ImportResult result;
    std::string reason;
    if (!importScene(options, result, reason)) {
      std::fprintf(stderr, "import_bench: vesper-import failed: %s\n", reason.c_str());
      return 1;
    }
    vesper.push_back(since(start));
  }
  const double a = median(assimp), v = median(vesper);
  std::printf("Assimp ReadFile:          %8.2f ms median of %d\n", a, kRepetitions);
  std::printf("vesper-import conversion: %8.2f ms median of %d\n", v, kRepetitions);
  std::printf("ratio conversion/Assimp:  %.3f (goal <= 2)\n", v / a);
  fs::remove_all(dir);
  return 0;
}
