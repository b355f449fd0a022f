// Texture file decoders against generated images: pixel-exact results, and
// clean failures on malformed files. No GL context is needed: textures are
// created with a pixel copy and never uploaded here.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "texture/decode.h"
#include "test_images.h"

namespace td = texture_decode;
using test_images::Bytes;

namespace {

// Leaves `value` in freed heap blocks of many sizes (up to `largest`) and
// in the stack below this call, so that a decoder handing out memory it
// never wrote shows it.
__attribute__((noinline)) void poisonMemory(uint8_t value, size_t largest = 256 * 1024) {
  volatile uint8_t stack[64 * 1024];
  for (uint8_t& b : const_cast<uint8_t(&)[64 * 1024]>(stack)) b = value;
  std::vector<void*> blocks;
  for (size_t size = 16; size <= largest; size *= 2) {
    for (int i = 0; i < 4; ++i) {
      blocks.push_back(std::malloc(size));
      std::memset(blocks.back(), value, size);
    }
  }
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) std::free(*it);
}

// Offset of the first marker FF `code` in a JPEG, or 0.
size_t jpegMarker(const Bytes& file, uint8_t code) {
  for (size_t i = 2; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == code) return i;
  }
  return 0;
}

class DecodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = textureManager::instance().nonPowerOfTwo();
    textureManager::instance().setNonPowerOfTwo(true);
  }
  void TearDown() override { textureManager::instance().setNonPowerOfTwo(saved); }

  td::TexturePtr decode(td::Format format, const Bytes& file) {
    reason.clear();
    return td::decode(format, file.data(), file.size(), reason);
  }
  // Decodes after poisoning memory with two different values; both results
  // must exist and agree byte for byte.
  td::TexturePtr decodeTwice(td::Format format, const Bytes& file) {
    poisonMemory(0xA5);
    auto first = decode(format, file);
    poisonMemory(0x5A);
    auto second = decode(format, file);
    if (!first || !second) {
      ADD_FAILURE() << "decode failed: " << reason;
      return nullptr;
    }
    EXPECT_EQ(Bytes(first->pixels(), first->pixels() + first->dataSize()),
              Bytes(second->pixels(), second->pixels() + second->dataSize()));
    return first;
  }
  td::TexturePtr decodePng(const test_images::PngSpec& spec) {
    return decode(td::Format::Png, test_images::writePng(spec));
  }
  // Every strict prefix of a file must fail.
  void expectPrefixesFail(td::Format format, const Bytes& file) {
    for (size_t n = 0; n < file.size(); ++n) {
      std::string why;
      EXPECT_EQ(td::decode(format, file.data(), n, why), nullptr) << "prefix " << n;
    }
  }
  static const uint8_t* texel(const cTexture& t, uint32_t x, uint32_t y, uint32_t bpp = 4) {
    return t.pixels() + (static_cast<size_t>(y) * t.width() + x) * bpp;
  }
  static void expectTexel(const cTexture& t, uint32_t x, uint32_t y, const std::vector<int>& rgba) {
    const uint8_t* p = texel(t, x, y);
    EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), rgba) << "texel " << x << "," << y;
  }
  // Lossy pictures: colour within `tolerance` steps, alpha opaque.
  static void expectNearTexel(const cTexture& t, uint32_t x, uint32_t y, const std::vector<int>& rgb, int tolerance) {
    const uint8_t* p = texel(t, x, y);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], rgb[c], tolerance) << "texel " << x << "," << y << " channel " << c;
    EXPECT_EQ(p[3], 255);
  }

  bool saved = false;
  std::string reason;
};

#define EXPECT_TEXEL(tex, x, y, r, g, b, a)                          \
  do {                                                               \
    const uint8_t* p_ = texel(tex, x, y);                            \
    EXPECT_EQ((std::vector<int>{p_[0], p_[1], p_[2], p_[3]}),        \
              (std::vector<int>{r, g, b, a}))                        \
        << "texel " << (x) << "," << (y);                            \
  } while (0)

// ---------------------------------------------------------------- pictures

TEST_F(DecodeTest, BmpPureBlueIsTransparentAndNearBlueOpaque) {
  const uint8_t rgb[] = {0, 0, 255, 0, 0, 254, 10, 20, 30,   // top row
                         255, 255, 255, 0, 0, 255, 0, 1, 255};
  const auto t = decode(td::Format::Picture, test_images::stbBmp(3, 2, 3, rgb));
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_EQ(t->width(), 3u);
  EXPECT_EQ(t->height(), 2u);
  EXPECT_EQ(t->internalFormat(), static_cast<GLenumValue>(GL_RGBA8));
  EXPECT_TEXEL(*t, 0, 0, 0, 0, 255, 0);
  EXPECT_TEXEL(*t, 1, 0, 0, 0, 254, 255);
  EXPECT_TEXEL(*t, 2, 0, 10, 20, 30, 255);
  EXPECT_TEXEL(*t, 0, 1, 255, 255, 255, 255);
  EXPECT_TEXEL(*t, 1, 1, 0, 0, 255, 0);
  EXPECT_TEXEL(*t, 2, 1, 0, 1, 255, 255);
}

// Exact sizes decode into a copy that is not zeroed first; rounded sizes
// place rows in a wider, zeroed block. Both must key the same pixels and
// size the copy.
TEST_F(DecodeTest, PictureKeyMatchesInExactAndRoundedTextures) {
  const uint8_t rgb[] = {0, 0, 255, 0, 0, 254, 10, 20, 30,
                         255, 255, 255, 0, 0, 255, 0, 1, 255};
  const Bytes file = test_images::stbBmp(3, 2, 3, rgb);
  const auto exact = decode(td::Format::Picture, file);
  ASSERT_NE(exact, nullptr) << reason;
  EXPECT_EQ(exact->dataSize(), 3u * 2 * 4);
  EXPECT_EQ(exact->bitsPerPixel(), 32u);
  textureManager::instance().setNonPowerOfTwo(false);
  const auto rounded = decode(td::Format::Picture, file);
  ASSERT_NE(rounded, nullptr) << reason;
  ASSERT_EQ(rounded->width(), 4u);
  EXPECT_EQ(rounded->dataSize(), 4u * 2 * 4);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const uint8_t* a = exact->pixels() + (y * 3 + x) * 4;
      EXPECT_EQ(Bytes(a, a + 4), Bytes(rounded->pixels() + (y * 4 + x) * 4, rounded->pixels() + (y * 4 + x) * 4 + 4))
          << x << "," << y;
    }
    EXPECT_TEXEL(*rounded, 3, y, 0, 0, 0, 0);  // margin untouched
  }
  EXPECT_TEXEL(*exact, 1, 1, 0, 0, 255, 0);
}

