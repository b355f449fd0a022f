// The render window and its GL context over the platform layer.
#include <cmath>

#include "app/render_window.h"
#include "platform/platform.h"

CWindow::~CWindow() {
  if (!mWindow) return;
  if (mHasSavedGamma) platform::setGammaRamp(mWindow, mSavedGamma);
  if (mFullScreen) platform::leaveFullScreen(mWindow);
  platform::destroyWindow(mWindow);
  mWindow = nullptr;
}

bool CWindow::Create(const char* title, int x, int y, int width, int height) {
  std::string reason;
  if (!platform::initVideo(true, reason)) {
    platform::messageBox("Error", "System failed CWindow::Create().\nRegisterClassEx();");
    return false;
  }
  platform::setGlAttributes();
  mWindow = platform::createWindow(title, x, y, width, height, reason);
  if (!mWindow) {
    platform::messageBox("Error", "System failed CWindow::Create().\nCreateWindowEx();");
    return false;
  }
  mWidth = static_cast<uint16_t>(width);
  mHeight = static_cast<uint16_t>(height);
  // Read once, before any setGamma, so the destructor restores the desktop's.
  mHasSavedGamma = platform::gammaRamp(mWindow, mSavedGamma);
  return true;
}

bool CWindow::setFullScreen(bool on) {
  if (!mWindow) return false;
  if (on) {
    if (mFullScreen) return false;
    platform::windowPosition(mWindow, mSavedX, mSavedY);
    platform::setWindowPosition(mWindow, 0, 0);
    platform::setAlwaysOnTop(mWindow, true);
    if (!platform::enterFullScreen(mWindow, mWidth, mHeight)) return false;
    mFullScreen = true;
    return true;
  }
  if (!mFullScreen || !platform::leaveFullScreen(mWindow)) return false;
  platform::setWindowPosition(mWindow, mSavedX, mSavedY);
  platform::setAlwaysOnTop(mWindow, true);
  mFullScreen = false;
  return true;
}

void CWindow::gammaTable(float gamma, uint16_t ramp[3][256]) {
  for (int i = 0; i < 256; ++i) {
    const double v = std::pow((i + 1) / 256.0, 2.0 - gamma);
    double e = v * 65535.0 + 0.5;
    if (e < 0.0) e = 0.0;
    if (e > 65535.0) e = 65535.0;
    const uint16_t entry = static_cast<uint16_t>(e);
    ramp[0][i] = ramp[1][i] = ramp[2][i] = entry;
  }
}

bool CWindow::setGamma(float gamma) {
  if (!mFullScreen) return false;
  if (gamma < 0.0f) gamma = 0.0f;
  if (gamma > 2.0f) gamma = 2.0f;
  mGamma = gamma;
  uint16_t ramp[3][256];
  gammaTable(gamma, ramp);
  return platform::setGammaRamp(mWindow, ramp);
}

CWindowGL::~CWindowGL() {
  if (mContext) platform::deleteGlContext(mContext);
  mContext = nullptr;
}

bool CWindowGL::createGLContext() {
  mContext = platform::createGlContext(mWindow);
  return mContext != nullptr;
}

bool CWindowGL::makeCurrent() { return mContext && platform::makeCurrent(mWindow, mContext); }
