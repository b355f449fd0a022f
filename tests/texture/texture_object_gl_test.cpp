// Texture objects on a real (software) GL context.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>

#include "support/gl_context.h"
#include "support/support.h"
#include "texture/texture.h"

namespace {

class TextureObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    saved = textureManager::instance().nonPowerOfTwo();
  }
  void TearDown() override { textureManager::instance().setNonPowerOfTwo(saved); }
  testing_support::GlContext gl;
  bool saved = false;
};

TEST_F(TextureObjectTest, RoundsToPowersOfTwoWithoutNpotSupport) {
  textureManager::instance().setNonPowerOfTwo(false);
  cTexture t;
  t.create(640, 480, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  EXPECT_EQ(t.width(), 1024u);
  EXPECT_EQ(t.height(), 512u);
  EXPECT_FLOAT_EQ(t.sScale(), 0.625f);
  EXPECT_FLOAT_EQ(t.tScale(), 0.9375f);
  EXPECT_EQ(t.usedWidth(), 640u);
  EXPECT_EQ(t.usedHeight(), 480u);
  EXPECT_EQ(t.dataSize(), 1024u * 512u * 4u);
  EXPECT_EQ(t.bitsPerPixel(), 32u);
}

TEST_F(TextureObjectTest, KeepsSizeWithNpotSupportAndSizesCubeMaps) {
  textureManager::instance().setNonPowerOfTwo(true);
  cTexture t;
  t.create(640, 480, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  EXPECT_EQ(t.width(), 640u);
  EXPECT_FLOAT_EQ(t.sScale(), 1.0f);
  // 16x16, 5 levels: 4x4 + 2x2 + 1 + 1 + 1 blocks of 8 bytes, six faces.
  t.create(16, 16, 1, GL_COMPRESSED_RGB_S3TC_DXT1_EXT, 0, 0, GL_TEXTURE_CUBE_MAP, GL_LINEAR,
           GL_CLAMP_TO_EDGE, 5);
  EXPECT_EQ(t.dataSize(), 6u * (16 + 4 + 1 + 1 + 1) * 8u);
  EXPECT_EQ(t.bitsPerPixel(), 0u);
  // Other combinations keep no copy.
  t.create(8, 8, 1, GL_RGBA16F_ARB, GL_RGBA, GL_FLOAT, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  EXPECT_EQ(t.dataSize(), 0u);
  EXPECT_EQ(t.pixels(), nullptr);
}

TEST_F(TextureObjectTest, UploadRegistersNameAndTexelsReachTheCard) {
  textureManager::instance().setNonPowerOfTwo(true);
  cTexture t;
  t.create(4, 2, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_REPEAT, 1);
  for (uint32_t i = 0; i < t.dataSize(); ++i) t.pixels()[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(textureManager::instance().glName(&t), 0u);
  t.upload();
  ASSERT_NE(t.glName(), 0u);
  EXPECT_EQ(textureManager::instance().glName(&t), t.glName());

  std::vector<uint8_t> back(t.dataSize());
  glBindTexture(GL_TEXTURE_2D, t.glName());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  EXPECT_EQ(0, std::memcmp(back.data(), t.pixels(), back.size()));
}

TEST_F(TextureObjectTest, RecreatedTextureDropsItsOldRegistryEntry) {
  cTexture t;
  t.upload();
  ASSERT_NE(textureManager::instance().glName(&t), 0u);
  t.create(8, 8, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
  EXPECT_EQ(textureManager::instance().glName(&t), 0u) << "the deleted name is not handed out";
  t.upload();
  EXPECT_EQ(textureManager::instance().glName(&t), t.glName());
}

TEST_F(TextureObjectTest, DestroyedTextureLeavesNoRegistryEntry) {
  auto t = std::make_unique<cTexture>();
  t->upload();
  const cTexture* address = t.get();
  EXPECT_NE(textureManager::instance().glName(address), 0u);
  t.reset();
  EXPECT_EQ(textureManager::instance().glName(address), 0u);
}

}  // namespace

namespace {

TEST(ScreenBufferTest, RendersIntoItsColourTexture) {
  testing_support::GlContext gl;
  if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
  textureManager::instance().setNonPowerOfTwo(true);
  cScreenBuffer buffer;
  buffer.create(32, 16, GL_RGBA8, GL_UNSIGNED_BYTE, 1 | 2);
  ASSERT_NE(buffer.colourTexture(), nullptr);
  ASSERT_NE(buffer.depthTexture(), nullptr);
  buffer.bind();
  EXPECT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
  glViewport(0, 0, 32, 16);
  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  buffer.unbind();

  std::vector<uint8_t> texels(32 * 16 * 4);
  glBindTexture(GL_TEXTURE_2D, buffer.colourTexture()->glName());
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  EXPECT_EQ(texels[0], 0);
  EXPECT_EQ(texels[1], 255);
  EXPECT_EQ(texels[texels.size() - 3], 255);

  cScreenBuffer colourOnly;
  colourOnly.create(8, 8, GL_RGBA8, GL_UNSIGNED_BYTE, 1);
  EXPECT_EQ(colourOnly.depthTexture(), nullptr);
  colourOnly.reattachDepth();  // harmless without a depth texture
}

}  // namespace
