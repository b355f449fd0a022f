// The production's scene classes, found by name "CSceneQdf_" + file scene.
// Each keeps what it loads in `setup` as counted references or owned
// objects, released with the instance. Drawing needs the current GL context.
#pragma once

#include <memory>
#include <vector>

#include "scene_render/scene_render.h"
#include "scenes/particles.h"

// Plays its file scene by index instead of looking it up by name.
class CSceneQdfByIndex : public CSceneQdfDefault {
 public:
  void draw(cQdfRender* renderer, float t) override;
};

#define VESPER_INDEX_SCENE_CLASS(Name)   \
  class Name : public CSceneQdfByIndex { \
    VESPER_DECLARE_DYNAMIC(Name)         \
  };

VESPER_INDEX_SCENE_CLASS(CSceneQdf_blackgirl)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_clock1)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_clock2)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_fallheart)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_grasswater)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_greetz)
VESPER_INDEX_SCENE_CLASS(CSceneQdf_skyhand2)
// Registered without the "C" prefix, so the file scene "skycloud1" finds no
// class of its own and plays as the default scene.
VESPER_INDEX_SCENE_CLASS(SceneQdf_skycloud1)

// Tints material 0 of the "boxfloor" model from green (t = 0) to red
// (t = 1) while its file scene plays, and asks for it back as loaded after.
class CSceneQdf_boxfloor1 : public CSceneQdfByIndex {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_boxfloor1)
 public:
  static constexpr char kModelName[] = "boxfloor.bmdl";
  void setup(cQdfRender* renderer) override;
  void before(cQdfRender* renderer, float t) override;
  void after(cQdfRender* renderer, float t) override;
  int modelSlot() const { return mSlot; }

 private:
  int mSlot = -1;  // -1: the scene file holds no such model
  uint32_t mMaterial = 0;
  // Kept from frame to frame: copying into it reuses its strings' storage,
  // so a frame allocates nothing.
  MqoMaterial mTinted;
};

// The loading bar: drawn before anything is loaded, without a renderer.
class CSceneQdf_loader : public CSceneQdfDefault {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_loader)
 public:
  void before(cQdfRender* renderer, float t) override;
  void draw(cQdfRender* renderer, float t) override;
};

// Four point-sprite sets with the four feather textures.
class PointSpriteScene : public CSceneQdfDefault {
 public:
  explicit PointSpriteScene(PointGenerator generator) : mGenerator(generator) {}
  void setup(cQdfRender* renderer) override;

 protected:
  // Draws every set at t, each under its own pushed model-view matrix.
  void drawSets(DrawContext& context, float t);

 private:
  PointGenerator mGenerator;
  std::vector<PointParticleSet> mSets;
  std::vector<std::unique_ptr<CParticle>> mParticles;
};

// Feathers rising through the file scene, drawn under its matrices.
class CSceneQdf_skyhand1 : public PointSpriteScene {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_skyhand1)
 public:
  CSceneQdf_skyhand1() : PointSpriteScene(PointGenerator::Skyhand1) {}
  void draw(cQdfRender* renderer, float t) override;
};

// Feathers falling towards a fixed camera in front of the file scene.
class CSceneQdf_hanescene3 : public PointSpriteScene {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_hanescene3)
 public:
  CSceneQdf_hanescene3() : PointSpriteScene(PointGenerator::Hanescene3) {}
  void draw(cQdfRender* renderer, float t) override;
};

// A billboard cloud: its textures, the cloud effect and the elements.
class CloudScene : public CSceneQdfDefault {
 public:
  explicit CloudScene(CloudGenerator generator) : mGenerator(generator) {}
  void setup(cQdfRender* renderer) override;
  const std::vector<CloudElement>& elements() const { return mElements; }

 protected:
  // Under a fixed camera at (0, 0, eyeZ) looking at the origin, with the
  // eye position published: draws the cloud at t, scaled by `scale`.
  void drawFromEye(DrawContext& context, float eyeZ, float scale, float t);

 private:
  CloudGenerator mGenerator;
  std::vector<ResourceRef<resTexture>> mTextures;
  CParticleCloud mCloud;
  std::vector<CloudElement> mElements;
};

// Feathers drifting in front of the file scene.
class CSceneQdf_hanescene1 : public CloudScene {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_hanescene1)
 public:
  CSceneQdf_hanescene1() : CloudScene(CloudGenerator::Hanescene1) {}
  void draw(cQdfRender* renderer, float t) override;
};

// A column of feathers rising while the background fades to white; the
// file scene only gives the timing.
class CSceneQdf_hanescene4 : public CloudScene {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_hanescene4)
 public:
  CSceneQdf_hanescene4() : CloudScene(CloudGenerator::Hanescene4) {}
  void draw(cQdfRender* renderer, float t) override;
};

// Rising glows on black; the file scene only gives the timing.
class CSceneQdf_lightball : public CloudScene {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_lightball)
 public:
  CSceneQdf_lightball() : CloudScene(CloudGenerator::Lightball) {}
  void setup(cQdfRender* renderer) override;
  void draw(cQdfRender* renderer, float t) override;
};

// The full-screen metaball image instead of the file scene.
class CSceneQdf_metaball : public CSceneQdfDefault {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_metaball)
 public:
  void setup(cQdfRender* renderer) override;
  void draw(cQdfRender* renderer, float t) override;

 private:
  MetaballQuad mMetaball;
};
