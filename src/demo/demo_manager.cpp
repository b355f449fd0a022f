// Demo manager, scene framework and the other demo-side managers.
#include "demo/demo.h"

VESPER_IMPLEMENT_DYNAMIC(cDemoScene, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdfDefault, CoreObject)
VESPER_IMPLEMENT_INTERFACE(sceneManager)
VESPER_IMPLEMENT_DYNAMIC(sceneManager, Interface<sceneManager>)
VESPER_IMPLEMENT_INTERFACE(customTextureManager)
VESPER_IMPLEMENT_DYNAMIC(customTextureManager, Interface<customTextureManager>)
VESPER_IMPLEMENT_INTERFACE(cPostEffectManager)
VESPER_IMPLEMENT_DYNAMIC(cPostEffectManager, Interface<cPostEffectManager>)
VESPER_IMPLEMENT_INTERFACE(demoManager)
VESPER_IMPLEMENT_DYNAMIC(demoManager, Interface<demoManager>)

bool demoManager::update() { return false; }
