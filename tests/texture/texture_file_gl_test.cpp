// Texture files loaded from pack entries reach the card with the right
// texels (software GL context).
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "files/files.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "test_images.h"
#include "texture/texture.h"

using test_images::Bytes;

namespace {

class TextureFileGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    saved = textureManager::instance().nonPowerOfTwo();
    textureManager::instance().setNonPowerOfTwo(true);
  }
  void TearDown() override { textureManager::instance().setNonPowerOfTwo(saved); }

  std::unique_ptr<resTexture> load(const char* name) {
    CoreFile file(name, MODE_READ);
    CoreFileStream stream(&file);
    auto res = std::make_unique<resTexture>();
    if (!res->canLoad(stream) || !res->load(stream)) return nullptr;
    return res;
  }
  static Bytes texImage(GLenum target, GLenum format, size_t bytes) {
    Bytes out(bytes);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, format, GL_UNSIGNED_BYTE, out.data());
    return out;
  }

  testing_support::GlContext gl;
  bool saved = false;
};

TEST_F(TextureFileGlTest, TwoDimensionalFormatsUploadTheirTexels) {
  testing_support::TempDir dir;
  test_images::PngSpec png;
  png.width = 2;
  png.height = 2;
  png.colourType = PNG_COLOR_TYPE_PALETTE;
  png.palette = {{10, 20, 30}, {0, 0, 255}};
  png.trns = {99};
  png.rows = {0, 1, 1, 0};
  const uint8_t bmpRgb[] = {0, 0, 255, 1, 2, 3};
  Bytes tga = test_images::tgaHeader(2, 2, 1, 24);
  tga.insert(tga.end(), {3, 2, 1, 6, 5, 4});
  Bytes hdr = test_images::hdrHeader("RADIANCE", "-Y 1 +X 2");
  hdr.insert(hdr.end(), {200, 100, 50, 130, 1, 2, 3, 4});
  testing_support::installPack(dir, {{"t\\a.png", test_images::writePng(png)},
                                     {"t\\b.bmp", test_images::stbBmp(2, 1, 3, bmpRgb)},
                                     {"t\\c.tga", tga},
                                     {"t\\d.hdr", hdr}});
  struct Case {
    const char* name;
    GLenum format;
    Bytes texels;
  };
  const Case cases[] = {
      {"t\\a.png", GL_RGBA, {10, 20, 30, 99, 0, 0, 255, 255, 0, 0, 255, 255, 10, 20, 30, 99}},
      {"t\\b.bmp", GL_RGBA, {0, 0, 255, 0, 1, 2, 3, 255}},
      {"t\\c.tga", GL_RGB, {1, 2, 3, 4, 5, 6}},
      {"t\\d.hdr", GL_RGBA, {200, 100, 50, 130, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    const auto res = load(c.name);
    ASSERT_NE(res, nullptr) << c.name;
    const uint32_t name = res->texture()->glName();
    ASSERT_NE(name, 0u);
    EXPECT_EQ(textureManager::instance().glName(res->texture()), name);
    glBindTexture(GL_TEXTURE_2D, name);
    EXPECT_EQ(texImage(GL_TEXTURE_2D, c.format, c.texels.size()), c.texels) << c.name;
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
}

TEST_F(TextureFileGlTest, DdsCubeMapUploadsLevelZeroOfSixFaces) {
  testing_support::TempDir dir;
  const Bytes dds = test_images::ddsCube(512, 512, 10);
  testing_support::installPack(dir, {{"t\\sky.dds", dds}});
  const auto res = load("t\\sky.dds");
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(res->texture()->levels(), 10u);
  glBindTexture(GL_TEXTURE_CUBE_MAP, res->texture()->glName());
  // Each face in the file: 128x128 + 64x64 + ... + 1 + 1 blocks.
  size_t faceBytes = 0;
  for (uint32_t s = 512; s >= 1; s /= 2) faceBytes += static_cast<size_t>((s + 3) / 4) * ((s + 3) / 4) * 8;
  const size_t levelZero = 128 * 128 * 8;
  for (int face = 0; face < 6; ++face) {
    const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
    GLint size = 0, width = 0, levelOneWidth = -1;
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
    glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(target, 1, GL_TEXTURE_WIDTH, &levelOneWidth);
    EXPECT_EQ(width, 512);
    EXPECT_EQ(levelOneWidth, 0);  // smaller levels are not sent
    ASSERT_EQ(static_cast<size_t>(size), levelZero);
    Bytes back(levelZero);
    glGetCompressedTexImage(target, 0, back.data());
    const uint8_t* expected = dds.data() + 128 + face * faceBytes;
    EXPECT_EQ(0, std::memcmp(back.data(), expected, levelZero)) << "face " << face;
  }
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

}  // namespace
