// Fuzz entry for effect files: parsing, leaf flattening, program text
// generation and the GL-free part of effect construction. No GL is touched.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shader/effect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fx::EffectSource source;
  fx::ParseError error;
  if (fx::parseEffect(text, source, error)) {
    std::vector<fx::LeafParam> leaves;
    std::string reason;
    fx::flattenParameters(source, leaves, reason);
    std::string program;
    for (const auto& t : source.techniques) {
      for (const auto& p : t.passes) {
        if (!p.vertexEntry.empty()) fx::generateProgram(text, source, p.vertexEntry, fx::Stage::Vertex, program);
        if (!p.fragmentEntry.empty())
          fx::generateProgram(text, source, p.fragmentEntry, fx::Stage::Fragment, program);
      }
    }
  }
  std::string reason;
  auto effect = fx::Effect::fromText(text, "fuzz.cgfx", reason);
  if (effect) {
    const float values[16] = {};
    for (const auto& p : effect->parameters()) {
      effect->setParameter(p.name.c_str(), values);
      effect->setParameter(p.semantic.c_str(), values);
    }
  }
  return 0;
}
