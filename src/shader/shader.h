// Shader manager and effect resources.
#pragma once

#include "core/core.h"
#include "resources/resources.h"

class resShader : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resShader)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"cg", "fx", "cgfx"}); }
  // Nothing loads until the effect runtime arrives.
  bool load(CoreFileStream&) override { return false; }
};

class shaderManager : public Interface<shaderManager> {
  VESPER_DECLARE_DYNAMIC(shaderManager)
 public:
  static shaderManager& instance();
  uint16_t getPriority() const override { return 1; }
};
