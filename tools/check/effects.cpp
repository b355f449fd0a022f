// The GL stage: every effect of the pack compiled as the player would, and
// what the show sets on each one checked against its parameter table.
#include <cctype>
#include <set>

#include "check/check.h"
#include "demo/definitions.h"
#include "effect_compile.h"

namespace check {

namespace {

// "12: message" -> "line 12: message".
std::string withLineWord(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits > 0 && text.compare(digits, 2, ": ") == 0) return "line " + text;
  return text;
}

// The first validation failure on one line, without the "shader: NAME"
// prefix: its heading and the first line of the compiler's log.
std::string firstFailure(const std::string& diagnostics, const std::string& name) {
  std::string text = diagnostics;
  const size_t second = text.find('\n', text.find('\n') + 1);
  if (second != std::string::npos) text.resize(second);
  const std::string prefix = "shader: " + name;
  if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
  if (text.compare(0, 2, ": ") == 0) text.erase(0, 2);
  if (!text.empty() && text[0] == '(') {
    const size_t close = text.find("): ");
    if (close != std::string::npos) text = "line " + text.substr(1, close - 1) + ": " + text.substr(close + 3);
  }
  for (char& c : text)
    if (c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? "no technique" : text;
}

bool declares(const fx::Effect& effect, const std::string& name) {
  for (const fx::ParamInfo& p : effect.parameters())
    if (p.name == name || p.semantic == name) return true;
  return false;
}

}  // namespace

void checkEffects(const Pack& pack, const Needs& needs, Report& report) {
  std::set<std::string> declared;  // every name and semantic of the usable effects
  for (const std::string& name : pack.names()) {
    if (!isEffectName(name)) continue;
    const std::vector<uint8_t>& bytes = *pack.find(name);
    const CompiledEffect compiled =
        compileEffect(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), name);
    if (!compiled.effect) {
      report.error(name, "does not parse: " + withLineWord(compiled.parseError));
      continue;
    }
    if (!compiled.valid) {
      report.error(name, "no technique compiles and links: " + firstFailure(compiled.diagnostics, name));
      continue;
    }
    const fx::Effect& effect = *compiled.effect;
    for (const fx::ParamInfo& p : effect.parameters()) {
      declared.insert(p.name);
      if (!p.semantic.empty()) declared.insert(p.semantic);
    }
    const auto needed = needs.effects.find(name);
    if (needed == needs.effects.end()) continue;
    for (const EffectRequirement& r : needed->second) {
      if (r.passes > 0 && effect.passCount() < static_cast<size_t>(r.passes)) {
        report.error(r.file, r.where + name + " has " + std::to_string(effect.passCount()) + " passes; " +
                                 std::to_string(r.passes) + " needed");
      }
      if (!r.param.empty() && !declares(effect, r.param)) {
        report.error(r.file, r.where + name + " declares no parameter or semantic \"" + r.param + "\"");
      }
    }
  }
  for (const auto& [sampler, where] : needs.samplers) {
    if (!declared.count(sampler)) report.warning(kCustomTextureDefinePath, where + "no effect declares this sampler");
  }
}

}  // namespace check
