#include "effect_compile.h"

#include <cstdlib>

std::unique_ptr<testing_support::GlContext> openEffectContext(std::string& error) {
  const char* display = std::getenv("DISPLAY");
  // Without a display SDL picks no driver by itself; offscreen (EGL) compiles
  // just as well.
  if (!(display && *display)) setenv("SDL_VIDEODRIVER", "offscreen", 0);
  auto context = std::make_unique<testing_support::GlContext>(64, 64);
  if (context->ok()) return context;
  error = "no OpenGL context (run under X, or without DISPLAY for the offscreen driver)";
  return nullptr;
}

CompiledEffect compileEffect(std::string_view text, const std::string& name) {
  CompiledEffect out;
  out.effect = fx::Effect::fromText(text, name, out.parseError);
  if (out.effect) out.valid = out.effect->chooseTechnique(&out.diagnostics);
  return out;
}