TEST_F(DecodeTest, ThirtyTwoBitBmpKeepsItsAlphaWithEitherHeader) {
  // Pure blue with alpha 200 keeps 200: the file's alpha wins over the key.
  const uint8_t rgba[] = {1, 2, 3, 0, 0, 0, 255, 200, 9, 8, 7, 128, 255, 0, 0, 255};
  for (const Bytes& file : {test_images::bmp32(2, 2, rgba), test_images::stbBmp(2, 2, 4, rgba)}) {
    const auto t = decode(td::Format::Picture, file);
    ASSERT_NE(t, nullptr) << reason;
    EXPECT_TEXEL(*t, 0, 0, 1, 2, 3, 0);
    EXPECT_TEXEL(*t, 1, 0, 0, 0, 255, 200);
    EXPECT_TEXEL(*t, 0, 1, 9, 8, 7, 128);
    EXPECT_TEXEL(*t, 1, 1, 255, 0, 0, 255);
  }
}

TEST_F(DecodeTest, JpegAndGifDecodeToOpaqueRgbWithTheBlueKey) {
  std::vector<uint8_t> rgb(16 * 8 * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    const bool left = (i / 3) % 16 < 8;
    rgb[i] = left ? 200 : 20;
    rgb[i + 1] = 100;
    rgb[i + 2] = left ? 30 : 220;
  }
  const auto jpeg = decode(td::Format::Picture, test_images::stbJpeg(16, 8, rgb.data()));
  ASSERT_NE(jpeg, nullptr) << reason;
  EXPECT_EQ(jpeg->width(), 16u);
  EXPECT_EQ(jpeg->height(), 8u);
  expectNearTexel(*jpeg, 2, 3, {200, 100, 30}, 6);
  expectNearTexel(*jpeg, 13, 3, {20, 100, 220}, 6);

  const auto gif = decode(td::Format::Picture, test_images::gifBlueRed());
  ASSERT_NE(gif, nullptr) << reason;
  EXPECT_EQ(gif->width(), 2u);
  EXPECT_TEXEL(*gif, 0, 0, 0, 0, 255, 0);
  EXPECT_TEXEL(*gif, 1, 0, 255, 0, 0, 255);
}

TEST_F(DecodeTest, MalformedPicturesFail) {
  EXPECT_EQ(decode(td::Format::Picture, Bytes{}), nullptr);
  // A PNG named .bmp is not a picture for this decoder.
  const uint8_t rgb[] = {1, 2, 3};
  test_images::PngSpec spec;
  spec.width = spec.height = 1;
  spec.rows.assign(rgb, rgb + 3);
  EXPECT_EQ(decode(td::Format::Picture, test_images::writePng(spec)), nullptr);
  // 32-bit BMP whose pixel data offset points past the end.
  const uint8_t rgba[16] = {};
  Bytes bmp = test_images::bmp32(2, 2, rgba);
  bmp[10] = 0xF0;
  EXPECT_EQ(decode(td::Format::Picture, bmp), nullptr);
  // Header claiming a picture far beyond the limits.
  bmp = test_images::bmp32(2, 2, rgba);
  bmp[18] = bmp[19] = bmp[20] = 0xFF;
  bmp[21] = 0x00;
  EXPECT_EQ(decode(td::Format::Picture, bmp), nullptr);
  const Bytes gif = test_images::gifBlueRed();
  expectPrefixesFail(td::Format::Picture, Bytes(gif.begin(), gif.begin() + 20));
}

