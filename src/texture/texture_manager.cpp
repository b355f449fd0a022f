// Texture objects and the texture manager.
#include <GL/glew.h>

#include <cstdlib>
#include <cstring>

#include "texture/texture.h"

VESPER_IMPLEMENT_DYNAMIC(cTexture, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(cScreenBuffer, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(resTexture, resourceObject)
VESPER_IMPLEMENT_INTERFACE(textureManager)
VESPER_IMPLEMENT_DYNAMIC(textureManager, Interface<textureManager>)

namespace {

uint32_t roundUpPow2(uint32_t n) {
  uint32_t p = 1;
  while (p < n && p < 0x80000000u) p <<= 1;
  return p;
}

// DXT1 stores 8 bytes per 4x4 block; levels halve each side, never below 1.
uint64_t dxt1LevelBytes(uint32_t w, uint32_t h) { return static_cast<uint64_t>((w + 3) / 4) * ((h + 3) / 4) * 8; }

uint64_t dxt1FaceBytes(uint32_t w, uint32_t h, uint32_t levels) {
  uint64_t bytes = 0;
  for (uint32_t level = 0; level < levels; ++level) {
    bytes += dxt1LevelBytes(w, h);
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return bytes;
}

}  // namespace

bool textureManager::initialize() {
  mNonPowerOfTwo = GLEW_ARB_texture_non_power_of_two != 0;
  return true;
}

bool textureManager::terminate() {
  glEnable(GL_TEXTURE_2D);
  for (const auto& [texture, name] : mNames) {
    const GLuint n = name;
    if (n) glDeleteTextures(1, &n);
  }
  mNames.clear();
  glDisable(GL_TEXTURE_2D);
  return true;
}

uint32_t textureManager::glName(const cTexture* texture) const {
  const auto it = mNames.find(texture);
  return it == mNames.end() ? 0 : it->second;
}

void textureManager::registerName(const cTexture* texture, uint32_t name) { mNames[texture] = name; }

void textureManager::forget(const cTexture* texture) { mNames.erase(texture); }

// ---------------------------------------------------------------------------

cTexture::cTexture() {
  create(16, 16, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_LINEAR, GL_REPEAT, 1);
}

cTexture::~cTexture() {
  textureManager::instance().forget(this);
  if (mGlName) {
    const GLuint n = mGlName;
    glDeleteTextures(1, &n);
  }
}

void cTexture::create(uint32_t width, uint32_t height, uint32_t keepCopy, GLenumValue internalFormat,
                      GLenumValue format, GLenumValue type, GLenumValue target, GLenumValue filter,
                      GLenumValue wrap, uint32_t levels) {
  mSScale = mTScale = 1.0f;
  if (!textureManager::instance().nonPowerOfTwo()) {
    const uint32_t w = roundUpPow2(width);
    const uint32_t h = roundUpPow2(height);
    mSScale = w ? static_cast<float>(width) / static_cast<float>(w) : 1.0f;
    mTScale = h ? static_cast<float>(height) / static_cast<float>(h) : 1.0f;
    width = w;
    height = h;
  }
  mKeepCopy = keepCopy;
  mWidth = width;
  mHeight = height;
  mInternalFormat = internalFormat;
  mFormat = format;
  mType = type;
  mTarget = target;
  mFilter = filter;
  mWrap = wrap;
  mLevels = levels;
  mBitsPerPixel = 0;
  mDataSize = 0;
  mPixels.reset();

  if (keepCopy == 1) {
    uint64_t bytes = 0;
    if (target == GL_TEXTURE_2D && internalFormat == GL_RGBA8) {
      bytes = static_cast<uint64_t>(width) * height * 4;
      mBitsPerPixel = 32;
    } else if (target == GL_TEXTURE_2D && internalFormat == GL_RGB8) {
      // 24-bit TGA images are kept as three bytes per pixel.
      bytes = static_cast<uint64_t>(width) * height * 3;
    } else if (target == GL_TEXTURE_CUBE_MAP && internalFormat == GL_COMPRESSED_RGB_S3TC_DXT1_EXT) {
      bytes = 6 * dxt1FaceBytes(width, height, levels);
    }
    // Sizes beyond 32 bits cannot be described by the data size field.
    if (bytes > 0 && bytes <= UINT32_MAX) {
      mDataSize = static_cast<uint32_t>(bytes);
      // calloc: large fresh blocks come zeroed from the system without a
      // clearing pass; decoders overwrite them anyway.
      mPixels = PixelBlock(static_cast<uint8_t*>(std::calloc(mDataSize, 1)), &releaseBlock);
      if (!mPixels) mDataSize = 0;
    }
  }

  // The old name goes: the registry must not keep handing it out.
  textureManager::instance().forget(this);
  // Without a current context GL calls do nothing and the name stays 0.
  if (mGlName) {
    const GLuint old = mGlName;
    glDeleteTextures(1, &old);
  }
  GLuint n = 0;
  glGenTextures(1, &n);
  mGlName = n;
}

void cTexture::upload() {
  // Without a context there is no name and nothing to send (and extension
  // entry points are not loaded).
  if (!mGlName) return;
  glBindTexture(mTarget, mGlName);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  if (mTarget == GL_TEXTURE_2D) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(mFilter));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(mFilter));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLint>(mWrap));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLint>(mWrap));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(mInternalFormat), static_cast<GLsizei>(mWidth),
                 static_cast<GLsizei>(mHeight), 0, mFormat, mType, mPixels.get());
  } else if (mTarget == GL_TEXTURE_CUBE_MAP && mInternalFormat == GL_COMPRESSED_RGB_S3TC_DXT1_EXT) {
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(mFilter));
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(mFilter));
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, static_cast<GLint>(mWrap));
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, static_cast<GLint>(mWrap));
    // Only each face's top level reaches the card; smaller levels are skipped.
    const uint8_t* data = mPixels.get();
    const uint64_t faceBytes = dxt1FaceBytes(mWidth, mHeight, mLevels);
    const auto topBytes = static_cast<GLsizei>(dxt1LevelBytes(mWidth, mHeight));
    for (int face = 0; face < 6 && data; ++face) {
      glCompressedTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, mInternalFormat,
                             static_cast<GLsizei>(mWidth), static_cast<GLsizei>(mHeight), 0, topBytes,
                             data + face * faceBytes);
    }
  }
  glBindTexture(mTarget, 0);
  textureManager::instance().registerName(this, mGlName);
}

void cTexture::releaseCopy() {
  mPixels.reset();
  mDataSize = 0;
}

void cTexture::releaseBlock(void* block) { std::free(block); }

bool cTexture::adoptPixels(uint8_t* block, uint64_t size, void (*release)(void*)) {
  if (!block || !release || mPixels || mTarget != GL_TEXTURE_2D || mInternalFormat != GL_RGBA8) return false;
  const uint64_t bytes = static_cast<uint64_t>(mWidth) * mHeight * 4;
  if (size != bytes || bytes > UINT32_MAX) return false;
  mPixels = PixelBlock(block, release);
  mKeepCopy = 1;
  mDataSize = static_cast<uint32_t>(bytes);
  mBitsPerPixel = 32;
  return true;
}
