// The texture resource over pack entries, and PNG capture writing. No GL
// context: textures get no GL name, so nothing is uploaded.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

#include "files/files.h"
#include "support/support.h"
#include "test_images.h"
#include "texture/texture.h"

using test_images::Bytes;

namespace {

class TextureResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = textureManager::instance().nonPowerOfTwo();
    textureManager::instance().setNonPowerOfTwo(true);
  }
  void TearDown() override { textureManager::instance().setNonPowerOfTwo(saved); }
  bool saved = false;
};

Bytes pngRgb(int w, int h) {
  test_images::PngSpec spec;
  spec.width = w;
  spec.height = h;
  for (int i = 0; i < w * h; ++i) spec.rows.insert(spec.rows.end(), {uint8_t(i), 7, 9});
  return test_images::writePng(spec);
}

TEST_F(TextureResourceTest, LoadsPackEntriesByExtension) {
  testing_support::TempDir dir;
  const uint8_t rgba[16] = {};
  Bytes rle = test_images::tgaHeader(10, 4, 4, 24);
  rle.insert(rle.end(), {0x8F, 1, 2, 3});
  Bytes hdr = test_images::hdrHeader("RADIANCE", "-Y 1 +X 1");
  hdr.insert(hdr.end(), {1, 2, 3, 4});
  testing_support::installPack(dir, {{"data\\texture\\a.png", pngRgb(5, 3)},
                                     {"data\\texture\\upper.PNG", pngRgb(2, 2)},
                                     {"data\\texture\\b.tga", rle},
                                     {"data\\texture\\c.bmp", test_images::stbBmp(2, 2, 4, rgba)},
                                     {"data\\texture\\d.dds", test_images::ddsCube(4, 4, 3)},
                                     {"data\\texture\\e.hdr", hdr}});
  struct Case {
    const char* name;
    uint32_t width, height;
  };
  for (const Case& c : {Case{"data\\texture\\a.png", 5, 3}, Case{"data\\texture\\upper.PNG", 2, 2},
                        Case{"data\\texture\\b.tga", 4, 4}, Case{"data\\texture\\c.bmp", 2, 2},
                        Case{"data\\texture\\d.dds", 4, 4}, Case{"data\\texture\\e.hdr", 1, 1}}) {
    CoreFile file(c.name, MODE_READ);
    CoreFileStream stream(&file);
    resTexture res;
    EXPECT_TRUE(res.canLoad(stream)) << c.name;
    ASSERT_TRUE(res.load(stream)) << c.name;
    ASSERT_NE(res.texture(), nullptr);
    EXPECT_EQ(res.texture()->width(), c.width) << c.name;
    EXPECT_EQ(res.texture()->height(), c.height) << c.name;
    // The pixel copy is dropped once the texture is on the card.
    EXPECT_EQ(res.texture()->pixels(), nullptr);
    EXPECT_TRUE(res.unload());
    EXPECT_EQ(res.texture(), nullptr);
  }
}

TEST_F(TextureResourceTest, RefusesGifAndFailsCleanlyOnBadEntries) {
  testing_support::TempDir dir;
  Bytes truncated = test_images::tgaHeader(2, 2, 2, 24);
  truncated.insert(truncated.end(), {1, 2, 3, 4, 5, 6});  // 2 of 4 pixels
  // The next entry's bytes would complete the image if reads ran past the
  // entry's end.
  testing_support::installPack(dir, {{"data\\texture\\a.gif", test_images::gifBlueRed()},
                                     {"data\\texture\\t.tga", truncated},
                                     {"data\\texture\\pad.bin", Bytes(64, 0x11)},
                                     {"data\\texture\\p.png", Bytes{0x89, 'P', 'N', 'G'}},
                                     {"data\\texture\\g.tex", pngRgb(1, 1)}});
  {
    CoreFile file("data\\texture\\a.gif", MODE_READ);
    CoreFileStream stream(&file);
    resTexture res;
    EXPECT_FALSE(res.canLoad(stream));
  }
  {
    CoreFile file("data\\texture\\g.tex", MODE_READ);
    CoreFileStream stream(&file);
    resTexture res;
    EXPECT_FALSE(res.canLoad(stream));
    EXPECT_FALSE(res.load(stream));
  }
  for (const char* name : {"data\\texture\\t.tga", "data\\texture\\p.png"}) {
    CoreFile file(name, MODE_READ);
    CoreFileStream stream(&file);
    resTexture res;
    ASSERT_TRUE(res.canLoad(stream));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(res.load(stream)) << name;
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(res.texture(), nullptr);
    EXPECT_EQ(log.rfind(std::string("texture: ") + name + ": ", 0), 0u) << log;
  }
}

// --------------------------------------------------------------- capture

struct ReadBack {
  uint32_t width = 0, height = 0;
  Bytes rgba;
};

ReadBack readPng(const std::string& path) {
  ReadBack out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGBA;
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) return {};
  out.width = image.width;
  out.height = image.height;
  return out;
}

bool contains(const Bytes& haystack, const std::string& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST_F(TextureResourceTest, WriteToFileCutsMarginAndFlipsRows) {
  textureManager::instance().setNonPowerOfTwo(false);
  cTexture t;
  t.create(640, 480, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  ASSERT_EQ(t.width(), 1024u);
  for (uint32_t y = 0; y < t.height(); ++y) {
    for (uint32_t x = 0; x < t.width(); ++x) {
      uint8_t* p = t.pixels() + (y * t.width() + x) * 4;
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(x >> 8 | (y >> 8) << 4);
      p[3] = static_cast<uint8_t>(x + y);
    }
  }
  testing_support::TempDir dir;
  const std::string path = dir.file("shot.png");
  ASSERT_TRUE(t.writeToFile(path.c_str()));
  const ReadBack back = readPng(path);
  ASSERT_EQ(back.width, 640u);
  ASSERT_EQ(back.height, 480u);
  for (uint32_t k : {0u, 1u, 240u, 479u}) {
    const uint8_t* row = back.rgba.data() + k * 640 * 4;
    const uint8_t* src = t.pixels() + (479 - k) * t.width() * 4;
    EXPECT_EQ(0, std::memcmp(row, src, 640 * 4)) << "row " << k;
  }
  const Bytes file = testing_support::readFile(path);
  EXPECT_TRUE(contains(file, std::string("tEXtDescription") + '\0' + "cTexture::writeToFile()"));
  EXPECT_TRUE(contains(file, std::string("sBIT\x08\x08\x08\x08", 8)));
}

TEST_F(TextureResourceTest, WriteToFileNeedsAnRgba8Copy) {
  testing_support::TempDir dir;
  cTexture t;
  t.releaseCopy();
  EXPECT_FALSE(t.writeToFile(dir.file("a.png").c_str()));
  t.create(4, 4, 1, GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  ASSERT_NE(t.pixels(), nullptr);
  EXPECT_FALSE(t.writeToFile(dir.file("b.png").c_str()));
  t.create(4, 4, 0, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  EXPECT_FALSE(t.writeToFile(dir.file("c.png").c_str()));
  for (const char* name : {"a.png", "b.png", "c.png"}) {
    EXPECT_EQ(std::fopen(dir.file(name).c_str(), "rb"), nullptr) << name;
  }
  cTexture ok;
  EXPECT_FALSE(ok.writeToFile(dir.file("missing/dir/x.png").c_str()));
}

}  // namespace
