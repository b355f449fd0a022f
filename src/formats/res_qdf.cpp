// Scene animation file resource.
#include "formats/formats.h"

VESPER_IMPLEMENT_DYNAMIC(resQDF, resourceObject)
