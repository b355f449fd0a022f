// The model resource.
#pragma once

#include "resources/resources.h"

class resMQO : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resMQO)
};
