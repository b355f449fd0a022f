// The model resource.
#pragma once

#include "resources/resources.h"

class resMQO : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resMQO)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"mqo", "bmdl"}); }
  // Nothing loads until the model reader arrives.
  bool load(CoreFileStream&) override { return false; }
};