// Every palette index gives a defined colour: indexes past the stored
// palette read opaque black, whatever the header declares, and texels that
// run-length data skips read index 0.
TEST_F(DecodeTest, PaletteBmpsGiveDefinedColoursForEveryIndex) {
  const Bytes quads = {0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0};  // red, blue, green
  const Bytes triples = {0, 0, 255, 255, 0, 0};                    // red, blue
  using Rgba = std::vector<int>;
  const Rgba red{255, 0, 0, 255}, key{0, 0, 255, 0}, green{0, 255, 0, 255}, black{0, 0, 0, 255};
  struct Case {
    const char* name;
    int bits;
    uint32_t header;
    uint32_t used;
    Bytes palette;
    std::initializer_list<int> top, bottom;
    std::vector<Rgba> expected;  // top row, then bottom row
    Bytes runs = {};             // run-length data (bottom row first) instead of rows
  };
  const Case cases[] = {
      {"1-bit, one of two stored", 1, 40, 0, Bytes(quads.begin(), quads.begin() + 4), {0, 1, 0}, {1, 1, 0},
       {red, black, red, black, black, red}},
      {"4-bit, three used", 4, 40, 3, quads, {0, 1, 5}, {2, 0, 15}, {red, key, black, green, red, black}},
      {"8-bit, two of 256 stored", 8, 40, 0, Bytes(quads.begin(), quads.begin() + 8), {0, 1, 200},
       {1, 0, 2}, {red, key, black, key, red, black}},
      {"8-bit, more used than stored", 8, 40, 4000, quads, {2, 1, 255}, {3, 0, 1},
       {green, key, black, black, red, key}},
      {"8-bit core header", 8, 12, 0, triples, {0, 1, 200}, {1, 0, 2}, {red, key, black, key, red, black}},
      {"4-bit core header", 4, 12, 0, triples, {0, 1, 5}, {1, 0, 15}, {red, key, black, key, red, black}},
      {"1-bit core header", 1, 12, 0, Bytes(triples.begin(), triples.begin() + 3), {0, 1, 0}, {1, 0, 0},
       {red, black, red, black, red, red}},
      {"8-bit runs: repeat, end of line, padded absolute run", 8, 40, 0, quads, {}, {},
       {key, red, black, green, green, key}, {2, 2, 1, 1, 0, 0, 0, 3, 1, 0, 200, 0, 0, 1}},
      {"8-bit runs: delta, early end", 8, 40, 0, quads, {}, {},
       {red, red, key, green, red, red}, {1, 2, 0, 2, 1, 1, 1, 1, 0, 1}},
      {"4-bit runs: alternating pair, absolute nibbles", 4, 40, 3, quads, {}, {},
       {key, black, green, green, key, green}, {3, 0x21, 0, 0, 0, 3, 0x15, 0x20, 0, 1}},
      {"4-bit runs: end of line after the top row", 4, 40, 3, quads, {}, {},
       {green, key, red, green, green, key}, {2, 0x22, 1, 0x10, 0, 0, 2, 0x21, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_images::BmpSpec spec(3, 2, c.bits, c.header);
    spec.coloursUsed = c.used;
    spec.palette = c.palette;
    spec.rows = {test_images::packIndices(c.bits, c.top), test_images::packIndices(c.bits, c.bottom)};
    spec.runs = c.runs;
    if (!c.runs.empty()) spec.compression = c.bits == 8 ? 1 : 2;
    const auto t = decodeTwice(td::Format::Picture, test_images::writeBmp(spec));
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 6; ++i) expectTexel(*t, i % 3, i / 3, c.expected[i]);
  }
}

// A negative height stores rows top-down; the picture still lands upright.
TEST_F(DecodeTest, TopDownBmpsDecodeUpright) {
  test_images::BmpSpec spec(2, 3, 24);
  spec.topDown = true;
  spec.rows = {{3, 2, 1, 0, 0, 255}, {6, 5, 4, 255, 0, 0}, {9, 8, 7, 0, 0, 0}};  // B, G, R
  auto t = decode(td::Format::Picture, test_images::writeBmp(spec));
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 1, 2, 3, 255);
  EXPECT_TEXEL(*t, 1, 0, 255, 0, 0, 255);
  EXPECT_TEXEL(*t, 1, 1, 0, 0, 255, 0);
  EXPECT_TEXEL(*t, 0, 2, 7, 8, 9, 255);

  spec.bitCount = 8;
  spec.palette = {10, 20, 30, 0, 40, 50, 60, 0};
  spec.rows = {{0}, {1}, {0}};
  spec.width = 1;
  t = decode(td::Format::Picture, test_images::writeBmp(spec));
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 30, 20, 10, 255);
  EXPECT_TEXEL(*t, 0, 1, 60, 50, 40, 255);

  spec.bitCount = 32;
  spec.palette.clear();
  spec.rows = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
  t = decode(td::Format::Picture, test_images::writeBmp(spec));
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 3, 2, 1, 4);
  EXPECT_TEXEL(*t, 0, 2, 11, 10, 9, 12);
}

