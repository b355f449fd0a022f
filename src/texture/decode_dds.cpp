// DDS: DXT1-compressed cube maps with all six faces and a mip-map count.
#include <GL/glew.h>

#include <cstring>

#include "texture/decode.h"

namespace texture_decode {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr uint32_t kRequiredFlags = 0x21007;  // caps, height, width, pixel format, mip-map count
constexpr uint32_t kAllCubeFaces = 0xFE00;
constexpr uint32_t kDepthFlag = 0x800000;

// Bytes of six faces with `levels` DXT1 levels each, as the texture sizes
// its pixel copy (levels never shrink below 1x1).
uint64_t cubeBytes(uint32_t width, uint32_t height, uint32_t levels) {
  uint64_t face = 0;
  for (uint32_t level = 0; level < levels; ++level) {
    face += static_cast<uint64_t>((width + 3) / 4) * ((height + 3) / 4) * 8;
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
  }
  return face * 6;
}

}  // namespace

TexturePtr decodeDds(const uint8_t* data, size_t size, std::string& reason) {
  if (size < kHeaderSize) {
    reason = "file is shorter than the DDS header";
    return nullptr;
  }
  // Common tools write a depth of 1 for a cube map, without the depth flag.
  const uint32_t flags = le32(data + 8);
  const uint32_t depth = le32(data + 24);
  const bool flatDepth = depth == 0 || (depth == 1 && !(flags & kDepthFlag));
  if (std::memcmp(data, "DDS ", 4) != 0 || le32(data + 4) != 124 ||
      (flags & kRequiredFlags) != kRequiredFlags || !flatDepth ||
      le32(data + 76) != 32 || std::memcmp(data + 84, "DXT1", 4) != 0 ||
      le32(data + 112) != kAllCubeFaces) {
    reason = "not a DXT1 cube map with six faces and mip-maps";
    return nullptr;
  }
  const uint32_t height = le32(data + 12);
  const uint32_t width = le32(data + 16);
  const uint32_t levels = le32(data + 28);
  // More than 32 levels cannot be distinct; the cap also bounds the size sum.
  if (!sizeAllowed(width, height) || levels == 0 || levels > 32) {
    reason = "bad size or mip-map count";
    return nullptr;
  }

  auto texture = std::make_unique<cTexture>();
  // The copy is sized from the texture's own (possibly rounded) size, so
  // the file must hold exactly that much after the header.
  const uint64_t expected = cubeBytes(width, height, levels);
  if (expected > size - kHeaderSize) {
    reason = "file is shorter than its header says";
    return nullptr;
  }
  texture->create(width, height, 1, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 0, 0, GL_TEXTURE_CUBE_MAP,
                  GL_LINEAR, GL_CLAMP_TO_EDGE, levels);
  if (!texture->pixels() || texture->dataSize() > size - kHeaderSize) {
    reason = "file is shorter than its header says";
    return nullptr;
  }
  std::memcpy(texture->pixels(), data + kHeaderSize, texture->dataSize());
  return texture;
}

}  // namespace texture_decode
