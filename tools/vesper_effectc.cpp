// vesper-effectc: compiles effect files on a hidden GL context and prints
// what the engine would use: the chosen technique, its passes and the
// parameter table. Compile errors go to stderr with file, technique and pass.
#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "effect_compile.h"
#include "tool_version.h"

namespace {

const char kUsage[] =
    "usage: vesper-effectc FILE.cgfx...\n"
    "Compiles each effect (GLSL 1.20) in a hidden window on the X display, or with\n"
    "SDL's offscreen driver when DISPLAY is unset, and prints its chosen technique,\n"
    "passes and parameters. Exit status 1 when any effect has no valid technique.\n";

bool check(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vesper-effectc: %s: cannot read\n", path);
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const CompiledEffect compiled = compileEffect(text, path);
  std::printf("effect: %s\n", path);
  if (!compiled.effect) {
    std::fprintf(stderr, "%s:%s\n", path, compiled.parseError.c_str());
    std::printf("  syntax error\n");
    return false;
  }
  std::fputs(compiled.diagnostics.c_str(), stderr);
  const fx::Effect* effect = compiled.effect.get();
  const bool valid = compiled.valid;
  if (valid) {
    std::printf("  technique: %s (%d of %zu)\n", effect->techniqueName().c_str(), effect->techniqueIndex() + 1,
                effect->source().techniques.size());
    for (size_t i = 0; i < effect->passCount(); ++i)
      std::printf("  pass %zu: %s\n", i, effect->passName(i).c_str());
  } else {
    std::printf("  no valid technique\n");
  }
  for (const auto& p : effect->parameters()) {
    std::printf("  parameter: %-20s semantic: %-14s type: %s\n", p.name.c_str(),
                p.semantic.empty() ? "-" : p.semantic.c_str(), fx::typeName(p.type).c_str());
  }
  return valid;
}

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-effectc")) return 0;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string error;
  const auto gl = openEffectContext(error);
  if (!gl) {
    std::fprintf(stderr, "vesper-effectc: %s\n", error.c_str());
    return 1;
  }
  bool ok = true;
  for (int i = 1; i < argc; ++i) ok = check(argv[i]) && ok;
  return ok ? 0 : 1;
}