// Bit-field headers place every channel through its mask; without an alpha
// mask the picture is opaque. 16-bit pixels scale their channels to 8 bits.
TEST_F(DecodeTest, BmpMasksPlaceColourAndAlpha) {
  struct Case {
    const char* name;
    int bits;
    uint32_t header;
    uint32_t compression;
    std::array<uint32_t, 4> masks;
    Bytes pixel0, pixel1;
    std::vector<int> texel0, texel1;
  };
  const Case cases[] = {
      {"V4, red in the fourth byte", 32, 108, 3, {0xFF000000, 0xFF0000, 0xFF00, 0xFF},
       {7, 30, 20, 10}, {255, 255, 0, 0}, {10, 20, 30, 7}, {0, 0, 255, 255}},
      {"V5 without an alpha mask", 32, 124, 3, {0xFF0000, 0xFF00, 0xFF, 0},
       {255, 0, 0, 0}, {1, 2, 3, 99}, {0, 0, 255, 255}, {3, 2, 1, 255}},
      {"V5 plain format with an alpha mask", 32, 124, 0, {0, 0, 0, 0xFF000000},
       {1, 2, 3, 40}, {255, 0, 0, 0}, {3, 2, 1, 40}, {0, 0, 255, 0}},
      {"info header with three masks", 32, 40, 3, {0xFF, 0xFF00, 0xFF0000, 0},
       {1, 2, 3, 0}, {0, 0, 255, 0}, {1, 2, 3, 255}, {0, 0, 255, 255}},
      {"16-bit 5-6-5", 16, 40, 3, {0xF800, 0x07E0, 0x001F, 0},
       {0x1F, 0x00}, {0x10, 0x84}, {0, 0, 255, 0}, {132, 130, 132, 255}},
      {"16-bit plain 5-5-5", 16, 40, 0, {0, 0, 0, 0},
       {0x00, 0x7C}, {0xFF, 0xFF}, {255, 0, 0, 255}, {255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_images::BmpSpec spec(2, 1, c.bits, c.header, c.compression);
    std::copy(c.masks.begin(), c.masks.end(), spec.masks);
    spec.rows = {c.pixel0};
    spec.rows[0].insert(spec.rows[0].end(), c.pixel1.begin(), c.pixel1.end());
    const auto t = decode(td::Format::Picture, test_images::writeBmp(spec));
    ASSERT_NE(t, nullptr) << reason;
    expectTexel(*t, 0, 0, c.texel0);
    expectTexel(*t, 1, 0, c.texel1);
  }
}

TEST_F(DecodeTest, MalformedBmpsFailWithReason) {
  test_images::BmpSpec spec(2, 2, 24);
  spec.rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  const Bytes good = test_images::writeBmp(spec);
  ASSERT_NE(decode(td::Format::Picture, good), nullptr) << reason;
  struct Patch {
    size_t offset;
    uint8_t value;
    const char* reason;
  };
  for (const Patch& p : {Patch{14, 41, "unsupported BMP header"}, Patch{28, 2, "unsupported BMP bit count"},
                         Patch{30, 1, "unsupported BMP compression"}, Patch{10, 40, "bad BMP pixel data offset"},
                         Patch{18, 0, "picture size out of range"}, Patch{25, 0x80, "picture size out of range"}}) {
    Bytes bad = good;
    bad[p.offset] = p.value;
    EXPECT_EQ(decode(td::Format::Picture, bad), nullptr) << "offset " << p.offset;
    EXPECT_EQ(reason, p.reason) << "offset " << p.offset;
  }
  spec.bitCount = 16;
  spec.compression = 3;
  spec.masks[0] = 0x0F0F;  // not one run of bits
  spec.rows = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  EXPECT_EQ(decode(td::Format::Picture, test_images::writeBmp(spec)), nullptr);
  EXPECT_EQ(reason, "bad BMP colour masks");
  expectPrefixesFail(td::Format::Picture, good);

  // Run-length data, 2 x 2 texels.
  test_images::BmpSpec runs(2, 2, 8, 40, 1);
  runs.palette = {0, 0, 255, 0};
  runs.runs = {2, 0, 0, 0, 1, 0, 0, 2, 1, 0, 0, 1};
  ASSERT_NE(decode(td::Format::Picture, test_images::writeBmp(runs)), nullptr) << reason;
  expectPrefixesFail(td::Format::Picture, test_images::writeBmp(runs));
  const struct {
    const char* what;
    Bytes data;
    const char* reason;
  } badRuns[] = {
      {"repeat past the row", {1, 0, 2, 0, 0, 1}, "BMP run leaves the picture"},
      {"absolute run past the row", {0, 3, 0, 0, 0, 0, 0, 1}, "BMP run leaves the picture"},
      {"delta right", {0, 2, 3, 0, 0, 1}, "BMP run leaves the picture"},
      {"delta up", {0, 2, 0, 3, 0, 1}, "BMP run leaves the picture"},
      {"run above the top", {0, 0, 0, 0, 1, 0, 0, 1}, "BMP run leaves the picture"},
      {"end of line above the top", {0, 0, 0, 0, 0, 0, 0, 1}, "BMP run leaves the picture"},
      {"no end of bitmap", {2, 0, 0, 0, 2, 0}, "BMP run-length data is truncated"},
      {"delta cut short", {0, 2, 1}, "BMP run-length data is truncated"},
      {"absolute run cut short", {0, 3, 0, 0}, "BMP run-length data is truncated"},
  };
  for (const auto& b : badRuns) {
    runs.runs = b.data;
    EXPECT_EQ(decode(td::Format::Picture, test_images::writeBmp(runs)), nullptr) << b.what;
    EXPECT_EQ(reason, b.reason) << b.what;
  }
  runs.runs = {0, 1};
  runs.topDown = true;
  EXPECT_EQ(decode(td::Format::Picture, test_images::writeBmp(runs)), nullptr);
  EXPECT_EQ(reason, "run-length BMP stored top-down");
  runs.topDown = false;
  runs.bitCount = 4;  // RLE8 needs 8-bit indexes
  EXPECT_EQ(decode(td::Format::Picture, test_images::writeBmp(runs)), nullptr);
  EXPECT_EQ(reason, "unsupported BMP compression");
}

TEST_F(DecodeTest, GifShowsTheFirstImageOnItsScreen) {
  const std::vector<GifColorType> colours = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 255, 255}};
  test_images::GifSpec spec(4, 3, 3, 2);
  spec.colours = colours;
  spec.left = 1;
  spec.top = 1;
  spec.transparent = 3;
  spec.rows = {{0, 1, 2}, {3, 2, 0}};
  spec.second = true;
  // Outside the image and at the transparent index the screen shows black.
  auto t = decodeTwice(td::Format::Picture, test_images::writeGif(spec));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->width(), 4u);
  EXPECT_EQ(t->height(), 3u);
  const std::vector<int> k{0, 0, 0, 255}, red{255, 0, 0, 255}, key{0, 0, 255, 0}, green{0, 255, 0, 255};
  const std::vector<int> screen[3][4] = {{k, k, k, k}, {k, red, key, green}, {k, k, green, red}};
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 4; ++x) expectTexel(*t, x, y, screen[y][x]);
  }

  // Indexes past a cut table read black; interlaced rows land in place.
  spec = test_images::GifSpec(2, 9, 2, 9);
  spec.colours = colours;
  spec.keptColours = 2;
  spec.interlaced = true;
  for (uint8_t r = 0; r < 9; ++r) spec.rows.push_back({uint8_t(r % 2), uint8_t(r % 4)});
  t = decodeTwice(td::Format::Picture, test_images::writeGif(spec));
  ASSERT_NE(t, nullptr);
  for (int r = 0; r < 9; ++r) {
    EXPECT_TEXEL(*t, 0, r, r % 2 ? 0 : 255, 0, r % 2 ? 255 : 0, r % 2 ? 0 : 255);
    if (r % 4 >= 2) EXPECT_TEXEL(*t, 1, r, 0, 0, 0, 255);
  }
}

// CMYK JPEGs store inverted ink (255: none), as print tools write them.
TEST_F(DecodeTest, CmykJpegBecomesRgb) {
  Bytes cmyk(16 * 8 * 4);
  for (size_t i = 0; i < cmyk.size(); i += 4) {
    const bool left = (i / 4) % 16 < 8;
    const uint8_t ink[4] = {255, uint8_t(left ? 255 : 0), uint8_t(left ? 0 : 255), uint8_t(left ? 200 : 255)};
    std::copy(ink, ink + 4, &cmyk[i]);
  }
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  ASSERT_EQ(tjCompress2(tj, cmyk.data(), 16, 0, 8, TJPF_CMYK, &jpeg, &jpegSize, TJSAMP_444, 100, 0), 0);
  const Bytes file(jpeg, jpeg + jpegSize);
  tjFree(jpeg);
  tjDestroy(tj);
  const auto t = decode(td::Format::Picture, file);
  ASSERT_NE(t, nullptr) << reason;
  expectNearTexel(*t, 2, 3, {200, 200, 0}, 4);
  expectNearTexel(*t, 13, 3, {255, 0, 255}, 4);
}

