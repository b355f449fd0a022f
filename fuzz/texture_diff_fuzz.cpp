// Differential: where both the engine's decoder and stb_image accept a file,
// they must give the same size and pixels. The first byte picks the format:
// PNG (RGBA), 24-bit BMP (RGB: the engine's blue colour key owns the alpha),
// TGA (the engine keeps file row order, stb turns it top-down) and RGBE (the
// engine keeps the raw mantissas and exponent; stb gives floats).
#include <stb/stb_image.h>

#include <cmath>
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

enum Kind { Png, Bmp, Tga, Hdr };

// Where both read an RGBE file alike. stb_image has no old-style (1, 1, 1, n)
// repeats; once one scanline is not run-length encoded it reads the whole
// image flat from its first pixel on; and it takes the size from exactly
// "-Y h +X w". Files outside that are decoded by the engine alone.
bool hdrLayoutShared(const uint8_t* file, size_t bytes) {
  const std::string text(reinterpret_cast<const char*>(file), bytes);
  const size_t headerEnd = text.find("\n\n");
  // A header line holding a NUL ends differently for the two: stb reads it
  // as a C string, the engine as a line.
  if (headerEnd == std::string::npos || text.find_first_of(std::string("\r\0", 2)) < headerEnd) return false;
  for (size_t at = 0, next; at < headerEnd; at = next + 1) {
    next = text.find('\n', at);
    if (next - at > 500) return false;  // both split long lines, at different lengths
  }
  const size_t lineStart = headerEnd + 2;
  const size_t lineEnd = text.find('\n', lineStart);
  if (lineEnd == std::string::npos) return false;
  unsigned height = 0, width = 0;
  const std::string line = text.substr(lineStart, lineEnd - lineStart);
  char canonical[64];
  if (line.size() >= sizeof canonical || std::sscanf(line.c_str(), "-Y %u +X %u", &height, &width) != 2) return false;
  std::snprintf(canonical, sizeof canonical, "-Y %u +X %u", height, width);
  if (line != canonical) return false;
  const uint8_t* p = file + lineEnd + 1;
  const uint8_t* end = file + bytes;
  auto flatPixels = [&](uint64_t count, bool scanlineStarts) {
    for (uint64_t i = 0; i < count && end - p >= 4; ++i, p += 4) {
      if (p[0] == 1 && p[1] == 1 && p[2] == 1) return false;
      if (scanlineStarts && i % width == 0 && p[0] == 2 && p[1] == 2 && !(p[2] & 0x80)) return false;
    }
    return true;
  };
  if (width < 8 || width > 32767) return flatPixels(uint64_t{width} * height, false);
  const bool runLength = end - p >= 4 && p[0] == 2 && p[1] == 2 && !(p[2] & 0x80);
  if (!runLength) return flatPixels(uint64_t{width} * height, true);
  for (unsigned row = 0; row < height; ++row) {
    if (end - p < 4) return true;  // truncated: the engine refuses it
    if (p[0] != 2 || p[1] != 2 || (p[2] & 0x80)) return false;
    p += 4;
    for (int component = 0; component < 4; ++component) {
      for (unsigned i = 0; i < width && p < end;) {
        const unsigned c = *p++;
        const unsigned count = c > 128 ? c - 128 : c;
        p += c > 128 ? 1 : c;
        i += count;
        if (p > end) return true;
      }
    }
  }
  return true;
}

// The engine's RGBE texels against stb_image's floats, converted as stb does.
void compareHdr(const texture_decode::TexturePtr& ours, const uint8_t* file, int bytes) {
  int w = 0, h = 0, channels = 0;
  float* theirs = stbi_loadf_from_memory(file, bytes, &w, &h, &channels, 4);
  if (!theirs) return;
  mustEqual(static_cast<uint32_t>(w) == ours->width() && static_cast<uint32_t>(h) == ours->height(), "RGBE",
            "sizes");
  for (uint32_t y = 0; y < ours->height(); ++y) {
    for (uint32_t x = 0; x < ours->width(); ++x) {
      const size_t at = (static_cast<size_t>(y) * ours->width() + x) * 4;
      const uint8_t* rgbe = ours->pixels() + at;
      const float scale = rgbe[3] ? static_cast<float>(std::ldexp(1.0f, rgbe[3] - 136)) : 0.0f;
      for (int c = 0; c < 3; ++c) mustEqual(rgbe[c] * scale == theirs[at + c], "RGBE", "pixels", x, y);
    }
  }
  stbi_image_free(theirs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  texture_decode::limits().maxSide = 1024;
  texture_decode::limits().maxTexels = uint64_t{1} << 18;
  textureManager::instance().setNonPowerOfTwo(true);
  const Kind kind = static_cast<Kind>(data[0] % 4);
  const uint8_t* file = data + 1;
  const size_t bytes = size - 1;
  static const char* const kNames[] = {"PNG", "BMP", "TGA", "RGBE"};
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
    case Hdr: ours = texture_decode::decodeRgbe(file, bytes, reason); break;
  }
  if (!ours || !ours->pixels()) return 0;
  if (kind == Hdr) {
    if (hdrLayoutShared(file, bytes)) compareHdr(ours, file, static_cast<int>(bytes));
    return 0;
  }

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
