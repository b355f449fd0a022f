// Scene animation file resource.
#include "formats/formats.h"

VESPER_IMPLEMENT_DYNAMIC(resQDF, resourceObject)

resQDF::resQDF() = default;
resQDF::~resQDF() { unload(); }

// Nothing loads until the scene animation reader arrives.
bool resQDF::load(CoreFileStream&) { return false; }
bool resQDF::unload() { return true; }
