// The model resource.
#include "model/model.h"

VESPER_IMPLEMENT_DYNAMIC(resMQO, resourceObject)
