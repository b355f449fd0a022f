// Link-time fallback for cTexture::writeToFile: a weak definition that
// writes nothing and reports it. The texture subsystem's PNG writer is a
// strong definition and replaces this one whenever it is linked.
#include <cstdio>

#include "texture/texture.h"

__attribute__((weak)) bool cTexture::writeToFile(const char* fileName) const {
  std::fprintf(stderr, "texture: %s: no PNG writer linked\n", fileName ? fileName : "(null)");
  return false;
}
