// BMP: core (OS/2 1.x), info, OS/2 2.x, V2/V3, V4 and V5 headers; 1-, 4- and
// 8-bit palettes, 16- and 32-bit pixels with or without bit-field masks,
// 24-bit pixels; bottom-up and top-down rows; 8- and 4-bit run-length
// compression (bottom-up only). Every texel is written from the file or from
// a defined colour: palette indexes past the stored palette read opaque
// black, and texels a run-length picture skips read palette index 0.
#include <cstring>
#include <vector>

#include "texture/decode.h"

namespace texture_decode {

namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kOs2Header = 64;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
constexpr uint32_t kOpaqueBlack = 0xFF000000u;  // R, G, B, A in memory order

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  // False for a mask that is not one run of set bits.
  bool set(uint32_t value) {
    mask = value;
    if (!value) return true;
    shift = __builtin_ctz(value);
    max = value >> shift;
    return (max & (max + 1)) == 0;
  }
  uint32_t of(uint32_t pixel) const {
    if (!mask) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    return max == 255 ? v : static_cast<uint32_t>((uint64_t{v} * 255 + max / 2) / max);
  }
};

enum class AlphaRule { ColourKey, FromMask, Opaque };

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  bool topDown = false;
  int bits = 0;
  uint32_t compression = kRgb;
  uint32_t coloursUsed = 0;
  size_t headerEnd = 0;   // first byte after the info header and any masks after it
  size_t entrySize = 4;   // palette entry: 3 bytes after a core header
  uint32_t masks[4] = {};
  bool hasMasks = false;  // masks came from the file (bit fields or a V3+ header)
};

bool readHeader(const uint8_t* data, size_t size, Header& h, std::string& reason) {
  if (size < kFileHeader + 4) {
    reason = "BMP header is truncated";
    return false;
  }
  const uint32_t headerSize = le32(data + kFileHeader);
  const uint8_t* info = data + kFileHeader;
  const bool known = headerSize == kCoreHeader || headerSize == kInfoHeader || headerSize == 52 ||
                     headerSize == 56 || headerSize == kOs2Header || headerSize == 108 || headerSize == 124;
  if (!known) {
    reason = "unsupported BMP header";
    return false;
  }
  if (size - kFileHeader < headerSize) {
    reason = "BMP header is truncated";
    return false;
  }
  h.headerEnd = kFileHeader + headerSize;
  int64_t height = 0;
  if (headerSize == kCoreHeader) {
    h.width = le16(info + 4);
    height = le16(info + 6);
    h.bits = le16(info + 10);
    h.entrySize = 3;
  } else {
    h.width = le32(info + 4);
    height = static_cast<int32_t>(le32(info + 8));
    h.bits = le16(info + 14);
    h.compression = le32(info + 16);
    h.coloursUsed = le32(info + 32);
  }
  h.topDown = height < 0;
  h.height = static_cast<uint32_t>(height < 0 ? -height : height);
  // Widths are signed in the file: a negative one reads as far too large.
  if (!sizeAllowed(h.width, h.height)) {
    reason = "picture size out of range";
    return false;
  }
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32) {
    reason = "unsupported BMP bit count";
    return false;
  }
  const bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
  const bool runs = (h.compression == kRle8 && h.bits == 8) || (h.compression == kRle4 && h.bits == 4);
  // OS/2 2.x headers number their other compressions differently; their
  // run-length ones are the same.
  if ((h.compression != kRgb && !fields && !runs) || (fields && h.bits != 16 && h.bits != 32) ||
      (fields && headerSize == kOs2Header)) {
    reason = "unsupported BMP compression";
    return false;
  }
  if (runs && h.topDown) {
    reason = "run-length BMP stored top-down";
    return false;
  }
  // Masks follow an info header when it says bit fields; V2 and later
  // headers hold three, V3 and later four (alpha last). Either way they
  // start 40 bytes into the header.
  size_t maskCount = 0;
  if (headerSize == kInfoHeader && fields) {
    maskCount = h.compression == kAlphaBitFields ? 4 : 3;
    h.headerEnd += maskCount * 4;
  } else if (headerSize != kOs2Header && headerSize > kInfoHeader) {
    maskCount = headerSize == 52 ? 3 : 4;
  }
  if (h.headerEnd > size) {
    reason = "BMP header is truncated";
    return false;
  }
  const uint8_t* maskData = info + kInfoHeader;
  for (size_t i = 0; i < maskCount; ++i) h.masks[i] = le32(maskData + i * 4);
  h.hasMasks = fields || maskCount == 4;
  return true;
}

// The palette as RGBA words; entries the file does not store are opaque black.
void readPalette(const uint8_t* data, size_t offset, const Header& h, uint32_t (&palette)[256]) {
  const size_t declared = size_t{1} << h.bits;
  const size_t used = h.coloursUsed && h.coloursUsed < declared ? h.coloursUsed : declared;
  const size_t stored = (offset - h.headerEnd) / h.entrySize;
  const size_t count = used < stored ? used : stored;
  for (size_t i = 0; i < 256; ++i) {
    if (i >= count) {
      palette[i] = kOpaqueBlack;
      continue;
    }
    const uint8_t* e = data + h.headerEnd + i * h.entrySize;
    palette[i] = static_cast<uint32_t>(e[2]) | static_cast<uint32_t>(e[1]) << 8 |
                 static_cast<uint32_t>(e[0]) << 16 | kOpaqueBlack;
  }
}

