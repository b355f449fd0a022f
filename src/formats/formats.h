// Scene animation files and binary model files.
#pragma once

#include "resources/resources.h"

class resQDF : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resQDF)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"qdf"}); }
  // Nothing loads until the scene animation reader arrives.
  bool load(CoreFileStream&) override { return false; }
};
