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
  texture->create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 1, GL_RGBA8, GL_RGBA,
                  GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_REPEAT, 1);
  if (!texture->pixels()) {
    stbi_image_free(rgbx);
    reason = "picture too large";
    return nullptr;
  }
  const size_t rowBytes = static_cast<size_t>(texture->width()) * 4;
  for (int r = 0; r < h; ++r) {
    const stbi_uc* src = rgbx + static_cast<size_t>(r) * w * 4;
    uint8_t* dst = texture->pixels() + r * rowBytes;
    for (int x = 0; x < w; ++x, src += 4, dst += 4) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      dst[3] = (src[0] == 0 && src[1] == 0 && src[2] == 255) ? 0 : 255;
    }
  }
  stbi_image_free(rgbx);

  if (!applyBmpAlpha(data, size, *texture, w, h)) {
    reason = "32-bit BMP pixel data is truncated";
    return nullptr;
  }
  return texture;
}

}  // namespace texture_decode
