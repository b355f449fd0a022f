// Scene animation files and binary model files.
#pragma once

#include "resources/resources.h"

class resQDF : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resQDF)
};
