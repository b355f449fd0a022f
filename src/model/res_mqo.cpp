// The model resource.
#include "model/model.h"

VESPER_IMPLEMENT_DYNAMIC(resMQO, resourceObject)

resMQO::resMQO() = default;
resMQO::~resMQO() { unload(); }

// Nothing loads until the model reader arrives.
bool resMQO::load(CoreFileStream&) { return false; }
bool resMQO::unload() { return true; }
