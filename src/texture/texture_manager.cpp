// Texture objects and the texture manager.
#include "texture/texture.h"

VESPER_IMPLEMENT_DYNAMIC(cTexture, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(cScreenBuffer, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(resTexture, resourceObject)
VESPER_IMPLEMENT_INTERFACE(textureManager)
VESPER_IMPLEMENT_DYNAMIC(textureManager, Interface<textureManager>)
