// Render objects, model and scene-animation renderers, camera and light.
#pragma once

#include "core/core.h"

class cRenderObject : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cRenderObject)
 public:
  virtual ~cRenderObject() = default;
};

class cQdfRender : public cRenderObject {
  VESPER_DECLARE_DYNAMIC(cQdfRender)
};

class cMqoRender : public cRenderObject {
  VESPER_DECLARE_DYNAMIC(cMqoRender)
};

class cMassMqoRender : public cMqoRender {
  VESPER_DECLARE_DYNAMIC(cMassMqoRender)
};

class cameraManager : public Interface<cameraManager> {
  VESPER_DECLARE_DYNAMIC(cameraManager)
 public:
  static cameraManager& instance();
  uint16_t getPriority() const override { return 1; }
};

class lightManager : public Interface<lightManager> {
  VESPER_DECLARE_DYNAMIC(lightManager)
 public:
  static lightManager& instance();
  uint16_t getPriority() const override { return 1; }
};
