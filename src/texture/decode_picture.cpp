// BMP, JPEG and GIF pictures, told apart by signature and rendered to 8-bit
// RGB. Pure blue (0, 0, 255) is the transparent colour key; a 32-bit BMP
// brings its own alpha instead. JPEG goes through TurboJPEG, and through
// libjpeg's scanline interface for what TurboJPEG does not decode cleanly;
// GIF through giflib (decode_gif.cpp), BMP through the reader in
// decode_bmp.cpp.
#include <GL/glew.h>
#include <turbojpeg.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>  // after <cstdio>: it uses FILE and size_t

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

// CMYK as libjpeg hands it out to RGB, in place. Files with an Adobe marker
// store ink inverted, as print tools write them (255: no ink), so that
// R = C·K / 255; others store it plainly, R = (255 − C)(255 − K) / 255.
void cmykToRgb(uint8_t* row, size_t count, bool inverted) {
  for (size_t i = 0; i < count; ++i, row += 4) {
    const unsigned k = inverted ? row[3] : 255u - row[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned ink = inverted ? row[c] : 255u - row[c];
      row[c] = static_cast<uint8_t>((ink * k + 127) / 255);
    }
  }
}

// Progressive files can hold any number of scans, each a pass over the
// whole image; more than this are refused (as TurboJPEG's scan limit does).
constexpr int kMaxJpegScans = 500;

// A decompression through libjpeg's scanline interface. Fatal errors jump
// back into the step that was running, which then returns false with
// message() set; warnings (damage libjpeg mends) are ignored. The steps keep
// no objects with destructors on their frames, so the jump skips none.
class ScanlineJpeg {
 public:
  ScanlineJpeg() {
    mInfo.err = jpeg_std_error(&mErrors.pub);
    mErrors.pub.error_exit = &fail;
    mErrors.pub.emit_message = [](j_common_ptr, int) {};
    mProgress.progress_monitor = &limitScans;
  }
  ~ScanlineJpeg() {
    if (mCreated) jpeg_destroy_decompress(&mInfo);
  }
  ScanlineJpeg(const ScanlineJpeg&) = delete;
  ScanlineJpeg& operator=(const ScanlineJpeg&) = delete;

  // Reads the headers and chooses the output: RGBA, or CMYK for four-ink files.
  bool readHeader(const uint8_t* data, size_t size) {
    if (setjmp(mErrors.jump)) return false;
    jpeg_create_decompress(&mInfo);
    mCreated = true;
    mInfo.progress = &mProgress;
    jpeg_mem_src(&mInfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&mInfo, TRUE);
    mInfo.out_color_space = cmyk() ? JCS_CMYK : JCS_EXT_RGBA;
    return true;
  }
  bool cmyk() const { return mInfo.jpeg_color_space == JCS_CMYK || mInfo.jpeg_color_space == JCS_YCCK; }
  bool adobe() const { return mInfo.saw_Adobe_marker; }
  uint32_t width() const { return mInfo.image_width; }
  uint32_t height() const { return mInfo.image_height; }
  // Writes every row of four-byte texels, `pitch` bytes apart; false when
  // any row could not be written.
  bool readPixels(uint8_t* pixels, size_t pitch) {
    if (setjmp(mErrors.jump)) return false;
    jpeg_start_decompress(&mInfo);
    if (mInfo.output_components != 4 || mInfo.output_width != mInfo.image_width ||
        mInfo.output_height != mInfo.image_height) {
      std::snprintf(mErrors.message, sizeof mErrors.message, "unexpected JPEG output layout");
      return false;
    }
    while (mInfo.output_scanline < mInfo.output_height) {
      JSAMPROW row = pixels + static_cast<size_t>(mInfo.output_scanline) * pitch;
      if (jpeg_read_scanlines(&mInfo, &row, 1) != 1) {
        std::snprintf(mErrors.message, sizeof mErrors.message, "JPEG rows missing");
        return false;
      }
    }
    jpeg_finish_decompress(&mInfo);
    return true;
  }
  const char* message() const { return mErrors.message; }

 private:
  struct Errors {
    jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = "";
  };
  [[noreturn]] static void fail(j_common_ptr info) {
    auto* errors = reinterpret_cast<Errors*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
  }
  static void limitScans(j_common_ptr info) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (!info->is_decompressor || d->input_scan_number <= kMaxJpegScans) return;
    auto* errors = reinterpret_cast<Errors*>(info->err);
    std::snprintf(errors->message, sizeof errors->message, "JPEG has more than %d scans", kMaxJpegScans);
    std::longjmp(errors->jump, 1);
  }

  jpeg_decompress_struct mInfo{};
  Errors mErrors{};
  jpeg_progress_mgr mProgress{};
  bool mCreated = false;
};

}  // namespace

TexturePtr decodeJpegScanlines(const uint8_t* data, size_t size, std::string& reason) {
  ScanlineJpeg jpeg;
  if (!jpeg.readHeader(data, size)) {
    reason = jpeg.message();
    return nullptr;
  }
  if (!sizeAllowed(jpeg.width(), jpeg.height())) {
    reason = "picture size out of range";
    return nullptr;
  }
  const uint32_t w = jpeg.width(), h = jpeg.height();
  TexturePtr texture = createPicture(w, h, reason);
  if (!texture) return nullptr;
  uint8_t* pixels = texture->pixels();
  const size_t pitch = static_cast<size_t>(texture->width()) * 4;
  if (!jpeg.readPixels(pixels, pitch)) {
    reason = jpeg.message();
    return nullptr;
  }
  for (uint32_t r = 0; r < h; ++r) {
    uint8_t* row = pixels + r * pitch;
    if (jpeg.cmyk()) cmykToRgb(row, w, jpeg.adobe());
    applyColourKey(row, w);
  }
  return texture;
}

TexturePtr decodeJpeg(const uint8_t* data, size_t size, std::string& reason) {
  std::unique_ptr<void, TjCloser> tj(tjInitDecompress());
  if (!tj) {
    reason = "JPEG decoder unavailable";
    return nullptr;
  }
  int width = 0, height = 0, subsampling = 0, colourSpace = 0;
  // TurboJPEG refuses sampling factors it has no name for, valid as they
  // are; the scanline interface reads those, and fails what is broken.
  if (tjDecompressHeader3(tj.get(), data, size, &width, &height, &subsampling, &colourSpace) != 0) {
    return decodeJpegScanlines(data, size, reason);
  }
  if (width == 0 || height == 0) {
    reason = "JPEG holds tables but no image";
    return nullptr;
  }
  if (!sizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    reason = "picture size out of range";
    return nullptr;
  }
  // TurboJPEG does not say whether CMYK ink is stored inverted.
  if (colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK) return decodeJpegScanlines(data, size, reason);
  const auto w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
  TexturePtr texture = createPicture(w, h, reason);
  if (!texture) return nullptr;
  uint8_t* pixels = texture->pixels();
  const size_t pitch = static_cast<size_t>(texture->width()) * 4;
  // The scan limit stops progressive files built to take forever. Any
  // complaint sends the file to the scanline interface: after a warning,
  // TurboJPEG reports a later fatal error (rows left unwritten) as a
  // warning too, where the scanline decoder tells the two apart.
  if (tjDecompress2(tj.get(), data, size, pixels, width, static_cast<int>(pitch), height, TJPF_RGBA,
                    TJFLAG_LIMITSCANS) != 0) {
    return decodeJpegScanlines(data, size, reason);
  }
  for (uint32_t r = 0; r < h; ++r) applyColourKey(pixels + r * pitch, w);
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
