// One timeline entry's scene (a scene file played by its scene instances),
// the scene instance a file scene gets, and a file scene as the loading
// screen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "formats/formats.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"

// One timeline entry's scene: the scene file, its renderer and one scene
// instance per file scene, played one after another.
class cDemoScene : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cDemoScene)
 public:
  // An empty scene that never draws (what the class registry creates).
  cDemoScene() = default;
  // Loads (or shares) the scene file at `path`. animStart -1 is 0; animEnd -1
  // is the sum of every camera object's last key time.
  cDemoScene(const char* pPath, const char* pShader, int line, uint32_t sTime, uint32_t eTime, int animStart,
             int animEnd);
  virtual ~cDemoScene();
  // The scene manager's end and readiness queries.
  virtual bool end() { return true; }
  virtual bool isReady() { return true; }
  // The context its drawing uses (not owned); required before render.
  void setDrawContext(DrawContext* context);
  // Draws the file scene current at `progress` (0 to 1 of the entry's
  // window) into the bound target; nothing when none is current. True.
  virtual bool render(float progress);

  const std::string& path() const { return mPath; }
  const std::string& shader() const { return mShader; }
  int line() const { return mLine; }
  uint32_t sTime() const { return mSTime; }
  uint32_t eTime() const { return mETime; }
  int animStart() const { return mAnimStart; }
  int animEnd() const { return mAnimEnd; }
  resQDF* scene() const { return mScene.get(); }
  cQdfRender* renderer() const { return mRenderer.get(); }
  const std::vector<std::unique_ptr<CSceneQdfDefault>>& sceneInstances() const { return mSceneInstances; }

 private:
  std::string mPath;
  std::string mShader;
  int mLine = 0;
  uint32_t mSTime = 0;
  uint32_t mETime = 0;
  int mAnimStart = 0;
  int mAnimEnd = 0;
  ResourceRef<resQDF> mScene;
  std::unique_ptr<cQdfRender> mRenderer;
  std::vector<std::unique_ptr<CSceneQdfDefault>> mSceneInstances;
};

// The file scene instance for `name`: the registered class "CSceneQdf_" +
// name (prefix rule) when it derives from CSceneQdfDefault, else the default.
std::unique_ptr<CSceneQdfDefault> createSceneInstance(const std::string& name);

// A file scene as the loading screen: each frame is its before, draw and
// after at the loading progress, without a renderer.
class QdfLoadingScene : public LoadingScene {
 public:
  explicit QdfLoadingScene(std::unique_ptr<CSceneQdfDefault> scene) : mScene(std::move(scene)) {}
  void draw(float progress) override;
  CSceneQdfDefault* scene() const { return mScene.get(); }

 private:
  std::unique_ptr<CSceneQdfDefault> mScene;
};
