// Generators for small texture files in every supported format, built in
// memory by the tests instead of committed binaries.
#pragma once

#include <gif_lib.h>
#include <png.h>
#include <stb/stb_image_write.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>  // after <cstdio>

namespace test_images {

using Bytes = std::vector<uint8_t>;

inline void appendLe16(Bytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendLe32(Bytes& out, uint32_t v) {
  appendLe16(out, v & 0xFFFF);
  appendLe16(out, v >> 16);
}
inline void appendText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

inline void collect(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

// stb_image_write formats from top-down pixels with `comp` bytes each.
inline Bytes stbBmp(int w, int h, int comp, const uint8_t* pixels) {
  Bytes out;
  stbi_write_bmp_to_func(collect, &out, w, h, comp, pixels);
  return out;
}
inline Bytes stbJpeg(int w, int h, const uint8_t* rgb) {
  Bytes out;
  stbi_write_jpg_to_func(collect, &out, w, h, 3, rgb, 100);
  return out;
}
inline Bytes stbTga(int w, int h, int comp, const uint8_t* pixels, bool rle) {
  Bytes out;
  stbi_write_tga_with_rle = rle ? 1 : 0;
  stbi_write_tga_to_func(collect, &out, w, h, comp, pixels);
  return out;
}
inline Bytes stbHdr(int w, int h, const float* rgb) {
  Bytes out;
  stbi_write_hdr_to_func(collect, &out, w, h, 3, rgb);
  return out;
}

// A JPEG written through libjpeg's scanline interface, for what TurboJPEG's
// compressor cannot make: any sampling factors, CMYK with or without the
// Adobe marker. libjpeg ends the process on a bad spec.
struct JpegSpec {
  int width = 0;
  int height = 0;
  J_COLOR_SPACE input = JCS_RGB;     // JCS_RGB: 3 bytes a pixel; JCS_CMYK: 4
  J_COLOR_SPACE stored = JCS_YCbCr;
  std::vector<std::pair<int, int>> sampling;  // per component; empty: libjpeg's defaults
  bool adobeMarker = true;           // only where libjpeg writes one (CMYK, YCCK)
  Bytes pixels;                      // top-down
};

inline Bytes writeJpeg(const JpegSpec& s) {
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(s.width);
  c.image_height = static_cast<JDIMENSION>(s.height);
  c.input_components = s.input == JCS_CMYK ? 4 : 3;
  c.in_color_space = s.input;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, s.stored);
  jpeg_set_quality(&c, 95, TRUE);
  for (size_t i = 0; i < s.sampling.size(); ++i) {
    c.comp_info[i].h_samp_factor = s.sampling[i].first;
    c.comp_info[i].v_samp_factor = s.sampling[i].second;
  }
  c.write_Adobe_marker = c.write_Adobe_marker && s.adobeMarker;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(s.pixels.data()) + size_t{c.next_scanline} * s.width * c.input_components;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// A classic 32-bit BMP: 40-byte info header, pixels at offset 54, bottom-up,
// stored B, G, R, A. `rgba` is top-down.
inline Bytes bmp32(int w, int h, const uint8_t* rgba) {
  Bytes out;
  appendText(out, "BM");
  appendLe32(out, 54 + w * h * 4);
  appendLe32(out, 0);
  appendLe32(out, 54);
  appendLe32(out, 40);
  appendLe32(out, static_cast<uint32_t>(w));
  appendLe32(out, static_cast<uint32_t>(h));
  appendLe16(out, 1);
  appendLe16(out, 32);
  for (int i = 0; i < 6; ++i) appendLe32(out, 0);
  for (int r = h - 1; r >= 0; --r) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = rgba + (r * w + x) * 4;
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  return out;
}

// Any BMP. `rows` are the image's rows top-down, unpadded; they are padded
// to 4 bytes and stored bottom-up, or top-down (negative height) when
// `topDown`.
struct BmpSpec {
  BmpSpec() = default;
  BmpSpec(int w, int h, int bits, uint32_t header = 40, uint32_t compress = 0)
      : width(w), height(h), bitCount(bits), headerSize(header), compression(compress) {}
  int width = 0;
  int height = 0;
  int bitCount = 24;
  uint32_t headerSize = 40;  // 12: core header (16-bit sizes, 3-byte palette entries)
  uint32_t compression = 0;  // 3: bit fields; 1, 2: run-length (pixels from `runs`)
  uint32_t masks[4] = {};    // R, G, B, A: after a 40-byte header (bit fields), or inside larger ones
  uint32_t coloursUsed = 0;
  Bytes palette;             // entries as stored (B, G, R and, except in core headers, 0)
  bool topDown = false;
  std::vector<Bytes> rows;
  Bytes runs;                // run-length pixel data as stored
};

inline Bytes writeBmp(const BmpSpec& s) {
  Bytes info;
  appendLe32(info, s.headerSize);
  if (s.headerSize == 12) {
    appendLe16(info, static_cast<uint32_t>(s.width));
    appendLe16(info, static_cast<uint32_t>(s.height));
  } else {
    appendLe32(info, static_cast<uint32_t>(s.width));
    appendLe32(info, static_cast<uint32_t>(s.topDown ? -s.height : s.height));
  }
  appendLe16(info, 1);
  appendLe16(info, static_cast<uint32_t>(s.bitCount));
  if (s.headerSize > 12) {
    for (uint32_t v : {s.compression, 0u, 0u, 0u, s.coloursUsed, 0u}) appendLe32(info, v);
    const size_t maskCount = s.headerSize == 40 ? (s.compression == 3 ? 3 : 0) : 4;
    for (size_t i = 0; i < maskCount && (s.headerSize == 40 || info.size() < s.headerSize); ++i) {
      appendLe32(info, s.masks[i]);
    }
    while (info.size() < s.headerSize) info.push_back(0);
  }
  Bytes pixels = s.runs;
  for (int r = 0; r < s.height && s.runs.empty(); ++r) {
    const Bytes& row = s.rows[static_cast<size_t>(s.topDown ? r : s.height - 1 - r)];
    pixels.insert(pixels.end(), row.begin(), row.end());
    pixels.resize((pixels.size() + 3) / 4 * 4, 0);
  }
  const uint32_t offset = static_cast<uint32_t>(14 + info.size() + s.palette.size());
  Bytes out;
  appendText(out, "BM");
  appendLe32(out, offset + static_cast<uint32_t>(pixels.size()));
  appendLe32(out, 0);
  appendLe32(out, offset);
  out.insert(out.end(), info.begin(), info.end());
  out.insert(out.end(), s.palette.begin(), s.palette.end());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// Palette indexes of `bits` each, packed from the top bit down.
inline Bytes packIndices(int bits, std::initializer_list<int> indices) {
  Bytes out((indices.size() * bits + 7) / 8, 0);
  size_t bit = 0;
  for (int index : indices) {
    out[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
    bit += bits;
  }
  return out;
}

// A GIF of one image (or two, when `second` is set) placed on the logical
// screen; `rows` are the image's palette indexes, top-down.
struct GifSpec {
  GifSpec(int screenW, int screenH, int w, int h)
      : screenWidth(screenW), screenHeight(screenH), width(w), height(h) {}
  int screenWidth = 0;
  int screenHeight = 0;
  std::vector<GifColorType> colours;  // global table; a power of two entries
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlaced = false;
  int transparent = -1;
  std::vector<Bytes> rows;
  bool second = false;  // a later full-screen image of index 0
  size_t keptColours = 0;  // when nonzero, the stored table is cut to this many entries
};

inline int gifCollect(GifFileType* gif, const GifByteType* data, int size) {
  collect(gif->UserData, const_cast<GifByteType*>(data), size);
  return size;
}

inline Bytes writeGif(const GifSpec& s) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gifCollect, &error);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(s.colours.size()), s.colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, s.screenWidth, s.screenHeight, 8, 0, map);
  if (s.transparent >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, s.transparent};
    GifByteType ext[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&gcb, ext)), ext);
  }
  EGifPutImageDesc(gif, s.left, s.top, s.width, s.height, s.interlaced, nullptr);
  std::vector<int> order;
  if (s.interlaced) {
    for (const auto& pass : {std::make_pair(0, 8), std::make_pair(4, 8), std::make_pair(2, 4), std::make_pair(1, 2)}) {
      for (int r = pass.first; r < s.height; r += pass.second) order.push_back(r);
    }
  } else {
    for (int r = 0; r < s.height; ++r) order.push_back(r);
  }
  for (int r : order) EGifPutLine(gif, const_cast<GifPixelType*>(s.rows[r].data()), s.width);
  if (s.second) {
    EGifPutImageDesc(gif, 0, 0, s.screenWidth, s.screenHeight, false, nullptr);
    Bytes zeros(static_cast<size_t>(s.screenWidth), 0);
    for (int r = 0; r < s.screenHeight; ++r) EGifPutLine(gif, zeros.data(), s.screenWidth);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  if (s.keptColours) {
    // Byte 10 holds the table's size as a power of two; the table starts at 13.
    int bits = 0;
    while ((size_t{2} << bits) < s.keptColours) ++bits;
    out[10] = static_cast<uint8_t>((out[10] & ~7) | bits);
    out.erase(out.begin() + 13 + 3 * static_cast<long>(size_t{2} << bits), out.begin() + 13 + 3 * static_cast<long>(s.colours.size()));
  }
  return out;
}

