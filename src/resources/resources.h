// Resources: reference-counted objects keyed by pack entry name, and the
// manager that creates, caches and releases them.
#pragma once

#include <string>

#include "core/core.h"

class CoreFileStream;

class resourceObject : public CoreObject {
  VESPER_DECLARE_DYNAMIC(resourceObject)
 public:
  resourceObject() = default;
  virtual ~resourceObject() = default;

  int refCount = 0;
};

class resourceManager : public Interface<resourceManager> {
  VESPER_DECLARE_DYNAMIC(resourceManager)
 public:
  static resourceManager& instance();
};