// Every JPEG libjpeg reads decodes, including the sampling factors and ink
// layouts TurboJPEG refuses or cannot tell apart.
TEST_F(DecodeTest, JpegsOfAnySamplingAndInkDecode) {
  using Rgb = std::vector<int>;
  struct Case {
    const char* what;
    J_COLOR_SPACE input, stored;
    std::vector<std::pair<int, int>> sampling;
    bool adobe;
    Bytes left, right;  // one pixel of each half as stored
    Rgb leftRgb, rightRgb;
  };
  const Bytes inkLeft = {255, 255, 0, 200}, inkRight = {255, 0, 255, 255};  // inverted
  const Case cases[] = {
      {"CMYK, Adobe marker: inverted ink", JCS_CMYK, JCS_CMYK, {}, true, inkLeft, inkRight, {200, 200, 0}, {255, 0, 255}},
      {"CMYK without Adobe marker: plain ink", JCS_CMYK, JCS_CMYK, {}, false, {0, 0, 255, 55}, {0, 255, 0, 0},
       {200, 200, 0}, {255, 0, 255}},
      {"YCCK, black at half resolution", JCS_CMYK, JCS_YCCK, {{2, 2}, {1, 1}, {1, 1}, {1, 1}}, true, inkLeft, inkRight,
       {200, 200, 0}, {255, 0, 255}},
      {"CMYK, cyan sampled 2 x 1", JCS_CMYK, JCS_CMYK, {{1, 1}, {2, 1}, {1, 1}, {1, 1}}, true, inkLeft, inkRight,
       {200, 200, 0}, {255, 0, 255}},
      {"YCbCr 2 x 2, 1 x 2, 2 x 1", JCS_RGB, JCS_YCbCr, {{2, 2}, {1, 2}, {2, 1}}, true, {200, 100, 30}, {20, 100, 220},
       {200, 100, 30}, {20, 100, 220}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test_images::JpegSpec spec;
    spec.width = spec.height = 16;
    spec.input = c.input;
    spec.stored = c.stored;
    spec.sampling = c.sampling;
    spec.adobeMarker = c.adobe;
    for (int i = 0; i < 16 * 16; ++i) {
      const Bytes& pixel = i % 16 < 8 ? c.left : c.right;
      spec.pixels.insert(spec.pixels.end(), pixel.begin(), pixel.end());
    }
    const auto t = decodeTwice(td::Format::Picture, test_images::writeJpeg(spec));
    ASSERT_NE(t, nullptr);
    expectNearTexel(*t, 2, 8, c.leftRgb, 8);
    expectNearTexel(*t, 13, 8, c.rightRgb, 8);
  }
}

// Single changed bytes in a progressive JPEG: each copy fails, or decodes
// to the same texels under two different heap poisonings, so no texel comes
// from memory the decoder never wrote. Intact files decode alike through
// TurboJPEG and through the scanline fallback that damaged ones take.
TEST_F(DecodeTest, DamagedProgressiveJpegsNeverShowUnwrittenTexels) {
  const int w = 48, h = 32;
  Bytes rgb(w * h * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 37) ^ (i / 97));
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long jpegSize = 0;
  ASSERT_EQ(tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &jpegSize, TJSAMP_420, 90, TJFLAG_PROGRESSIVE), 0);
  const Bytes good(jpeg, jpeg + jpegSize);
  tjFree(jpeg);
  tjDestroy(tj);
  const auto intact = decode(td::Format::Picture, good);
  ASSERT_NE(intact, nullptr) << reason;
  const auto scanlines = td::decodeJpegScanlines(good.data(), good.size(), reason);
  ASSERT_NE(scanlines, nullptr) << reason;
  EXPECT_EQ(Bytes(intact->pixels(), intact->pixels() + intact->dataSize()),
            Bytes(scanlines->pixels(), scanlines->pixels() + scanlines->dataSize()));

  int accepted = 0, differing = 0;
  for (size_t i = jpegMarker(good, 0xDA); i < 2 * good.size(); ++i) {
    Bytes bad = good;
    bad[i % good.size()] ^= i < good.size() ? 0x5C : 0x81;
    // Small pictures: small blocks suffice, and keep the many rounds quick.
    poisonMemory(0xA5, 16 * 1024);
    const auto first = decode(td::Format::Picture, bad);
    poisonMemory(0x5A, 16 * 1024);
    const auto second = decode(td::Format::Picture, bad);
    ASSERT_EQ(first != nullptr, second != nullptr) << "change " << i;
    if (!first) continue;
    ++accepted;
    differing += !std::equal(first->pixels(), first->pixels() + first->dataSize(), second->pixels());
  }
  EXPECT_GT(accepted, 100);
  EXPECT_EQ(differing, 0) << "of " << accepted << " accepted copies";
}

// A JPEG whose scan is missing fails; one cut short inside its scan, or
// with a Huffman table that lists more codes than it can hold, never yields
// texels the decoder did not write.
TEST_F(DecodeTest, DamagedJpegsFailOrDecodeTheSameEveryTime) {
  std::vector<uint8_t> rgb(32 * 16 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  const Bytes good = test_images::stbJpeg(32, 16, rgb.data());
  const size_t sos = jpegMarker(good, 0xDA);
  ASSERT_GT(sos, 0u);

  Bytes noScan(good.begin(), good.begin() + static_cast<long>(sos));
  noScan.insert(noScan.end(), {0xFF, 0xD9});
  EXPECT_EQ(decode(td::Format::Picture, noScan), nullptr);
  EXPECT_FALSE(reason.empty());

  const Bytes cut(good.begin(), good.begin() + static_cast<long>(sos + (good.size() - sos) / 2));
  const auto t = decodeTwice(td::Format::Picture, cut);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->width(), 32u);

  // Tables only: no frame at all.
  const size_t sof = jpegMarker(good, 0xC0);
  ASSERT_GT(sof, 0u);
  Bytes tablesOnly(good.begin(), good.begin() + static_cast<long>(sof));
  tablesOnly.insert(tablesOnly.end(), {0xFF, 0xD9});
  EXPECT_EQ(decode(td::Format::Picture, tablesOnly), nullptr);
  EXPECT_EQ(reason, "JPEG holds tables but no image");

  Bytes badTable = good;
  const size_t dht = jpegMarker(good, 0xC4);
  ASSERT_GT(dht, 0u);
  for (size_t i = 0; i < 16; ++i) badTable[dht + 5 + i] = 0xFF;
  EXPECT_EQ(decode(td::Format::Picture, badTable), nullptr);
  EXPECT_FALSE(reason.empty());
}

// --------------------------------------------------------------------- PNG

