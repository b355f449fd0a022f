// Effect compilation as the engine does it, shared by the effect tools: a
// hidden GL context to compile on, and one effect text turned into its
// chosen technique with every validation message kept.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "shader/effect.h"
#include "support/gl_context.h"

// A hidden window's GL context on the X display DISPLAY names, or with SDL's
// offscreen driver when there is none. Null, with a reason, when none opens.
std::unique_ptr<testing_support::GlContext> openEffectContext(std::string& error);

struct CompiledEffect {
  std::unique_ptr<fx::Effect> effect;  // null when the text does not parse
  bool valid = false;                  // a technique compiled, linked and was chosen
  std::string parseError;              // "LINE: message" when the text does not parse
  // Every failure met while choosing, in order (also when a later technique
  // was chosen); each message ends in a line feed.
  std::string diagnostics;
};

// Parses `text` and chooses its first technique that validates on the
// current context. `name` appears in the messages.
CompiledEffect compileEffect(std::string_view text, const std::string& name);
