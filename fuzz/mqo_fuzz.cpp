// Fuzz entry for the Metasequoia text reader: whatever it accepts must
// convert into a binary model that the engine's reader takes back with the
// same objects, faces and materials.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/mqo_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MqoModel model;
  std::string error;
  int line = 0;
  if (!parseMqoText(reinterpret_cast<const char*>(data), size, model, error, line)) {
    if (error.empty() || line < 1) __builtin_trap();
    return 0;
  }
  const std::vector<uint8_t> bytes = writeBinaryModel(model);
  MqoModel back;
  if (!parseBinaryModel(bytes.data(), bytes.size(), back, error)) __builtin_trap();
  if (back.objects.size() != model.objects.size() || back.materials.size() != model.materials.size() ||
      back.points.size() != model.points.size()) {
    __builtin_trap();
  }
  for (size_t i = 0; i < model.objects.size(); ++i) {
    if (back.objects[i].faceCount != model.objects[i].faceCount) __builtin_trap();
  }
  return 0;
}