// Two pixels: palette index 0 (blue), then 1 (red).
inline Bytes gifBlueRed() {
  Bytes out;
  appendText(out, "GIF89a");
  out.insert(out.end(), {2, 0, 1, 0, 0x80, 0, 0, 0, 0, 255, 255, 0, 0});
  out.insert(out.end(), {0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0});
  // LZW, minimum code size 2: clear(4) 0 1 end(5) in 3-bit codes.
  out.insert(out.end(), {2, 2, 0x44, 0x0A, 0, 0x3B});
  return out;
}

// TGA header for type 2 (raw) or 10 (run-length) and the given size.
inline Bytes tgaHeader(uint8_t type, int w, int h, int bits) {
  Bytes out(12, 0);
  out[2] = type;
  appendLe16(out, static_cast<uint32_t>(w));
  appendLe16(out, static_cast<uint32_t>(h));
  out.push_back(static_cast<uint8_t>(bits));
  out.push_back(0);
  return out;
}

struct PngSpec {
  int width = 0;
  int height = 0;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  Bytes rows;                  // packed rows as libpng expects them
  std::vector<png_color> palette;
  Bytes trns;                  // palette alpha, when present
};

inline void pngCollect(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + size);
}
inline void pngNoFlush(png_structp) {}

inline Bytes writePng(const PngSpec& spec) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, pngCollect, pngNoFlush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colourType,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) {
    png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
  }
  if (!spec.trns.empty()) {
    png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
  }
  png_write_info(png, info);
  const size_t rowBytes = spec.rows.size() / static_cast<size_t>(spec.height);
  for (int r = 0; r < spec.height; ++r) {
    png_write_row(png, const_cast<png_bytep>(spec.rows.data() + r * rowBytes));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Replaces the PNG's IHDR width and height and fixes the chunk's CRC.
inline void setPngSize(Bytes& png, uint32_t w, uint32_t h) {
  const uint8_t be[8] = {static_cast<uint8_t>(w >> 24), static_cast<uint8_t>(w >> 16),
                         static_cast<uint8_t>(w >> 8),  static_cast<uint8_t>(w),
                         static_cast<uint8_t>(h >> 24), static_cast<uint8_t>(h >> 16),
                         static_cast<uint8_t>(h >> 8),  static_cast<uint8_t>(h)};
  std::memcpy(png.data() + 16, be, 8);
  const uLong crc = crc32(0, png.data() + 12, 17);
  png[29] = static_cast<uint8_t>(crc >> 24);
  png[30] = static_cast<uint8_t>(crc >> 16);
  png[31] = static_cast<uint8_t>(crc >> 8);
  png[32] = static_cast<uint8_t>(crc);
}

// A DXT1 cube-map DDS: header, then six faces of `levels` levels each. Block
// bytes follow a counter so every block differs.
inline Bytes ddsCube(uint32_t w, uint32_t h, uint32_t levels) {
  Bytes out;
  appendText(out, "DDS ");
  appendLe32(out, 124);
  appendLe32(out, 0x21007);
  appendLe32(out, h);
  appendLe32(out, w);
  appendLe32(out, 0);       // pitch or linear size
  appendLe32(out, 0);       // depth
  appendLe32(out, levels);
  for (int i = 0; i < 11; ++i) appendLe32(out, 0);
  appendLe32(out, 32);      // pixel format size (offset 76)
  appendLe32(out, 4);       // FourCC flag
  appendText(out, "DXT1");
  for (int i = 0; i < 5; ++i) appendLe32(out, 0);
  appendLe32(out, 0x401008);  // caps: complex, texture, mip-map
  appendLe32(out, 0xFE00);    // caps2: cube map, all faces (offset 112)
  for (int i = 0; i < 3; ++i) appendLe32(out, 0);
  uint32_t counter = 0;
  for (int face = 0; face < 6; ++face) {
    uint32_t lw = w, lh = h;
    for (uint32_t level = 0; level < levels; ++level) {
      const uint32_t blocks = ((lw + 3) / 4) * ((lh + 3) / 4);
      for (uint32_t b = 0; b < blocks; ++b, ++counter) {
        // Two 565 end points and 2-bit indices.
        appendLe16(out, counter & 0xFFFF);
        appendLe16(out, (counter * 7) & 0xFFFF);
        appendLe32(out, counter * 2654435761u);
      }
      lw = lw > 1 ? lw / 2 : 1;
      lh = lh > 1 ? lh / 2 : 1;
    }
  }
  return out;
}

// Radiance header (as readers expect it) and resolution line.
inline Bytes hdrHeader(const std::string& program, const std::string& resolution) {
  Bytes out;
  appendText(out, "#?" + program + "\nFORMAT=32-bit_rle_rgbe\n\n" + resolution + "\n");
  return out;
}

}  // namespace test_images
