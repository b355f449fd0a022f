// Renderer manager and the recorded draw-command list. Main thread only;
// everything that executes commands needs the current GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "core/core.h"

class cTexture;
class intermediateCommand;

// GL enums travel as plain unsigned values so this header needs no GL header.
using GlEnum = uint32_t;

// Colour, texture and texture window of a recorded quad. Handed out by
// intermediateCommand::newMaterial already holding the defaults below; valid
// until the list's next reset. The texture is borrowed, never owned.
struct drawMaterial {
  cTexture* texture = nullptr;
  float red = 1.0f, green = 1.0f, blue = 1.0f, alpha = 1.0f;
  float tBottom = 0.0f, tTop = 1.0f;
  float sLeft = 0.0f, sRight = 1.0f;
};

// Base of every recorded command. A record is placed into a layer arena and
// starts with its dispatch and its total size; the executor steps through an
// arena by that size. Records are trivially destructible: a reset only moves
// cursors back.
class alignas(16) cmdBase {
 public:
  virtual void execute(intermediateCommand& list) const = 0;
  uint32_t size() const { return mSize; }

 protected:
  explicit cmdBase(uint32_t size) : mSize(size) {}
  ~cmdBase() = default;

 private:
  uint32_t mSize;
};

class cmdBeginDraw final : public cmdBase {
 public:
  cmdBeginDraw() : cmdBase(sizeof(cmdBeginDraw)) {}
  void execute(intermediateCommand&) const override {}
};

class cmdEndDraw final : public cmdBase {
 public:
  cmdEndDraw() : cmdBase(sizeof(cmdEndDraw)) {}
  void execute(intermediateCommand&) const override {}
};

class cmdPushMatrix final : public cmdBase {
 public:
  explicit cmdPushMatrix(GlEnum mode) : cmdBase(sizeof(cmdPushMatrix)), mMode(mode) {}
  void execute(intermediateCommand& list) const override;

 private:
  GlEnum mMode;
};

class cmdPopMatrix final : public cmdBase {
 public:
  explicit cmdPopMatrix(GlEnum mode) : cmdBase(sizeof(cmdPopMatrix)), mMode(mode) {}
  void execute(intermediateCommand& list) const override;

 private:
  GlEnum mMode;
};

class cmdLoadIdentity final : public cmdBase {
 public:
  explicit cmdLoadIdentity(GlEnum mode) : cmdBase(sizeof(cmdLoadIdentity)), mMode(mode) {}
  void execute(intermediateCommand& list) const override;

 private:
  GlEnum mMode;
};

class cmdOrtho final : public cmdBase {
 public:
  cmdOrtho(float l, float r, float b, float t, float n, float f)
      : cmdBase(sizeof(cmdOrtho)), mValues{l, r, b, t, n, f} {}
  void execute(intermediateCommand& list) const override;

 private:
  float mValues[6];
};

class cmdLookAt final : public cmdBase {
 public:
  cmdLookAt(float ex, float ey, float ez, float cx, float cy, float cz, float ux, float uy, float uz)
      : cmdBase(sizeof(cmdLookAt)), mValues{ex, ey, ez, cx, cy, cz, ux, uy, uz} {}
  void execute(intermediateCommand& list) const override;

 private:
  float mValues[9];
};

class cmdTranslate final : public cmdBase {
 public:
  cmdTranslate(float x, float y, float z) : cmdBase(sizeof(cmdTranslate)), mX(x), mY(y), mZ(z) {}
  void execute(intermediateCommand& list) const override;

 private:
  float mX, mY, mZ;
};

class cmdChangeMaterial final : public cmdBase {
 public:
  explicit cmdChangeMaterial(const drawMaterial* material)
      : cmdBase(sizeof(cmdChangeMaterial)), mMaterial(material) {}
  void execute(intermediateCommand& list) const override;

 private:
  const drawMaterial* mMaterial;
};

class cmdDrawQuad final : public cmdBase {
 public:
  cmdDrawQuad(float w, float h) : cmdBase(sizeof(cmdDrawQuad)), mWidth(w), mHeight(h) {}
  void execute(intermediateCommand& list) const override;

 private:
  float mWidth, mHeight;
};

// Told by the renderer when a frame is finished and still in the back
// buffer, just before it is presented (a capture reads it there).
class PresentObserver {
 public:
  virtual ~PresentObserver() = default;
  virtual void beforePresent() = 0;
};

// Draws over a finished frame after the present observer has seen it, just
// before the swap: what it draws reaches the window only, never a capture.
// `width` x `height` is the window's client size.
class WindowOverlay {
 public:
  virtual ~WindowOverlay() = default;
  virtual void drawOverWindow(uint32_t width, uint32_t height) = 0;
};

// The main window's client size, for captures of the whole screen; the
// window layer installs one. False while there is no window.
class ScreenSizeSource {
 public:
  virtual ~ScreenSizeSource() = default;
  virtual bool screenSize(uint32_t& width, uint32_t& height) const = 0;
};

