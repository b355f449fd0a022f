// Shader manager and effect resources.
#include "shader/shader.h"

VESPER_IMPLEMENT_DYNAMIC(resShader, resourceObject)
VESPER_IMPLEMENT_INTERFACE(shaderManager)
VESPER_IMPLEMENT_DYNAMIC(shaderManager, Interface<shaderManager>)
