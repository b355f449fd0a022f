// Resource cache and loading.
#include "resources/resources.h"

VESPER_IMPLEMENT_DYNAMIC(resourceObject, CoreObject)
VESPER_IMPLEMENT_INTERFACE(resourceManager)
VESPER_IMPLEMENT_DYNAMIC(resourceManager, Interface<resourceManager>)
