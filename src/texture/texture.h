// Textures: texture objects with an optional pixel copy, off-screen render
// targets, texture files and the texture manager. Main thread only; every
// call that touches GL needs the current context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "core/core.h"
#include "resources/resources.h"

// GL enums are carried as plain unsigned values so that this header needs no
// GL header.
using GLenumValue = uint32_t;

// Pixels for writePngFile: `height` rows of `width` pixels of 4 bytes
// (RGBA), `stride` bytes apart. Not owned; read during the call only.
struct PngImage {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;
  bool bottomUp = false;   // row 0 is the picture's bottom (GL read-back order)
  bool keepAlpha = true;   // false: stored as RGB, the fourth byte dropped
  const char* description = nullptr;  // a tEXt "Description" chunk when set
  // zlib level 1 and the Sub filter on every row: about seven times faster
  // to write than libpng's defaults, files some 15% larger.
  bool fast = false;
};
// Writes `image` as an 8-bit PNG file with no time stamp, so equal pixels
// give equal files. Safe on any thread (libpng and stdio only). False with
// `reason` set when nothing was written; a partly written file is removed.
bool writePngFile(const char* fileName, const PngImage& image, std::string& reason);

// One OpenGL texture and an optional pixel copy in main memory.
class cTexture : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cTexture)
 public:
  // A 16x16 RGBA8 texture with a pixel copy, linear filter, repeat wrap.
  cTexture();
  virtual ~cTexture();

  // Sizes (rounded up to powers of two when the card needs it) and allocates
  // the pixel copy when `keepCopy` is 1, and generates a GL name. Nothing is
  // sent to the card until upload().
  virtual void create(uint32_t width, uint32_t height, uint32_t keepCopy, GLenumValue internalFormat,
                      GLenumValue format, GLenumValue type, GLenumValue target, GLenumValue filter,
                      GLenumValue wrap, uint32_t levels);
  // Sends the pixel copy (or storage without data) to the card and registers
  // the GL name with the texture manager.
  void upload();
  // Writes the used part of an RGBA8 pixel copy as a PNG file; does nothing
  // without a pixel copy. Returns false when nothing was written.
  bool writeToFile(const char* fileName) const;
  // Frees the pixel copy (the GL texture stays).
  void releaseCopy();
  // Makes `block` (released later with `release`) the pixel copy of an RGBA8
  // 2D texture created without one, so that a decoder's own output buffer
  // need not be copied. `size` must be exactly what create() would allocate;
  // otherwise nothing changes and false is returned (the caller still owns
  // the block).
  bool adoptPixels(uint8_t* block, uint64_t size, void (*release)(void*));

  uint32_t width() const { return mWidth; }
  uint32_t height() const { return mHeight; }
  uint32_t usedWidth() const { return static_cast<uint32_t>(mWidth * mSScale); }
  uint32_t usedHeight() const { return static_cast<uint32_t>(mHeight * mTScale); }
  float sScale() const { return mSScale; }
  float tScale() const { return mTScale; }
  uint8_t* pixels() { return mPixels.get(); }
  const uint8_t* pixels() const { return mPixels.get(); }
  uint32_t dataSize() const { return mDataSize; }
  uint32_t levels() const { return mLevels; }
  uint32_t bitsPerPixel() const { return mBitsPerPixel; }
  GLenumValue target() const { return mTarget; }
  GLenumValue internalFormat() const { return mInternalFormat; }
  uint32_t glName() const { return mGlName; }

 private:
  static void releaseBlock(void* block);
  uint32_t mKeepCopy = 0;
  GLenumValue mTarget = 0;
  GLenumValue mInternalFormat = 0;
  GLenumValue mFormat = 0;
  GLenumValue mType = 0;
  GLenumValue mFilter = 0;
  GLenumValue mWrap = 0;
  uint32_t mLevels = 0;
  uint32_t mDataSize = 0;
  uint32_t mWidth = 0;
  uint32_t mHeight = 0;
  uint32_t mBitsPerPixel = 0;
  float mSScale = 1.0f;
  float mTScale = 1.0f;
  // Released through a function so that a decoder's malloc'ed block can be
  // taken over without a copy.
  using PixelBlock = std::unique_ptr<uint8_t[], void (*)(void*)>;
  PixelBlock mPixels{nullptr, &releaseBlock};
  uint32_t mGlName = 0;
};

// Off-screen render target: a frame buffer object with a colour texture, a
// depth texture, or both.
class cScreenBuffer : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cScreenBuffer)
 public:
  cScreenBuffer() = default;
  virtual ~cScreenBuffer();
  // flags bit 1: colour texture, bit 2: depth texture.
  void create(uint32_t width, uint32_t height, GLenumValue colourInternalFormat,
              GLenumValue colourType, uint32_t flags);
  void bind() const;
  void unbind() const;
  // Attach a depth texture (the given one, or the buffer's own again); the
  // buffer is left bound, ready to draw into.
  void attachDepth(uint32_t glTextureName) const;
  void reattachDepth() const;
  cTexture* colourTexture() const { return mColour.get(); }
  cTexture* depthTexture() const { return mDepth.get(); }

 private:
  std::unique_ptr<cTexture> makeAttachment(uint32_t width, uint32_t height, GLenumValue internalFormat,
                                           GLenumValue format, GLenumValue type,
                                           GLenumValue attachment) const;

  uint32_t mFrameBuffer = 0;
  std::unique_ptr<cTexture> mColour;
  std::unique_ptr<cTexture> mDepth;
};

// A texture file from the pack: bmp, jpg, jpeg, dds, hdr, tga or png. Owns
// its texture once loaded; the pixel copy is dropped after the upload.
class resTexture : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resTexture)
 public:
  resTexture() = default;
  ~resTexture() override;
  // Decodes the stream's entry, chosen by extension, into a new texture and
  // uploads it. False, with no texture, for a malformed or unsupported file;
  // the reason goes to stderr once, tagged with the entry name.
  bool load(CoreFileStream& stream) override;
  // True for the extensions above, in any letter case.
  bool canLoad(CoreFileStream& stream) override;
  // Deletes the texture (and its GL texture); true.
  bool unload() override;
  bool swapContents(resourceObject& other) override;

  cTexture* texture() const { return mTexture.get(); }

 private:
  std::unique_ptr<cTexture> mTexture;
};

class textureManager : public Interface<textureManager> {
  VESPER_DECLARE_DYNAMIC(textureManager)
 public:
  static textureManager& instance();
  uint16_t getPriority() const override { return 32; }
  bool initialize() override;
  bool terminate() override;

  // The GL name registered for a texture; 0 for one never uploaded.
  uint32_t glName(const cTexture* texture) const;
  void registerName(const cTexture* texture, uint32_t name);
  // Drops a destroyed texture's entry so a later texture at the same address
  // cannot inherit its name.
  void forget(const cTexture* texture);
  bool nonPowerOfTwo() const { return mNonPowerOfTwo; }
  // For tests and for cards probed before initialisation.
  void setNonPowerOfTwo(bool value) { mNonPowerOfTwo = value; }

 private:
  bool mNonPowerOfTwo = false;
  std::map<const cTexture*, uint32_t> mNames;
};