// Expands 8- or 4-bit run-length data into one palette index per texel,
// rows bottom-up as stored; texels the runs skip stay 0. A run or delta
// that leaves the picture fails rather than being clipped, as does data
// that ends before its end-of-bitmap code.
bool expandRuns(const uint8_t* data, size_t size, const Header& h, std::vector<uint8_t>& indices,
                std::string& reason) {
  indices.assign(static_cast<size_t>(h.width) * h.height, 0);
  const bool four = h.bits == 4;
  size_t p = 0;
  uint32_t x = 0, y = 0;
  // Room for `count` texels at the cursor.
  auto fits = [&](uint32_t count) { return y < h.height && count <= h.width - x; };
  auto put = [&](uint8_t index) { indices[static_cast<size_t>(y) * h.width + x++] = index; };
  for (;;) {
    if (size - p < 2) {
      reason = "BMP run-length data is truncated";
      return false;
    }
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {  // `count` texels of one index, or of two alternating
      if (!fits(count)) break;
      for (uint32_t i = 0; i < count; ++i) put(four ? (i % 2 ? value & 15 : value >> 4) : value);
    } else if (value == 0) {  // end of line
      if (y >= h.height) break;
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return true;
    } else if (value == 2) {  // delta: right and up
      if (size - p < 2) {
        reason = "BMP run-length data is truncated";
        return false;
      }
      const uint8_t dx = data[p], dy = data[p + 1];
      p += 2;
      if (dx > h.width - x || dy > h.height - y) break;
      x += dx;
      y += dy;
    } else {  // absolute: `value` indexes as stored, padded to 16 bits
      const size_t bytes = four ? (value + 1u) / 2 : value;
      if (size - p < bytes + bytes % 2) {
        reason = "BMP run-length data is truncated";
        return false;
      }
      if (!fits(value)) break;
      for (uint32_t i = 0; i < value; ++i) {
        put(four ? (i % 2 ? data[p + i / 2] & 15 : data[p + i / 2] >> 4) : data[p + i]);
      }
      p += bytes + bytes % 2;
    }
  }
  reason = "BMP run leaves the picture";
  return false;
}

}  // namespace

TexturePtr decodeBmp(const uint8_t* data, size_t size, std::string& reason) {
  Header h;
  if (!readHeader(data, size, h, reason)) return nullptr;
  const uint32_t offset = le32(data + 10);
  if (offset < h.headerEnd || offset > size) {
    reason = "bad BMP pixel data offset";
    return nullptr;
  }
  const bool runs = h.compression == kRle8 || h.compression == kRle4;
  const uint64_t stride = runs ? 0 : (static_cast<uint64_t>(h.width) * h.bits + 31) / 32 * 4;
  if (stride * h.height > size - offset) {
    reason = "BMP pixel data is truncated";
    return nullptr;
  }

  // Plain 16-bit pixels are 5-5-5; plain 32-bit ones B, G, R and alpha in
  // the fourth byte unless a V3 or later header names another alpha mask.
  Channel red, green, blue, alpha;
  AlphaRule rule = AlphaRule::ColourKey;
  if (h.bits == 16 || h.bits == 32) {
    const bool fields = h.compression != kRgb;
    uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    if (h.bits == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    }
    if (fields) std::memcpy(masks, h.masks, 3 * sizeof(uint32_t));
    if (h.hasMasks) masks[3] = h.masks[3];
    if (!red.set(masks[0]) || !green.set(masks[1]) || !blue.set(masks[2]) || !alpha.set(masks[3])) {
      reason = "bad BMP colour masks";
      return nullptr;
    }
    // 16-bit pictures keep the colour key whatever their masks say.
    if (h.bits == 32) rule = alpha.mask ? AlphaRule::FromMask : AlphaRule::Opaque;
  }
  uint32_t palette[256];
  if (h.bits <= 8) readPalette(data, offset, h, palette);
  std::vector<uint8_t> indices;
  if (runs && !expandRuns(data + offset, size - offset, h, indices, reason)) return nullptr;

  TexturePtr texture = createPicture(h.width, h.height, reason);
  if (!texture) return nullptr;
  const size_t pitch = static_cast<size_t>(texture->width()) * 4;
  for (uint32_t r = 0; r < h.height; ++r) {
    const uint8_t* src = data + offset + (h.topDown ? r : h.height - 1 - r) * stride;
    uint8_t* dst = texture->pixels() + r * pitch;
    auto put = [dst](uint32_t x, uint32_t rgba) { std::memcpy(dst + x * 4, &rgba, 4); };
    if (runs) {
      const uint8_t* row = indices.data() + static_cast<size_t>(h.height - 1 - r) * h.width;
      for (uint32_t x = 0; x < h.width; ++x) put(x, palette[row[x]]);
    } else if (h.bits <= 8) {
      const uint32_t indexMask = (1u << h.bits) - 1;
      for (uint32_t x = 0, bit = 0; x < h.width; ++x, bit += h.bits) {
        put(x, palette[(src[bit / 8] >> (8 - h.bits - bit % 8)) & indexMask]);
      }
    } else if (h.bits == 24) {
      for (uint32_t x = 0; x < h.width; ++x, src += 3) {
        put(x, static_cast<uint32_t>(src[2]) | static_cast<uint32_t>(src[1]) << 8 |
                   static_cast<uint32_t>(src[0]) << 16);
      }
    } else {
      for (uint32_t x = 0; x < h.width; ++x) {
        const uint32_t pixel = h.bits == 16 ? le16(src + x * 2) : le32(src + x * 4);
        const uint32_t a = rule == AlphaRule::FromMask ? alpha.of(pixel) : 255;
        put(x, red.of(pixel) | green.of(pixel) << 8 | blue.of(pixel) << 16 | a << 24);
      }
    }
    if (rule == AlphaRule::ColourKey) applyColourKey(dst, h.width);
  }
  return texture;
}

}  // namespace texture_decode