TEST_F(DecodeTest, PngColourTypesComeOutAsRgba) {
  using test_images::PngSpec;
  PngSpec rgb;
  rgb.width = 2;
  rgb.height = 2;
  rgb.rows = {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 255};
  auto t = decodePng(rgb);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 10, 20, 30, 255);
  EXPECT_TEXEL(*t, 1, 0, 40, 50, 60, 255);
  EXPECT_TEXEL(*t, 0, 1, 70, 80, 90, 255);
  EXPECT_TEXEL(*t, 1, 1, 0, 0, 255, 255);  // no colour key for PNG

  PngSpec grey;
  grey.width = 3;
  grey.height = 1;
  grey.colourType = PNG_COLOR_TYPE_GRAY;
  grey.rows = {0, 128, 255};
  t = decodePng(grey);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 0, 0, 0, 255);
  EXPECT_TEXEL(*t, 1, 0, 128, 128, 128, 255);
  EXPECT_TEXEL(*t, 2, 0, 255, 255, 255, 255);

  PngSpec grey2 = grey;  // 2-bit grey expands to 8 bits
  grey2.bitDepth = 2;
  grey2.rows = {0x1B};   // 0, 1, 2 (and a padding 3)
  t = decodePng(grey2);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 0, 0, 0, 255);
  EXPECT_TEXEL(*t, 1, 0, 85, 85, 85, 255);
  EXPECT_TEXEL(*t, 2, 0, 170, 170, 170, 255);

  PngSpec greyAlpha;
  greyAlpha.width = 2;
  greyAlpha.height = 1;
  greyAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  greyAlpha.rows = {60, 7, 200, 255};
  t = decodePng(greyAlpha);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 60, 60, 60, 7);
  EXPECT_TEXEL(*t, 1, 0, 200, 200, 200, 255);

  PngSpec palette;
  palette.width = 3;
  palette.height = 1;
  palette.colourType = PNG_COLOR_TYPE_PALETTE;
  palette.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  palette.rows = {2, 0, 1};
  t = decodePng(palette);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 0, 0, 255, 255);
  EXPECT_TEXEL(*t, 1, 0, 255, 0, 0, 255);
  EXPECT_TEXEL(*t, 2, 0, 0, 255, 0, 255);

  palette.trns = {17, 128};  // the third entry stays opaque
  t = decodePng(palette);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 0, 0, 255, 255);
  EXPECT_TEXEL(*t, 1, 0, 255, 0, 0, 17);
  EXPECT_TEXEL(*t, 2, 0, 0, 255, 0, 128);

  PngSpec rgba16;
  rgba16.width = 1;
  rgba16.height = 1;
  rgba16.colourType = PNG_COLOR_TYPE_RGBA;
  rgba16.bitDepth = 16;
  rgba16.rows = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  t = decodePng(rgba16);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 0x12, 0x56, 0x9A, 0xDE);
}

TEST_F(DecodeTest, PngRowsLandInWiderPowerOfTwoTexture) {
  textureManager::instance().setNonPowerOfTwo(false);
  test_images::PngSpec spec;
  spec.width = 3;
  spec.height = 3;
  for (int i = 0; i < 9; ++i) spec.rows.insert(spec.rows.end(), {uint8_t(i), uint8_t(i * 2), uint8_t(i * 3)});
  const auto t = decodePng(spec);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_EQ(t->width(), 4u);
  EXPECT_EQ(t->height(), 4u);
  EXPECT_EQ(t->usedWidth(), 3u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_TEXEL(*t, x, y, y * 3 + x, (y * 3 + x) * 2, (y * 3 + x) * 3, 255);
    EXPECT_TEXEL(*t, 3, y, 0, 0, 0, 0);  // margin untouched
  }
}

TEST_F(DecodeTest, CorruptPngFailsWithReason) {
  test_images::PngSpec spec;
  spec.width = 8;
  spec.height = 8;
  spec.rows.assign(8 * 8 * 3, 77);
  const Bytes good = test_images::writePng(spec);
  ASSERT_NE(decode(td::Format::Png, good), nullptr);

  Bytes bad = good;
  bad[bad.size() - 20] ^= 0x55;  // inside IDAT: CRC mismatch
  EXPECT_EQ(decode(td::Format::Png, bad), nullptr);
  EXPECT_FALSE(reason.empty());

  bad = good;
  test_images::setPngSize(bad, 100000, 100000);
  EXPECT_EQ(decode(td::Format::Png, bad), nullptr);
  bad = good;
  test_images::setPngSize(bad, 8000, 8000);  // within limits, impossible for the data
  EXPECT_EQ(decode(td::Format::Png, bad), nullptr);
  EXPECT_EQ(reason, "image size out of range");
  expectPrefixesFail(td::Format::Png, good);
}

// --------------------------------------------------------------------- TGA

