// TGA: uncompressed (type 2) and run-length (type 10) truecolour, 24 or 32
// bits, without image ID or colour map. Rows are kept in file order.
#include <GL/glew.h>

#include <cstring>
#include <utility>

#include "texture/decode.h"

namespace texture_decode {

namespace {

constexpr uint8_t kRawHeader[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kRleHeader[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Writes pixels in image order into texture rows, which may be wider than
// the image when sizes were rounded up.
class PixelSink {
 public:
  PixelSink(cTexture& texture, uint32_t width, uint32_t height, uint32_t bytesPerPixel)
      : mBase(texture.pixels()),
        mStride(static_cast<size_t>(texture.width()) * bytesPerPixel),
        mWidth(width),
        mHeight(height),
        mBpp(bytesPerPixel) {}

  bool full() const { return mRow >= mHeight; }
  // Stores one file pixel (B, G, R[, A]) as R, G, B[, A].
  void put(const uint8_t* bgra) {
    uint8_t* dst = mBase + mRow * mStride + mCol * mBpp;
    dst[0] = bgra[2];
    dst[1] = bgra[1];
    dst[2] = bgra[0];
    if (mBpp == 4) dst[3] = bgra[3];
    if (++mCol == mWidth) {
      mCol = 0;
      ++mRow;
    }
  }
  // Raw images: whole rows straight from the file, then swapped in place.
  bool putRows(MemoryReader& in) {
    const size_t rowBytes = static_cast<size_t>(mWidth) * mBpp;
    for (; mRow < mHeight; ++mRow) {
      uint8_t* dst = mBase + mRow * mStride;
      if (in.read(dst, rowBytes) != rowBytes) return false;
      for (size_t i = 0; i < rowBytes; i += mBpp) std::swap(dst[i], dst[i + 2]);
    }
    return true;
  }

 private:
  uint8_t* mBase;
  size_t mStride;
  uint32_t mWidth;
  uint32_t mHeight;
  uint32_t mBpp;
  size_t mRow = 0;
  size_t mCol = 0;
};

bool readRle(MemoryReader& in, PixelSink& sink, uint32_t bpp) {
  uint8_t pixel[4];
  while (!sink.full()) {
    const int c = in.getChar();
    if (c < 0) return false;
    if (c >= 128) {
      if (in.read(pixel, bpp) != bpp) return false;
      // A run may cross rows but never the image's end.
      for (int i = 0; i < c - 127 && !sink.full(); ++i) sink.put(pixel);
    } else {
      for (int i = 0; i < c + 1 && !sink.full(); ++i) {
        if (in.read(pixel, bpp) != bpp) return false;
        sink.put(pixel);
      }
    }
  }
  return true;
}

}  // namespace

TexturePtr decodeTga(const uint8_t* data, size_t size, std::string& reason) {
  MemoryReader in(data, size);
  uint8_t header[12];
  if (in.read(header, 12) != 12) {
    reason = "file is truncated";
    return nullptr;
  }
  const bool raw = std::memcmp(header, kRawHeader, 12) == 0;
  const bool rle = std::memcmp(header, kRleHeader, 12) == 0;
  if (!raw && !rle) {
    reason = "not an uncompressed or run-length truecolour TGA without ID or colour map";
    return nullptr;
  }
  uint8_t info[6];
  if (in.read(info, 6) != 6) {
    reason = "file is truncated";
    return nullptr;
  }
  const uint32_t width = info[0] | info[1] << 8;
  const uint32_t height = info[2] | info[3] << 8;
  const uint32_t bits = info[4];
  if (width == 0 || height == 0 || (bits != 24 && bits != 32)) {
    reason = "bad size or pixel depth";
    return nullptr;
  }
  const uint32_t bpp = bits / 8;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  // The smallest encoding of that many pixels must fit in what is left: raw
  // needs every pixel, run-length at least one packet per 128 pixels.
  const uint64_t minBytes = raw ? pixels * bpp : (pixels + 127) / 128 * (1 + bpp);
  if (!sizeAllowed(width, height) || minBytes > in.remaining()) {
    reason = "image size does not fit the file";
    return nullptr;
  }

  auto texture = std::make_unique<cTexture>();
  texture->create(width, height, 1, bits == 32 ? GL_RGBA8 : GL_RGB8,
                  bits == 32 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST,
                  GL_REPEAT, 1);
  if (!texture->pixels()) {
    reason = "image too large";
    return nullptr;
  }
  PixelSink sink(*texture, width, height, bpp);
  if (!(raw ? sink.putRows(in) : readRle(in, sink, bpp))) {
    reason = "file is truncated";
    return nullptr;
  }
  return texture;
}

}  // namespace texture_decode
