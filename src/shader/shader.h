// Shader manager and effect resources.
#pragma once

#include "core/core.h"
#include "resources/resources.h"

class resShader : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resShader)
};

class shaderManager : public Interface<shaderManager> {
  VESPER_DECLARE_DYNAMIC(shaderManager)
 public:
  static shaderManager& instance();
  uint16_t getPriority() const override { return 1; }
};