TEST_F(DecodeTest, RawTgaKeepsFileRowOrderIn24And32Bits) {
  const uint8_t rgb[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2x2, top row first
  const auto t24 = decode(td::Format::Tga, test_images::stbTga(2, 2, 3, rgb, false));
  ASSERT_NE(t24, nullptr) << reason;
  EXPECT_EQ(t24->internalFormat(), static_cast<GLenumValue>(GL_RGB8));
  EXPECT_EQ(t24->dataSize(), 2u * 2u * 3u);
  // The file stores the bottom row first; so does the texture.
  EXPECT_EQ(Bytes(t24->pixels(), t24->pixels() + 12), (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

  const uint8_t rgba[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const auto t32 = decode(td::Format::Tga, test_images::stbTga(2, 2, 4, rgba, false));
  ASSERT_NE(t32, nullptr) << reason;
  EXPECT_EQ(t32->internalFormat(), static_cast<GLenumValue>(GL_RGBA8));
  EXPECT_TEXEL(*t32, 0, 0, 9, 10, 11, 12);
  EXPECT_TEXEL(*t32, 1, 1, 5, 6, 7, 8);
}

TEST_F(DecodeTest, RunLengthTgaPackets) {
  Bytes file = test_images::tgaHeader(10, 3, 2, 32);
  // 0x80: one pixel once; 0x00: one literal; 0x83: four repeats across the
  // row break.
  file.insert(file.end(), {0x80, 3, 2, 1, 4});
  file.insert(file.end(), {0x00, 30, 20, 10, 40});
  file.insert(file.end(), {0x83, 9, 9, 9, 9});
  const auto t = decode(td::Format::Tga, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 1, 2, 3, 4);
  EXPECT_TEXEL(*t, 1, 0, 10, 20, 30, 40);
  EXPECT_TEXEL(*t, 2, 0, 9, 9, 9, 9);
  EXPECT_TEXEL(*t, 2, 1, 9, 9, 9, 9);

  // stb's run-length writer agrees with the raw file.
  std::vector<uint8_t> rgb(5 * 4 * 3, 50);
  rgb[7] = 200;
  const auto a = decode(td::Format::Tga, test_images::stbTga(5, 4, 3, rgb.data(), true));
  const auto b = decode(td::Format::Tga, test_images::stbTga(5, 4, 3, rgb.data(), false));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Bytes(a->pixels(), a->pixels() + a->dataSize()), Bytes(b->pixels(), b->pixels() + b->dataSize()));
}

TEST_F(DecodeTest, TgaRowsArePlacedInRoundedTexture) {
  textureManager::instance().setNonPowerOfTwo(false);
  Bytes file = test_images::tgaHeader(2, 3, 2, 24);
  for (uint8_t i = 0; i < 6; ++i) file.insert(file.end(), {uint8_t(i + 100), uint8_t(i), uint8_t(i + 50)});
  const auto t = decode(td::Format::Tga, file);
  ASSERT_NE(t, nullptr) << reason;
  ASSERT_EQ(t->width(), 4u);
  EXPECT_EQ(t->dataSize(), 4u * 2u * 3u);
  for (uint8_t i = 0; i < 6; ++i) {
    const uint8_t* p = texel(*t, i % 3, i / 3, 3);
    EXPECT_EQ((Bytes{p[0], p[1], p[2]}), (Bytes{uint8_t(i + 50), i, uint8_t(i + 100)}));
  }
  EXPECT_EQ(texel(*t, 3, 0, 3)[0], 0);
}

TEST_F(DecodeTest, MalformedTgaFails) {
  Bytes withId = test_images::tgaHeader(2, 1, 1, 24);
  withId[0] = 1;
  withId.insert(withId.end(), {0, 1, 2, 3});
  EXPECT_EQ(decode(td::Format::Tga, withId), nullptr);
  Bytes colourMap = test_images::tgaHeader(2, 1, 1, 24);
  colourMap[1] = 1;
  colourMap.insert(colourMap.end(), {1, 2, 3});
  EXPECT_EQ(decode(td::Format::Tga, colourMap), nullptr);
  Bytes sixteen = test_images::tgaHeader(2, 1, 1, 16);
  sixteen.insert(sixteen.end(), {1, 2});
  EXPECT_EQ(decode(td::Format::Tga, sixteen), nullptr);
  Bytes huge = test_images::tgaHeader(10, 65535, 65535, 32);
  huge.insert(huge.end(), {0xFF, 1, 2, 3, 4});
  EXPECT_EQ(decode(td::Format::Tga, huge), nullptr);

  Bytes rle = test_images::tgaHeader(10, 4, 4, 24);
  rle.insert(rle.end(), {0x8F, 1, 2, 3});
  ASSERT_NE(decode(td::Format::Tga, rle), nullptr);
  expectPrefixesFail(td::Format::Tga, rle);
  const uint8_t rgba[16] = {};
  expectPrefixesFail(td::Format::Tga, test_images::stbTga(2, 2, 4, rgba, false));
}

// --------------------------------------------------------------------- DDS

TEST_F(DecodeTest, DdsCubeMapKeepsEveryLevelInTheCopy) {
  const Bytes file = test_images::ddsCube(512, 512, 10);
  const auto t = decode(td::Format::Dds, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_EQ(t->target(), static_cast<GLenumValue>(GL_TEXTURE_CUBE_MAP));
  EXPECT_EQ(t->levels(), 10u);
  EXPECT_EQ(t->width(), 512u);
  ASSERT_EQ(t->dataSize(), file.size() - 128);
  EXPECT_EQ(0, std::memcmp(t->pixels(), file.data() + 128, t->dataSize()));
}

TEST_F(DecodeTest, DdsHeaderChecksAndShortFilesFail) {
  const Bytes good = test_images::ddsCube(8, 8, 4);
  ASSERT_NE(decode(td::Format::Dds, good), nullptr);
  struct Patch {
    size_t offset;
    uint8_t value;
  };
  // Magic, header size, a missing flag, depth, pixel format size, FourCC,
  // one face missing, zero levels, absurd width.
  for (const Patch& p : {Patch{0, 'X'}, Patch{4, 100}, Patch{8, 0x06}, Patch{24, 2}, Patch{76, 24},
                         Patch{87, '5'}, Patch{113, 0xFC}, Patch{28, 0}, Patch{19, 0x80}}) {
    Bytes bad = good;
    bad[p.offset] = p.value;
    EXPECT_EQ(decode(td::Format::Dds, bad), nullptr) << "offset " << p.offset;
  }
  // Depth 1 is what common tools write for a cube map; it is accepted only
  // without the depth flag.
  Bytes depthOne = good;
  depthOne[24] = 1;
  ASSERT_NE(decode(td::Format::Dds, depthOne), nullptr) << reason;
  depthOne[10] |= 0x80;
  EXPECT_EQ(decode(td::Format::Dds, depthOne), nullptr);
  Bytes manyLevels = good;
  manyLevels[31] = 0x7F;  // billions of levels must not be walked
  EXPECT_EQ(decode(td::Format::Dds, manyLevels), nullptr);
  expectPrefixesFail(td::Format::Dds, good);
}

// -------------------------------------------------------------------- RGBE

// The RGBE bytes a writer produces for (r, g, b) / 256 * 2^e when the
// largest of r, g, b is at least 128: exactly r, g, b and e + 128.
float mantissa(int v, int e) { return std::ldexp(static_cast<float>(v) / 256.0f, e); }

TEST_F(DecodeTest, HdrRowsFirstGivesWideTextureWithRawBytes) {
  const int w = 1024, h = 512;
  std::vector<float> rgb(static_cast<size_t>(w) * h * 3);
  Bytes expected(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int i = y * w + x;
      const int r = 128 + (x + y) % 128;
      const int g = (x * 3) % 256;
      const int b = x < 300 ? 90 : (y * 5) % 128;  // a flat stretch gives runs
      const int e = x < 300 ? 1 : (x % 5) - 2;
      rgb[i * 3] = mantissa(r, e);
      rgb[i * 3 + 1] = mantissa(g, e);
      rgb[i * 3 + 2] = mantissa(b, e);
      expected[i * 4] = static_cast<uint8_t>(r);
      expected[i * 4 + 1] = static_cast<uint8_t>(g);
      expected[i * 4 + 2] = static_cast<uint8_t>(b);
      expected[i * 4 + 3] = static_cast<uint8_t>(e + 128);
    }
  }
  const Bytes file = test_images::stbHdr(w, h, rgb.data());
  ASSERT_NE(std::string(file.begin(), file.end()).find("-Y 512 +X 1024"), std::string::npos);
  const auto t = decode(td::Format::Rgbe, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_EQ(t->width(), 1024u);
  EXPECT_EQ(t->height(), 512u);
  ASSERT_EQ(t->dataSize(), expected.size());
  EXPECT_EQ(0, std::memcmp(t->pixels(), expected.data(), expected.size()));
}

TEST_F(DecodeTest, HdrFlatScanlinesAndRepeatPixels) {
  // Width below 8: written flat.
  const float rgb[] = {mantissa(200, 0), mantissa(10, 0), mantissa(0, 0),
                       mantissa(128, 3), mantissa(128, 3), mantissa(255, 3)};
  auto t = decode(td::Format::Rgbe, test_images::stbHdr(1, 2, rgb));
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 200, 10, 0, 128);
  EXPECT_TEXEL(*t, 0, 1, 128, 128, 255, 131);

  // Repeat pixels: (1,1,1,2) copies twice, a following (1,1,1,1) 256 times.
  Bytes file = test_images::hdrHeader("RADIANCE", "-Y 1 +X 260");
  file.insert(file.end(), {5, 6, 7, 8, 9, 9, 9, 9, 1, 1, 1, 2});
  t = decode(td::Format::Rgbe, file);
  EXPECT_EQ(t, nullptr);  // 4 pixels of 260
  file.insert(file.end(), {1, 1, 1, 1});
  t = decode(td::Format::Rgbe, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 5, 6, 7, 8);
  for (int x = 1; x < 260; ++x) EXPECT_TEXEL(*t, x, 0, 9, 9, 9, 9);

  // "2 2 x" with the top bit set is a flat pixel, not a run-length mark.
  file = test_images::hdrHeader("RADIANCE", "-Y 1 +X 8");
  file.insert(file.end(), {2, 2, 0x80, 4});
  for (int i = 1; i < 8; ++i) file.insert(file.end(), {uint8_t(i), 0, 0, 0});
  t = decode(td::Format::Rgbe, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 0, 0, 2, 2, 0x80, 4);
  EXPECT_TEXEL(*t, 7, 0, 7, 0, 0, 0);
}

TEST_F(DecodeTest, HdrColumnsFirstFillsColumns) {
  Bytes file = test_images::hdrHeader("RADIANCE", "+X 2 -Y 3");
  for (uint8_t i = 0; i < 6; ++i) file.insert(file.end(), {i, 0, 0, 128});
  const auto t = decode(td::Format::Rgbe, file);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_EQ(t->width(), 2u);
  EXPECT_EQ(t->height(), 3u);
  EXPECT_EQ(texel(*t, 0, 2)[0], 2);
  EXPECT_EQ(texel(*t, 1, 0)[0], 3);
}

TEST_F(DecodeTest, MalformedHdrFails) {
  const Bytes pixel = {10, 20, 30, 128};
  auto withBody = [&](Bytes file, const Bytes& body) {
    file.insert(file.end(), body.begin(), body.end());
    return file;
  };
  EXPECT_NE(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE", "-Y 1 +X 1"), pixel)), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RGBE", "-Y 1 +X 1"), pixel)), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE2", "-Y 1 +X 1"), pixel)), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE", "-Y 1 +Z 1"), pixel)), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE", "-Y 0 +X 1"), pixel)), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE", "-Y 99999999 +X 99999999"), pixel)), nullptr);
  Bytes noEnd;
  test_images::appendText(noEnd, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n");
  EXPECT_EQ(decode(td::Format::Rgbe, noEnd), nullptr);
  EXPECT_EQ(reason, "header has no end");
  Bytes otherFormat;
  test_images::appendText(otherFormat, "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n");
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(otherFormat, pixel)), nullptr);

  const Bytes header8 = test_images::hdrHeader("RADIANCE", "-Y 1 +X 8");
  // A repeat pixel first has nothing to repeat.
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(test_images::hdrHeader("RADIANCE", "-Y 1 +X 2"), {1, 1, 1, 1, 1, 1, 1, 1})), nullptr);
  // Run-length scanline: a run of 9 (137) and a literal of 9 both pass 8.
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(header8, {2, 2, 0, 8, 137, 5})), nullptr);
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(header8, {2, 2, 0, 8, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9})), nullptr);
  // Declared scanline length differs from the resolution.
  EXPECT_EQ(decode(td::Format::Rgbe, withBody(header8, {2, 2, 0, 9, 136, 5, 136, 5, 136, 5, 136, 5})), nullptr);
  const Bytes rle = withBody(header8, {2, 2, 0, 8, 136, 5, 136, 6, 4, 1, 2, 3, 4, 4, 5, 6, 7, 8, 136, 128});
  const auto t = decode(td::Format::Rgbe, rle);
  ASSERT_NE(t, nullptr) << reason;
  EXPECT_TEXEL(*t, 3, 0, 5, 6, 4, 128);
  EXPECT_TEXEL(*t, 7, 0, 5, 6, 8, 128);
  expectPrefixesFail(td::Format::Rgbe, rle);
}

TEST(TextureFormats, ExtensionsPickDecoders) {
  EXPECT_EQ(td::formatForExtension("BMP"), td::Format::Picture);
  EXPECT_EQ(td::formatForExtension("jpeg"), td::Format::Picture);
  EXPECT_EQ(td::formatForExtension("gif"), td::Format::Picture);
  EXPECT_EQ(td::formatForExtension("Png"), td::Format::Png);
  EXPECT_EQ(td::formatForExtension("hdr"), td::Format::Rgbe);
  EXPECT_EQ(td::formatForExtension("dds"), td::Format::Dds);
  EXPECT_EQ(td::formatForExtension("tga"), td::Format::Tga);
  EXPECT_EQ(td::formatForExtension("pngx"), td::Format::None);
  EXPECT_EQ(td::formatForExtension(""), td::Format::None);
}

}  // namespace
