// A hidden window with an OpenGL 2.x compatibility context for GL tests
// (run under Xvfb with Mesa's software renderer).
#pragma once

#include <cstdint>
#include <vector>

namespace testing_support {

class GlContext {
 public:
  // Creates a hidden width x height window and makes its context current,
  // with GLEW initialised. ok() tells whether it worked. The window is on the
  // X display named by DISPLAY, or without one wherever SDL can make it.
  GlContext(int width = 320, int height = 180);
  ~GlContext();
  bool ok() const { return mOk; }
  // Reads back the back buffer's RGBA pixels, row 0 at the bottom.
  std::vector<uint8_t> readPixels(int x, int y, int w, int h) const;
  void swap();
  // Maps the window (a hidden window has no front buffer to read back) and
  // waits until the display has exposed it (at most 10 seconds).
  void show();
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;

 private:
  void* mWindow = nullptr;
  void* mContext = nullptr;
  bool mOk = false;
};

}  // namespace testing_support
