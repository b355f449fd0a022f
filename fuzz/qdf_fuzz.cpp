// Fuzz entry for the scene animation reader: the model count, a parse with
// models that never load (whose problems must name lines of the text), and
// key evaluation of every part of every object at times around and between
// its keys.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  countQdfModels(text, size);

  QdfData parsed;
  std::vector<QdfProblem> problems;
  int progress = 0;
  parseQdfText(
      text, size, parsed, [](const std::string&) -> resMQO* { return nullptr; }, [&progress] { ++progress; },
      &problems);

  // Every problem names a line of the text.
  const long lines = 1 + std::count(text, text + size, '\n');
  for (const QdfProblem& problem : problems) {
    if (problem.line < 1 || problem.line > lines || problem.reason.empty()) __builtin_trap();
  }

  float sink = 0.0f;
  for (const QdfScene& scene : parsed.scenes) {
    for (const QdfObject& object : scene.objects) {
      std::vector<float> times = {-1.0f, 0.0f, 0.5f, 1e30f};
      // A bounded sample: the search is linear in the key count already.
      for (size_t i = 0; i < object.times.size() && i < 32; ++i) {
        const float t = object.times[i];
        times.push_back(t);
        times.push_back(t + 0.25f);
      }
      for (const auto& part : object.parts) {
        for (float t : times) sink += evaluateKey(object, part.first, t).position.x;
      }
      sink += evaluateKey(object, "no such part", 1.0f).alpha;
    }
  }
  volatile float keep = sink;
  (void)keep;
  return 0;
}
