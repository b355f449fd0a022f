// Render objects, camera and light managers.
#include "scene_render/scene_render.h"

VESPER_IMPLEMENT_DYNAMIC(cRenderObject, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(cQdfRender, cRenderObject)
VESPER_IMPLEMENT_DYNAMIC(cMqoRender, cRenderObject)
VESPER_IMPLEMENT_DYNAMIC(cMassMqoRender, cMqoRender)
VESPER_IMPLEMENT_INTERFACE(cameraManager)
VESPER_IMPLEMENT_DYNAMIC(cameraManager, Interface<cameraManager>)
VESPER_IMPLEMENT_INTERFACE(lightManager)
VESPER_IMPLEMENT_DYNAMIC(lightManager, Interface<lightManager>)
