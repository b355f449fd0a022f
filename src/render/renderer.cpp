// Renderer manager and draw-command list.
#include "render/render.h"

VESPER_IMPLEMENT_INTERFACE(rendererManager)
VESPER_IMPLEMENT_DYNAMIC(rendererManager, Interface<rendererManager>)
VESPER_IMPLEMENT_INTERFACE(intermediateCommand)
VESPER_IMPLEMENT_DYNAMIC(intermediateCommand, Interface<intermediateCommand>)
