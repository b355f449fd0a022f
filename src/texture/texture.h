// Textures: texture objects, off-screen render targets, texture files and
// the texture manager.
#pragma once

#include "core/core.h"
#include "resources/resources.h"

class cTexture : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cTexture)
 public:
  virtual ~cTexture() = default;
};

class cScreenBuffer : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cScreenBuffer)
 public:
  virtual ~cScreenBuffer() = default;
};

class resTexture : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resTexture)
 public:
  bool canLoad(CoreFileStream& stream) override {
    return hasExtension(stream, {"bmp", "jpg", "jpeg", "dds", "hdr", "tga", "png"});
  }
  // Nothing loads until the texture decoders arrive.
  bool load(CoreFileStream&) override { return false; }
};

class textureManager : public Interface<textureManager> {
  VESPER_DECLARE_DYNAMIC(textureManager)
 public:
  static textureManager& instance();
  uint16_t getPriority() const override { return 32; }
};
