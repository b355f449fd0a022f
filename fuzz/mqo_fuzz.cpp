// Fuzz entry for the Metasequoia text reader: whatever it accepts must
// convert into a binary model that the engine's reader takes back with the
// same objects, faces and materials; keeping hidden objects only ever adds
// objects, and every note has a text.
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
  std::vector<MqoNote> notes;
  if (!parseMqoText(reinterpret_cast<const char*>(data), size, model, error, line, {}, &notes)) {
    if (error.empty() || line < 1) __builtin_trap();
    return 0;
  }
  for (const MqoNote& note : notes) {
    if (note.text.empty() || note.line < 0) __builtin_trap();
  }
  MqoModel all;
  MqoReadOptions keep;
  keep.keepHidden = true;
  if (!parseMqoText(reinterpret_cast<const char*>(data), size, all, error, line, keep, nullptr)) __builtin_trap();
  if (all.objects.size() < model.objects.size()) __builtin_trap();
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
