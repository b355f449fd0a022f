// Radiance RGBE (.hdr): the texels keep the raw R, G, B mantissas and the
// shared exponent; the effects that sample them do the conversion.
#include <GL/glew.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "texture/decode.h"

namespace texture_decode {

namespace {

constexpr size_t kLineCapacity = 512;

void trimLineEnd(std::string& text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
}

// Reads header lines up to the empty one. False when the file ends first.
bool readHeader(MemoryReader& in, std::string& programType, std::string& format) {
  char line[kLineCapacity];
  while (in.getLine(line, sizeof line)) {
    if (std::strcmp(line, "\n") == 0 || std::strcmp(line, "\r\n") == 0) return true;
    if (line[0] == '#' && line[1] == '?') {
      programType = line + 2;
      trimLineEnd(programType);
    } else if (std::strncmp(line, "FORMAT=", 7) == 0) {
      format = line + 7;
      trimLineEnd(format);
    }
  }
  return false;
}

// A positive decimal number after `p`, skipping blanks; 0 when there is none
// or it is out of range.
uint64_t numberAfter(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  uint64_t value = 0;
  bool any = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    any = true;
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) return 0;
  }
  return any ? value : 0;
}

// Flat pixels from `start` on. (1, 1, 1, n) repeats the previous pixel
// n << shift times, the shift growing by 8 per consecutive repeat pixel.
bool readFlat(MemoryReader& in, uint8_t* line, uint32_t length, uint32_t start) {
  uint32_t shift = 0;
  uint32_t i = start;
  while (i < length) {
    uint8_t px[4];
    if (in.read(px, 4) != 4) return false;
    if (px[0] == 1 && px[1] == 1 && px[2] == 1) {
      // A repeat with nothing before it, or one that passes the scanline's
      // end, is corrupt.
      if (i == 0) return false;
      const uint64_t count = shift < 32 ? static_cast<uint64_t>(px[3]) << shift
                                        : (px[3] ? UINT64_MAX : 0);
      if (count > length - i) return false;
      for (uint64_t k = 0; k < count; ++k, ++i) std::memcpy(line + i * 4, line + (i - 1) * 4, 4);
      if (shift < 32) shift += 8;
    } else {
      std::memcpy(line + i * 4, px, 4);
      ++i;
      shift = 0;
    }
  }
  return true;
}

bool readScanline(MemoryReader& in, uint8_t* line, uint32_t length) {
  if (length < 8 || length > 32767) return readFlat(in, line, length, 0);
  const int first = in.getChar();
  if (first != 2) {
    in.ungetChar(first);
    return readFlat(in, line, length, 0);
  }
  uint8_t rest[3];
  if (in.read(rest, 3) != 3) return false;
  if (rest[0] != 2 || (rest[1] & 0x80) != 0) {
    // Not a run-length scanline: these four bytes are its first pixel.
    const uint8_t px[4] = {2, rest[0], rest[1], rest[2]};
    std::memcpy(line, px, 4);
    return readFlat(in, line, length, 1);
  }
  if ((static_cast<uint32_t>(rest[1]) << 8 | rest[2]) != length) return false;
  for (uint32_t component = 0; component < 4; ++component) {
    uint32_t i = 0;
    while (i < length) {
      const int c = in.getChar();
      if (c < 0) return false;
      if (c > 128) {
        const int value = in.getChar();
        const uint32_t count = static_cast<uint32_t>(c - 128);
        if (value < 0 || count > length - i) return false;
        for (uint32_t k = 0; k < count; ++k, ++i) line[i * 4 + component] = static_cast<uint8_t>(value);
      } else {
        const uint32_t count = static_cast<uint32_t>(c);
        if (count > length - i) return false;
        for (uint32_t k = 0; k < count; ++k, ++i) {
          const int value = in.getChar();
          if (value < 0) return false;
          line[i * 4 + component] = static_cast<uint8_t>(value);
        }
      }
    }
  }
  return true;
}

}  // namespace

TexturePtr decodeRgbe(const uint8_t* data, size_t size, std::string& reason) {
  MemoryReader in(data, size);
  std::string programType, format;
  if (!readHeader(in, programType, format)) {
    reason = "header has no end";
    return nullptr;
  }
  if (programType != "RADIANCE" || format != "32-bit_rle_rgbe") {
    reason = "not a RADIANCE 32-bit_rle_rgbe file";
    return nullptr;
  }
  char resolution[kLineCapacity];
  if (!in.getLine(resolution, sizeof resolution)) {
    reason = "missing resolution line";
    return nullptr;
  }
  const char* xAt = std::strrchr(resolution, 'X');
  const char* yAt = std::strrchr(resolution, 'Y');
  const uint64_t xSize = xAt ? numberAfter(xAt + 1) : 0;
  const uint64_t ySize = yAt ? numberAfter(yAt + 1) : 0;
  if (xSize == 0 || ySize == 0 || !sizeAllowed(xSize, ySize)) {
    reason = "bad resolution line";
    return nullptr;
  }
  // "-Y h +X w": h scanlines of w pixels (rows). X first: scanlines are
  // columns of the X x Y image.
  const bool rows = yAt < xAt;
  const uint32_t scanlines = static_cast<uint32_t>(rows ? ySize : xSize);
  const uint32_t length = static_cast<uint32_t>(rows ? xSize : ySize);
  // Every scanline needs at least one stored pixel.
  if (static_cast<uint64_t>(scanlines) * 4 > in.remaining()) {
    reason = "file is too short for its resolution";
    return nullptr;
  }

  auto texture = std::make_unique<cTexture>();
  texture->create(static_cast<uint32_t>(xSize), static_cast<uint32_t>(ySize), 1, GL_RGBA8,
                  GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_REPEAT, 1);
  if (!texture->pixels()) {
    reason = "image too large";
    return nullptr;
  }
  const size_t stride = static_cast<size_t>(texture->width()) * 4;
  std::vector<uint8_t> line(static_cast<size_t>(length) * 4);
  for (uint32_t s = 0; s < scanlines; ++s) {
    if (!readScanline(in, line.data(), length)) {
      reason = "corrupt or truncated scanline";
      return nullptr;
    }
    if (rows) {
      std::memcpy(texture->pixels() + s * stride, line.data(), line.size());
    } else {
      for (uint32_t k = 0; k < length; ++k) {
        std::memcpy(texture->pixels() + k * stride + static_cast<size_t>(s) * 4, line.data() + k * 4, 4);
      }
    }
  }
  return texture;
}

}  // namespace texture_decode
