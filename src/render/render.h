// Renderer manager and the recorded draw-command list.
#pragma once

#include "core/core.h"

class rendererManager : public Interface<rendererManager> {
  VESPER_DECLARE_DYNAMIC(rendererManager)
 public:
  static rendererManager& instance();
  uint16_t getPriority() const override { return 16; }
};

class intermediateCommand : public Interface<intermediateCommand> {
  VESPER_DECLARE_DYNAMIC(intermediateCommand)
 public:
  static intermediateCommand& instance();
  uint16_t getPriority() const override { return 17; }
};
