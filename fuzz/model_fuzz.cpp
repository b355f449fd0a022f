// The binary model reader (with normals and the vertex split) on arbitrary
// bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MqoModel model;
  std::string reason;
  if (!parseBinaryModel(data, size, model, reason)) return 0;
  // Every corner the draw arrays would read must exist, and every normal of
  // a finite model must be finite.
  for (const MqoObject& o : model.objects) {
    if (o.positions.size() != o.vertexCount || o.normals.size() != o.vertexCount) __builtin_trap();
    for (const MqoFace& f : o.faces) {
      for (uint32_t c = 0; c < f.cornerCount; ++c) {
        if (f.index[c] >= o.vertexCount) __builtin_trap();
      }
    }
    bool finite = true;
    for (const glm::vec3& p : o.positions) finite = finite && std::isfinite(p.x + p.y + p.z);
    for (const glm::vec3& n : o.normals) {
      if (finite && !std::isfinite(n.x + n.y + n.z)) __builtin_trap();
    }
  }
  return 0;
}
