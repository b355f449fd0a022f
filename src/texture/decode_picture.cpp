// BMP, JPEG and GIF pictures, told apart by signature and rendered to 8-bit
// RGB. Pure blue (0, 0, 255) is the transparent colour key; a 32-bit BMP
// brings its own alpha instead. JPEG goes through TurboJPEG, GIF through
// giflib (decode_gif.cpp), BMP through the reader in decode_bmp.cpp.
#include <GL/glew.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "texture/decode.h"

namespace texture_decode {

void applyColourKey(uint8_t* pixels, size_t count) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words assume little-endian");
  constexpr uint32_t kRgbMask = 0x00FFFFFFu;
  constexpr uint32_t kBlue = 0x00FF0000u;
  constexpr uint32_t kOpaque = 0xFF000000u;
  // Four pixels at a time in a vector: the compiler does not vectorise the
  // plain loop at -O2, and this pass runs over every decoded texel.
  using Words = uint32_t __attribute__((vector_size(16)));
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Words p;
    std::memcpy(&p, pixels + i * 4, 16);
    const Words rgb = p & kRgbMask;
    const Words opaque = (rgb != kBlue) & kOpaque;  // comparison lanes are all ones or zero
    p = rgb | opaque;
    std::memcpy(pixels + i * 4, &p, 16);
  }
  for (; i < count; ++i) {
    uint32_t p;
    std::memcpy(&p, pixels + i * 4, 4);
    const uint32_t rgb = p & kRgbMask;
    p = rgb == kBlue ? rgb : (rgb | kOpaque);
    std::memcpy(pixels + i * 4, &p, 4);
  }
}

TexturePtr createPicture(uint32_t width, uint32_t height, std::string& reason) {
  auto texture = std::make_unique<cTexture>();
  texture->create(width, height, 0, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST,
                  GL_REPEAT, 1);
  if (texture->width() == width && texture->height() == height) {
    // The decoder writes every texel, so the copy is not zeroed first.
    const uint64_t bytes = static_cast<uint64_t>(width) * height * 4;
    auto* block = bytes <= UINT32_MAX ? static_cast<uint8_t*>(std::malloc(bytes)) : nullptr;
    if (block && !texture->adoptPixels(block, bytes, &std::free)) std::free(block);
  } else {
    // Rounded up: the margin beyond the image stays zero.
    texture->create(width, height, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST,
                    GL_REPEAT, 1);
  }
  if (!texture->pixels()) {
    reason = "picture too large";
    return nullptr;
  }
  return texture;
}

namespace {

struct TjCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};

// CMYK as libjpeg hands it out (stored inverted, as print tools write it:
// 255 is no ink) to RGB, in place: R = C·K / 255 and so on.
void cmykToRgb(uint8_t* row, size_t count) {
  for (size_t i = 0; i < count; ++i, row += 4) {
    const unsigned k = row[3];
    for (int c = 0; c < 3; ++c) row[c] = static_cast<uint8_t>((row[c] * k + 127) / 255);
  }
}

}  // namespace

TexturePtr decodeJpeg(const uint8_t* data, size_t size, std::string& reason) {
  std::unique_ptr<void, TjCloser> tj(tjInitDecompress());
  if (!tj) {
    reason = "JPEG decoder unavailable";
    return nullptr;
  }
  int width = 0, height = 0, subsampling = 0, colourSpace = 0;
  // A file without a frame header or without a scan fails here.
  if (tjDecompressHeader3(tj.get(), data, size, &width, &height, &subsampling, &colourSpace) != 0) {
    reason = tjGetErrorStr2(tj.get());
    return nullptr;
  }
  if (width == 0 || height == 0) {
    reason = "JPEG holds tables but no image";
    return nullptr;
  }
  if (!sizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    reason = "picture size out of range";
    return nullptr;
  }
  const bool cmyk = colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK;
  const auto w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  TexturePtr texture = createPicture(w, h, reason);
  if (!texture) return nullptr;
  uint8_t* pixels = texture->pixels();
  const size_t pitch = static_cast<size_t>(texture->width()) * 4;
  // Warnings (data cut short, stray bytes) still leave every row written,
  // the missing part grey; the scan limit stops progressive files built to
  // take forever.
  if (tjDecompress2(tj.get(), data, size, pixels, width, static_cast<int>(pitch), height,
                    cmyk ? TJPF_CMYK : TJPF_RGBA, TJFLAG_LIMITSCANS) != 0 &&
      tjGetErrorCode(tj.get()) != TJERR_WARNING) {
    reason = tjGetErrorStr2(tj.get());
    return nullptr;
  }
  for (uint32_t r = 0; r < h; ++r) {
    uint8_t* row = pixels + r * pitch;
    if (cmyk) cmykToRgb(row, w);
    applyColourKey(row, w);
  }
  return texture;
}

TexturePtr decodePicture(const uint8_t* data, size_t size, std::string& reason) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return decodeBmp(data, size, reason);
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return decodeJpeg(data, size, reason);
  if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
    return decodeGif(data, size, reason);
  }
  reason = "not a BMP, JPEG or GIF picture";
  return nullptr;
}

}  // namespace texture_decode
