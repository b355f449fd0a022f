// Demo: demo manager and timeline, post-effect chain, custom textures and
// the scene framework.
#pragma once

#include <string>

#include "core/core.h"

class cQdfRender;

// One timeline entry's scene.
class cDemoScene : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cDemoScene)
 public:
  virtual ~cDemoScene() = default;
};

// A file scene's instance; the scene contract every scene class overrides
// selectively. `t` is the progress within the file scene, 0 to 1.
class CSceneQdfDefault : public CoreObject {
  VESPER_DECLARE_DYNAMIC(CSceneQdfDefault)
 public:
  virtual ~CSceneQdfDefault() = default;
  virtual int sceneIndex() const { return index; }
  virtual void setup(cQdfRender* renderer) {}
  virtual void before(cQdfRender* renderer, float t) {}
  virtual void draw(cQdfRender* renderer, float t) {}
  virtual void after(cQdfRender* renderer, float t) {}

  std::string name;
  uint32_t start = 0;
  uint32_t end = 0;
  int index = 0;
};

class sceneManager : public Interface<sceneManager> {
  VESPER_DECLARE_DYNAMIC(sceneManager)
 public:
  static sceneManager& instance();
};

class customTextureManager : public Interface<customTextureManager> {
  VESPER_DECLARE_DYNAMIC(customTextureManager)
 public:
  static customTextureManager& instance();
  uint16_t getPriority() const override { return 1; }
};

class cPostEffectManager : public Interface<cPostEffectManager> {
  VESPER_DECLARE_DYNAMIC(cPostEffectManager)
 public:
  static cPostEffectManager& instance();
  uint16_t getPriority() const override { return 1; }
};

class demoManager : public Interface<demoManager> {
  VESPER_DECLARE_DYNAMIC(demoManager)
 public:
  static demoManager& instance();
  uint16_t getPriority() const override { return 256; }
  // The show's frame. Returns false when the show is over; with no timeline
  // loaded yet there is nothing to play, so the first frame ends it.
  bool update() override;
};
