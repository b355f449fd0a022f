// BMP, JPEG and GIF pictures through stb_image, rendered to 8-bit RGB. Pure
// blue (0, 0, 255) is the transparent colour key; a 32-bit BMP brings its own
// alpha instead.
#include <GL/glew.h>
#include <stb/stb_image.h>

#include <cstring>

#include "texture/decode.h"

namespace texture_decode {

namespace {

bool isPictureFile(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return true;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return true;
  return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

// Alpha of a 32-bit BMP: the fourth byte of every stored pixel. The pixel
// data is found through the file header's offset field, so version 4 and 5
// info headers work too; bottom-up and top-down row orders are both honoured.
bool applyBmpAlpha(const uint8_t* data, size_t size, cTexture& texture, int width, int height) {
  if (size < 30 || data[0] != 'B' || data[1] != 'M') return true;
  const uint16_t bitCount = static_cast<uint16_t>(data[28] | data[29] << 8);
  if (bitCount != 32) return true;
  const uint32_t offset = le32(data + 10);
  const bool topDown = static_cast<int32_t>(le32(data + 22)) < 0;
  const uint64_t need = static_cast<uint64_t>(width) * height * 4;
  if (offset > size || size - offset < need) return false;
  const uint8_t* pixels = data + offset;
  const size_t rowBytes = static_cast<size_t>(texture.width()) * 4;
  for (int r = 0; r < height; ++r) {
    const int fileRow = topDown ? r : height - 1 - r;
    const uint8_t* src = pixels + static_cast<size_t>(fileRow) * width * 4;
    uint8_t* dst = texture.pixels() + r * rowBytes;
    for (int x = 0; x < width; ++x) dst[x * 4 + 3] = src[x * 4 + 3];
  }
  return true;
}

// RGB from `src` to `dst` (which may be the same block) with alpha 0 for the
// colour key and 255 elsewhere; the alpha stb_image wrote is ignored. Whole
// pixels as 32-bit words (byte order R, G, B, A in memory), so the compiler
// can vectorise the loop.
void applyColourKey(const uint8_t* src, uint8_t* dst, size_t count) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words assume little-endian");
  constexpr uint32_t kRgbMask = 0x00FFFFFFu;
  constexpr uint32_t kBlue = 0x00FF0000u;
  constexpr uint32_t kOpaque = 0xFF000000u;
  for (size_t i = 0; i < count; ++i) {
    uint32_t p;
    std::memcpy(&p, src + i * 4, 4);
    const uint32_t rgb = p & kRgbMask;
    const uint32_t out = rgb == kBlue ? rgb : (rgb | kOpaque);
    std::memcpy(dst + i * 4, &out, 4);
  }
}

}  // namespace

TexturePtr decodePicture(const uint8_t* data, size_t size, std::string& reason) {
  if (!isPictureFile(data, size) || size > INT32_MAX) {
    reason = "not a BMP, JPEG or GIF picture";
    return nullptr;
  }
  const int length = static_cast<int>(size);
  int w = 0, h = 0, comp = 0;
  // The size is checked before stb_image allocates anything for the pixels.
  if (!stbi_info_from_memory(data, length, &w, &h, &comp)) {
    reason = stbi_failure_reason() ? stbi_failure_reason() : "unreadable picture";
    return nullptr;
  }
  if (!sizeAllowed(static_cast<uint64_t>(w), static_cast<uint64_t>(h))) {
    reason = "picture size out of range";
    return nullptr;
  }
  // Four channels: stb_image converts JPEG colour faster to that layout.
  // Its alpha is ignored; only the colour key and a 32-bit BMP set alpha.
  stbi_uc* rgbx = stbi_load_from_memory(data, length, &w, &h, &comp, 4);
  if (!rgbx) {
    reason = stbi_failure_reason() ? stbi_failure_reason() : "unreadable picture";
    return nullptr;
  }

  auto texture = std::make_unique<cTexture>();
  // Created without a pixel copy first: when no padding to powers of two is
  // needed, stb_image's own buffer becomes the copy (no second 16 MB block to
  // fault in, no copying pass).
  texture->create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 0, GL_RGBA8, GL_RGBA,
                  GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_REPEAT, 1);
  const size_t pixelCount = static_cast<size_t>(w) * h;
  if (texture->width() == static_cast<uint32_t>(w) && texture->height() == static_cast<uint32_t>(h)) {
    applyColourKey(rgbx, rgbx, pixelCount);
    if (!texture->adoptPixels(rgbx, pixelCount * 4, &stbi_image_free)) {
      stbi_image_free(rgbx);
      reason = "picture too large";
      return nullptr;
    }
  } else {
    texture->create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 1, GL_RGBA8, GL_RGBA,
                    GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_REPEAT, 1);
    if (!texture->pixels()) {
      stbi_image_free(rgbx);
      reason = "picture too large";
      return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(texture->width()) * 4;
    for (int r = 0; r < h; ++r) {
      applyColourKey(rgbx + static_cast<size_t>(r) * w * 4, texture->pixels() + r * rowBytes,
                     static_cast<size_t>(w));
    }
    stbi_image_free(rgbx);
  }

  if (!applyBmpAlpha(data, size, *texture, w, h)) {
    reason = "32-bit BMP pixel data is truncated";
    return nullptr;
  }
  return texture;
}

}  // namespace texture_decode
