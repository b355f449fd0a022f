// Differential: where both the engine's decoder and stb_image accept a file,
// they must give the same size and pixels. The first byte picks the format:
// PNG (RGBA), 24-bit BMP (RGB: the engine's blue colour key owns the alpha)
// and TGA (the engine keeps file row order, stb turns it top-down).
#include <stb/stb_image.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "texture/decode.h"

namespace {

void mustEqual(bool same, const char* format, const char* what, uint32_t x = 0, uint32_t y = 0) {
  if (same) return;
  std::fprintf(stderr, "texture_diff: %s: %s differ (at %u, %u)\n", format, what, x, y);
  std::abort();
}

enum Kind { Png, Bmp, Tga };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  texture_decode::limits().maxSide = 1024;
  texture_decode::limits().maxTexels = uint64_t{1} << 18;
  textureManager::instance().setNonPowerOfTwo(true);
  const Kind kind = static_cast<Kind>(data[0] % 3);
  const uint8_t* file = data + 1;
  const size_t bytes = size - 1;
  static const char* const kNames[] = {"PNG", "BMP", "TGA"};
  const char* name = kNames[kind];
  // Only 24-bit BMPs: for palettes and bit fields the two differ by design
  // (indexes past the palette, the 32-bit alpha rule).
  if (kind == Bmp && (bytes < 30 || texture_decode::le32(file + 14) < 40 || file[28] != 24 || file[29] != 0)) {
    return 0;
  }

  // Palette indexes past the stored palette are an error the two decoders
  // read differently: only palettes of every index are compared.
  if (kind == Png && bytes > 25 && file[25] == 3) {
    const std::string text(reinterpret_cast<const char*>(file), bytes);
    const size_t at = text.find("PLTE");
    if (at == std::string::npos || at < 4) return 0;
    const uint32_t length = static_cast<uint32_t>(file[at - 4]) << 24 | file[at - 3] << 16 | file[at - 2] << 8 |
                            file[at - 1];
    if (file[24] > 8 || length / 3 < (1u << file[24])) return 0;
  }

  std::string reason;
  texture_decode::TexturePtr ours;
  switch (kind) {
    case Png: ours = texture_decode::decodePng(file, bytes, reason); break;
    case Bmp: ours = texture_decode::decodeBmp(file, bytes, reason); break;
    case Tga: ours = texture_decode::decodeTga(file, bytes, reason); break;
  }
  if (!ours || !ours->pixels()) return 0;

  int w = 0, h = 0, channels = 0;
  const int n = static_cast<int>(bytes);
  if (kind == Png && !stbi_info_from_memory(file, n, &w, &h, &channels)) return 0;
  const int ourChannels = kind == Tga ? (ours->internalFormat() == 0x8058 /* GL_RGBA8 */ ? 4 : 3) : 4;
  stbi_uc* theirs = stbi_load_from_memory(file, n, &w, &h, &channels, ourChannels);
  if (!theirs) return 0;
  mustEqual(static_cast<uint32_t>(w) == ours->width() && static_cast<uint32_t>(h) == ours->height(), name,
            "sizes");
  // TGA: the image descriptor's bit 5 set means the top row comes first.
  const bool flip = kind == Tga && !(file[17] & 0x20);
  const int compared = kind == Bmp ? 3 : ourChannels;
  for (uint32_t y = 0; y < ours->height(); ++y) {
    const uint32_t theirRow = flip ? ours->height() - 1 - y : y;
    for (uint32_t x = 0; x < ours->width(); ++x) {
      const uint8_t* a = ours->pixels() + (static_cast<size_t>(y) * ours->width() + x) * ourChannels;
      const uint8_t* b = theirs + (static_cast<size_t>(theirRow) * w + x) * ourChannels;
      for (int c = 0; c < compared; ++c) mustEqual(a[c] == b[c], name, "pixels", x, y);
    }
  }
  stbi_image_free(theirs);
  return 0;
}
