// The engine's stack of demo scenes by class name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "demo/demo_scene.h"

// A stack of demo scenes by class name; the engine keeps it, the show does
// not use it.
class sceneManager : public Interface<sceneManager> {
  VESPER_DECLARE_DYNAMIC(sceneManager)
 public:
  static sceneManager& instance();
  ~sceneManager() override;
  // Ends and deletes the current scene; `pName` becomes current on update.
  void changeScene(const char* pName);
  // Suspends the current scene; `pName` becomes current on update.
  void pushScene(const char* pName);
  // Ends the current scene and resumes the last suspended one.
  void popScene();
  // An instance of the registered demo scene class `pName`, or null.
  static std::unique_ptr<cDemoScene> createScene(const char* pName);
  bool update() override;
  bool terminate() override;
  cDemoScene* currentScene() const { return mCurrent.get(); }
  size_t stackDepth() const { return mStack.size(); }

 private:
  std::vector<std::unique_ptr<cDemoScene>> mStack;
  std::unique_ptr<cDemoScene> mCurrent;
  bool mChangePending = false;
  std::string mPendingName;
};
