// The render window: a borderless top-level window and its OpenGL context.
#pragma once

#include <cstdint>

#include "platform/window.h"

// A borderless top-level window. Owns its platform window; restores the
// saved gamma ramp and leaves full screen when destroyed.
class CWindow {
 public:
  CWindow() = default;
  virtual ~CWindow();
  // Client size `width` x `height` at (x, y), hidden until shown. Shows the
  // "Error" message box and returns false on failure.
  virtual bool Create(const char* title, int x, int y, int width, int height);

  bool setFullScreen(bool on);
  // Full screen only: clamps to [0, 2] and sets the ramp ((i+1)/256)^(2-gamma).
  bool setGamma(float gamma);
  // The ramp setGamma computes for `gamma` (already clamped).
  static void gammaTable(float gamma, uint16_t ramp[3][256]);

  platform::WindowHandle handle() const { return mWindow; }
  uint16_t clientWidth() const { return mWidth; }
  uint16_t clientHeight() const { return mHeight; }
  bool isFullScreen() const { return mFullScreen; }
  float gamma() const { return mGamma; }
  bool hasSavedGamma() const { return mHasSavedGamma; }
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

 protected:
  platform::WindowHandle mWindow = nullptr;
  uint16_t mWidth = 0;
  uint16_t mHeight = 0;
  bool mFullScreen = false;
  int mSavedX = 0;
  int mSavedY = 0;
  uint16_t mSavedGamma[3][256] = {};
  bool mHasSavedGamma = false;
  float mGamma = 1.0f;
};

// A CWindow with an OpenGL context.
class CWindowGL : public CWindow {
 public:
  CWindowGL() = default;
  ~CWindowGL() override;
  bool createGLContext();
  bool makeCurrent();
  platform::GlContextHandle context() const { return mContext; }

 private:
  platform::GlContextHandle mContext = nullptr;
};
