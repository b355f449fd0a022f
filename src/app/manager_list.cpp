// The seventeen manager singletons. They are defined together, in this one
// translation unit, because their construction order is their position in
// the manager list (which breaks priority ties in both passes), and only
// definition order within one file is fixed by the language.
#include "app/managers.h"
#include "demo/custom_textures.h"
#include "demo/demo_manager.h"
#include "demo/post_effects.h"
#include "demo/scene_manager.h"
#include "render/render.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

namespace {
systemManager gSystemManager;
resourceManager gResourceManager;
textureManager gTextureManager;
messageManager gMessageManager;
intermediateCommand gIntermediateCommand;
flagManager gFlagManager;
sceneManager gSceneManager;
rendererManager gRendererManager;
profileManager gProfileManager;
cameraManager gCameraManager;
lightManager gLightManager;
customTextureManager gCustomTextureManager;
cPostEffectManager gPostEffectManager;
applicationManager gApplicationManager;
settingsManager gSettingsManager;
demoManager gDemoManager;
shaderManager gShaderManager;
// Not a manager: installs itself in the demo manager defined above.
ApplicationShowHost gShowHost{gDemoManager};
}  // namespace

systemManager& systemManager::instance() { return gSystemManager; }
resourceManager& resourceManager::instance() { return gResourceManager; }
textureManager& textureManager::instance() { return gTextureManager; }
messageManager& messageManager::instance() { return gMessageManager; }
intermediateCommand& intermediateCommand::instance() { return gIntermediateCommand; }
flagManager& flagManager::instance() { return gFlagManager; }
sceneManager& sceneManager::instance() { return gSceneManager; }
rendererManager& rendererManager::instance() { return gRendererManager; }
profileManager& profileManager::instance() { return gProfileManager; }
cameraManager& cameraManager::instance() { return gCameraManager; }
lightManager& lightManager::instance() { return gLightManager; }
customTextureManager& customTextureManager::instance() { return gCustomTextureManager; }
cPostEffectManager& cPostEffectManager::instance() { return gPostEffectManager; }
applicationManager& applicationManager::instance() { return gApplicationManager; }
settingsManager& settingsManager::instance() { return gSettingsManager; }
demoManager& demoManager::instance() { return gDemoManager; }
shaderManager& shaderManager::instance() { return gShaderManager; }

FrameManagers engineFrameManagers() {
  return FrameManagers{&gProfileManager, &gFlagManager, &gSystemManager, &gRendererManager,
                       &gDemoManager};
}