class rendererManager : public Interface<rendererManager> {
  VESPER_DECLARE_DYNAMIC(rendererManager)
 public:
  static rendererManager& instance();
  uint16_t getPriority() const override { return 16; }
  // Sets the engine's default fixed-function state.
  bool initialize() override;
  // Executes the recorded command list over the frame, then resets it.
  bool update() override;
  // Presents the frame: tells the present observer, draws the window
  // overlay (with a window size to draw at), then swaps the buffers of the
  // current window.
  bool endFrame() override;
  // Not owned; null removes it.
  void setPresentObserver(PresentObserver* observer) { mPresentObserver = observer; }
  // Not owned; null removes it.
  void setWindowOverlay(WindowOverlay* overlay) { mWindowOverlay = overlay; }
  // Not owned; null: there is no main window.
  void setScreenSizeSource(const ScreenSizeSource* source) { mScreenSize = source; }
  // Reads the back buffer of the default framebuffer (which must be bound,
  // as for presenting) into `out`: width x height RGBA8 pixels, rows bottom
  // first. Mesa keeps nothing of a presented picture, so this is the
  // picture's last chance. Issues no glGet: it runs every captured frame.
  void readBackBuffer(uint8_t* out, uint32_t width, uint32_t height);

  // Verifies OpenGL 2.0 on a throw-away hidden window before the real window
  // exists; ends the process with the OpenGL 2.0 message when it is missing.
  virtual bool checkCapabilities();
  // Writes the front buffer of the main window as a PNG file. False when no
  // file was written.
  virtual bool captureScreen(const char* fileName);
  // The same for a given size (tests and callers without the main window).
  bool captureScreen(const char* fileName, uint32_t width, uint32_t height);
  // Reads the front buffer into a new RGBA8 texture with a pixel copy (rows
  // bottom first, alpha 255); the caller owns it. Restores the read buffer
  // and frame-buffer binding.
  std::unique_ptr<cTexture> captureToTexture(uint32_t width, uint32_t height);

 private:
  PresentObserver* mPresentObserver = nullptr;
  WindowOverlay* mWindowOverlay = nullptr;
  const ScreenSizeSource* mScreenSize = nullptr;
};

// The recorded draw-command list: seven layer arenas and a material arena,
// allocated once in initialize and freed in terminate. Recording never
// allocates; a full arena refuses the record instead of growing.
class intermediateCommand : public Interface<intermediateCommand> {
  VESPER_DECLARE_DYNAMIC(intermediateCommand)
 public:
  static constexpr int kLayerCount = 7;
  static constexpr size_t kLayerBytes = 0x492492;
  static constexpr size_t kMaterialBytes = 0x800000;

  static intermediateCommand& instance();
  uint16_t getPriority() const override { return 17; }
  bool initialize() override;
  bool terminate() override;

  // Executes every layer in order under its blend state, then the final
  // state. Does not reset; see reset().
  void execute();
  // Moves every cursor back and zeroes the counts; the current layer and the
  // current material stay as they are.
  void reset();

  // Recording. Each appends one command to the current layer and returns
  // false (recording nothing) when the layer arena is full or the list is
  // not initialised.
  bool beginDraw();  // switches to layer 6 first
  bool endDraw();    // switches back to layer 0 afterwards
  bool pushMatrix(GlEnum mode);
  bool popMatrix(GlEnum mode);
  bool loadIdentity(GlEnum mode);
  bool ortho(float l, float r, float b, float t, float n, float f);
  bool lookAt(float ex, float ey, float ez, float cx, float cy, float cz, float ux, float uy,
              float uz);
  bool translate(float x, float y, float z);
  bool changeMaterial(const drawMaterial* material);
  bool drawQuad(float w, float h);
  // A quad in `material` covering the whole frame, recorded into the
  // overlay layer (the closing fade). False when any record did not fit.
  bool recordScreenOverlay(const drawMaterial* material);
  // The next material record, filled with the defaults; null when the
  // material arena is full or the list is not initialised.
  drawMaterial* newMaterial();

  // Appends any command record to the current layer; the record must be
  // trivially destructible and derive from cmdBase. False when it does not fit.
  template <class Cmd, class... Args>
  bool record(Args... args) {
    static_assert(sizeof(Cmd) % 16 == 0, "record sizes are multiples of 16");
    const int layer = mCurrentLayer;
    uint8_t* cursor = mLayerCursor[layer];
    // Compare the room left, never a pointer past the end.
    if (!cursor || static_cast<size_t>(mLayerEnd[layer] - cursor) < sizeof(Cmd)) return false;
    new (cursor) Cmd(args...);
    mLayerCursor[layer] = cursor + sizeof(Cmd);
    ++mLayerCount[layer];
    return true;
  }
  // Chooses the layer recording appends to (0..6; others are ignored).
  void setCurrentLayer(int layer) {
    if (layer >= 0 && layer < kLayerCount) mCurrentLayer = layer;
  }

  void setCurrentMaterial(const drawMaterial* material) { mCurrentMaterial = material; }
  const drawMaterial* currentMaterial() const { return mCurrentMaterial; }
  int currentLayer() const { return mCurrentLayer; }
  uint32_t layerCount(int layer) const { return mLayerCount[layer]; }
  uint32_t materialCount() const { return mMaterialCount; }
  // Shrinks the arenas for tests of the full-arena rule (call before
  // initialize); 0 restores the standard sizes.
  void setArenaSizesForTesting(size_t layerBytes, size_t materialBytes);

 private:
  std::unique_ptr<uint8_t[]> mMaterialArena;
  uint8_t* mMaterialCursor = nullptr;
  uint8_t* mMaterialEnd = nullptr;
  uint32_t mMaterialCount = 0;
  const drawMaterial* mCurrentMaterial = nullptr;
  int mCurrentLayer = 0;
  std::unique_ptr<uint8_t[]> mLayerArena[kLayerCount];
  uint8_t* mLayerEnd[kLayerCount] = {};
  uint8_t* mLayerCursor[kLayerCount] = {};
  uint32_t mLayerCount[kLayerCount] = {};
  size_t mLayerBytes = kLayerBytes;
  size_t mMaterialBytes = kMaterialBytes;
};
