// Texture file decoders (internal to src/texture/). Each decoder works on the
// whole file in memory, so that no read can pass the pack entry's end, and
// returns a created cTexture whose pixel copy holds the image, or null and a
// reason. Nothing is uploaded here. Safe on any input: sizes are checked
// against the bytes present before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "texture/texture.h"

namespace texture_decode {

// Upper bounds on what a file may ask for; larger images are rejected.
struct Limits {
  uint32_t maxSide = 16384;
  uint64_t maxTexels = uint64_t{1} << 26;
};
// Process-wide limits (the fuzz target lowers them to keep runs fast).
Limits& limits();
// True when width x height is non-empty and within limits().
bool sizeAllowed(uint64_t width, uint64_t height);

// Sequential reader over a byte block; never reads outside it.
class MemoryReader {
 public:
  MemoryReader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
  // Copies up to `count` bytes; returns how many were there.
  size_t read(void* out, size_t count);
  // Next byte, or -1 at the end.
  int getChar() { return mPos < mSize ? mData[mPos++] : -1; }
  // Steps back over the byte just read; -1 (nothing was read) is ignored.
  void ungetChar(int c) {
    if (c >= 0 && mPos > 0) --mPos;
  }
  // Up to capacity-1 bytes, stopping after a line feed; null at the end.
  char* getLine(char* buffer, size_t capacity);
  bool isEof() const { return mPos >= mSize; }
  size_t remaining() const { return mSize - mPos; }

 private:
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
};

// Unsigned 32-bit little-endian value at `p`.
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

using TexturePtr = std::unique_ptr<cTexture>;

// BMP, JPEG, GIF (told apart by signature): 8-bit RGB with the blue colour
// key; 32-bit BMPs keep their own alpha.
TexturePtr decodePicture(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeBmp(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeJpeg(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeGif(const uint8_t* data, size_t size, std::string& reason);
// JPEG through libjpeg's scanline interface, which decodeJpeg falls back to
// for what TurboJPEG refuses or reports damage in: any sampling factors,
// CMYK and YCCK (ink inverted when an Adobe marker is present). Warnings
// (damage libjpeg mends, the missing part grey) are accepted; a fatal error
// fails, whatever came before it.
TexturePtr decodeJpegScanlines(const uint8_t* data, size_t size, std::string& reason);
// The picture decoders' texture: RGBA8, nearest, repeat, with a pixel copy
// that the decoder must fill for every image texel (only a margin added by
// rounding up to powers of two is zeroed); null and a reason when the copy
// cannot be allocated.
TexturePtr createPicture(uint32_t width, uint32_t height, std::string& reason);
// Alpha 0 for pure blue (0, 0, 255), 255 for every other colour, over
// `count` RGBA pixels in place.
void applyColourKey(uint8_t* pixels, size_t count);
TexturePtr decodePng(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeTga(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeDds(const uint8_t* data, size_t size, std::string& reason);
TexturePtr decodeRgbe(const uint8_t* data, size_t size, std::string& reason);

enum class Format { None, Picture, Rgbe, Dds, Tga, Png };
// The decoder for a file extension (compared without regard to case).
Format formatForExtension(const std::string& extension);
TexturePtr decode(Format format, const uint8_t* data, size_t size, std::string& reason);

}  // namespace texture_decode
