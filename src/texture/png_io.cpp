// PNG through libpng: decoding texture files to RGBA, and writing a
// texture's pixel copy or a captured frame as a PNG file.
#include <GL/glew.h>
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "texture/decode.h"

namespace texture_decode {

namespace {

struct PngSource {
  MemoryReader reader;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->reader.read(out, count) != count) png_error(png, "file is truncated");
}

// libpng reports errors by longjmp; the message is kept for the reason.
void onError(png_structp png, png_const_charp message) {
  auto* reason = static_cast<std::string*>(png_get_error_ptr(png));
  if (reason) *reason = message ? message : "libpng error";
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Deflate cannot expand data by more than about 1032:1, so a header whose
// raw image exceeds that of the file is corrupt; rejecting it early avoids
// allocating for pixels that cannot exist.
bool plausible(uint64_t width, uint64_t height, uint32_t bitDepth, uint32_t channels,
               size_t fileSize) {
  const uint64_t rowBytes = (width * bitDepth * channels + 7) / 8 + 1;
  return height * rowBytes <= static_cast<uint64_t>(fileSize) * 1040 + 4096;
}

// Everything that must survive a longjmp lives outside the frame that calls
// setjmp (no non-trivial locals between setjmp and the decode).
struct PngDecode {
  png_structp png = nullptr;
  png_infop info = nullptr;
  TexturePtr texture;
  std::vector<png_bytep> rows;

  ~PngDecode() { png_destroy_read_struct(&png, &info, nullptr); }
};

bool runDecode(PngDecode& d, PngSource& source, size_t fileSize, std::string& reason) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  png_set_read_fn(d.png, &source, readFromMemory);
  png_set_user_limits(d.png, limits().maxSide, limits().maxSide);
  png_read_info(d.png, d.info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  png_get_IHDR(d.png, d.info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
  const uint32_t channels = png_get_channels(d.png, d.info);
  if (!sizeAllowed(width, height) || !plausible(width, height, static_cast<uint32_t>(bitDepth),
                                                channels, fileSize)) {
    reason = "image size out of range";
    return false;
  }

  const bool hasTrns = png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0;
  if (hasTrns || colourType == PNG_COLOR_TYPE_PALETTE ||
      (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)) {
    png_set_expand(d.png);
  }
  if (bitDepth > 8) png_set_strip_16(d.png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(d.png);
  }
  // Every pixel ends up as four bytes; images without alpha get an opaque
  // filler (grey and palette images too, not only truecolour).
  const bool hasAlpha = hasTrns || (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (!hasAlpha) png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  if (png_get_rowbytes(d.png, d.info) != static_cast<png_size_t>(width) * 4) {
    reason = "unsupported pixel layout";
    return false;
  }

  d.texture = std::make_unique<cTexture>();
  d.texture->create(width, height, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D,
                    GL_NEAREST, GL_REPEAT, 1);
  if (!d.texture->pixels()) {
    reason = "image too large";
    return false;
  }
  // Texture rows may be wider than the image (power-of-two rounding); the
  // image's top row is texture row 0.
  const size_t stride = static_cast<size_t>(d.texture->width()) * 4;
  d.rows.resize(height);
  for (png_uint_32 r = 0; r < height; ++r) d.rows[r] = d.texture->pixels() + r * stride;
  png_read_image(d.png, d.rows.data());
  png_read_end(d.png, nullptr);
  return true;
}

}  // namespace

TexturePtr decodePng(const uint8_t* data, size_t size, std::string& reason) {
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
    reason = "not a PNG file";
    return nullptr;
  }
  PngSource source{MemoryReader(data, size)};
  PngDecode d;
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reason, onError, onWarning);
  if (!d.png) {
    reason = "out of memory";
    return nullptr;
  }
  d.info = png_create_info_struct(d.png);
  if (!d.info) {
    reason = "out of memory";
    return nullptr;
  }
  if (!runDecode(d, source, size, reason)) return nullptr;
  return std::move(d.texture);
}

}  // namespace texture_decode

// ---------------------------------------------------------------------------

namespace {

void writeToStdio(png_structp png, png_bytep data, png_size_t count) {
  auto* fp = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, count, fp) != count) png_error(png, "write failed");
}

void flushNothing(png_structp) {}

void onWriteError(png_structp png, png_const_charp message) {
  auto* reason = static_cast<std::string*>(png_get_error_ptr(png));
  if (reason) *reason = message ? message : "libpng error";
  png_longjmp(png, 1);
}

struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<png_bytep> rows;
  ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

bool runWrite(PngWrite& w, std::FILE* fp, const PngImage& image) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, fp, writeToStdio, flushNothing);
  if (image.fast) {
    png_set_compression_level(w.png, 1);
    png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  }
  png_set_IHDR(w.png, w.info, image.width, image.height, 8,
               image.keepAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color_8 bits{};
  bits.red = bits.green = bits.blue = 8;
  if (image.keepAlpha) bits.alpha = 8;
  png_set_sBIT(w.png, w.info, &bits);
  static char key[] = "Description";
  png_text chunk{};
  if (image.description) {
    chunk.compression = PNG_TEXT_COMPRESSION_NONE;
    chunk.key = key;
    chunk.text = const_cast<char*>(image.description);
    png_set_text(w.png, w.info, &chunk, 1);
  }
  png_write_info(w.png, w.info);
  // On writing, a filler names the input byte to drop.
  if (!image.keepAlpha) png_set_filler(w.png, 0, PNG_FILLER_AFTER);
  png_write_image(w.png, w.rows.data());
  png_write_end(w.png, w.info);
  return true;
}

}  // namespace

bool writePngFile(const char* fileName, const PngImage& image, std::string& reason) {
  if (!fileName || !image.pixels || image.width == 0 || image.height == 0 ||
      image.stride < static_cast<size_t>(image.width) * 4) {
    reason = "no picture to write";
    return false;
  }
  std::FILE* fp = std::fopen(fileName, "wb");
  if (!fp) {
    reason = std::string("cannot create the file: ") + std::strerror(errno);
    return false;
  }
  PngWrite w;
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &reason, onWriteError, nullptr);
  w.info = w.png ? png_create_info_struct(w.png) : nullptr;
  bool ok = w.info != nullptr;
  if (!ok) reason = "out of memory";
  if (ok) {
    // PNG rows go top down.
    w.rows.resize(image.height);
    for (uint32_t k = 0; k < image.height; ++k) {
      const uint32_t row = image.bottomUp ? image.height - 1 - k : k;
      w.rows[k] = const_cast<png_bytep>(image.pixels + row * image.stride);
    }
    ok = runWrite(w, fp, image);
  }
  if (std::fclose(fp) != 0 && ok) {
    reason = "write failed";
    ok = false;
  }
  // A half-written file is worse than none.
  if (!ok) std::remove(fileName);
  return ok;
}

bool cTexture::writeToFile(const char* fileName) const {
  if (!mPixels || mInternalFormat != GL_RGBA8 || mTarget != GL_TEXTURE_2D || fileName == nullptr) {
    return false;
  }
  PngImage image;
  image.pixels = mPixels.get();
  // The rounded-up margin is cut off; row 0 is the bottom of a rendered picture.
  image.width = usedWidth();
  image.height = usedHeight();
  image.stride = static_cast<size_t>(mWidth) * 4;
  image.bottomUp = true;
  image.description = "cTexture::writeToFile()";
  std::string reason;
  return writePngFile(fileName, image, reason);
}
