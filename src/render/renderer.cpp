// Renderer manager: default state, capability check, presentation, and
// reading frames back (front buffer for screenshots, back buffer for capture).
#include <GL/glew.h>

#include <cstring>

#include "platform/window.h"
#include "render/render.h"
#include "texture/texture.h"

VESPER_IMPLEMENT_INTERFACE(rendererManager)
VESPER_IMPLEMENT_DYNAMIC(rendererManager, Interface<rendererManager>)

bool rendererManager::initialize() {
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glFrontFace(GL_CCW);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);
  glDisable(GL_LIGHTING);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.000001f);
  return true;
}

bool rendererManager::update() {
  intermediateCommand& list = intermediateCommand::instance();
  list.execute();
  list.reset();
  return true;
}

bool rendererManager::endFrame() {
  if (mPresentObserver) mPresentObserver->beforePresent();
  uint32_t width = 0, height = 0;
  if (mWindowOverlay && mScreenSize && mScreenSize->screenSize(width, height)) {
    mWindowOverlay->drawOverWindow(width, height);
  }
  platform::swapCurrentWindow();
  return true;
}

void rendererManager::readBackBuffer(uint8_t* out, uint32_t width, uint32_t height) {
  // GL_BACK is the read buffer of a double-buffered default framebuffer
  // unless someone changed it (captureToTexture puts it back), and four-byte
  // pixels keep every row aligned whatever the pack alignment.
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
               GL_UNSIGNED_BYTE, out);
}

bool rendererManager::checkCapabilities() {
  {
    // The throw-away window and its context go before the version test, as
    // the loaded entry points and version flags outlive them.
    platform::ScratchGlWindow scratch;
    glewExperimental = GL_TRUE;
    // Under the offscreen (EGL) driver GLEW reports "no GLX display" after
    // loading everything; the version flag below is what decides.
    glewInit();
  }
  CoreDebug::criticalCheck(critical::kNoOpenGL20, GLEW_VERSION_2_0 != 0);
  return true;
}

std::unique_ptr<cTexture> rendererManager::captureToTexture(uint32_t width, uint32_t height) {
  const bool fbo = glBindFramebufferEXT != nullptr;
  GLint savedFrameBuffer = 0;
  if (fbo) {
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &savedFrameBuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  GLint savedReadBuffer = GL_BACK;
  glGetIntegerv(GL_READ_BUFFER, &savedReadBuffer);
  glReadBuffer(GL_FRONT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  // Reading uses the pack alignment; with 4-byte pixels every row is aligned.
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(width) * height * 4]);
  glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
               GL_UNSIGNED_BYTE, buffer.get());

  auto texture = std::make_unique<cTexture>();
  texture->create(width, height, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST,
                  GL_REPEAT, 1);
  uint8_t* pixels = texture->pixels();
  if (pixels) {
    // The copy may be wider than the capture when rounded to powers of two.
    const size_t stride = static_cast<size_t>(texture->width()) * 4;
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* src = buffer.get() + static_cast<size_t>(y) * width * 4;
      uint8_t* dst = pixels + y * stride;
      for (uint32_t x = 0; x < width; ++x) {
        dst[x * 4 + 0] = src[x * 4 + 0];
        dst[x * 4 + 1] = src[x * 4 + 1];
        dst[x * 4 + 2] = src[x * 4 + 2];
        dst[x * 4 + 3] = 255;
      }
    }
  }
  if (fbo) glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(savedFrameBuffer));
  glReadBuffer(static_cast<GLenum>(savedReadBuffer));
  return texture;
}

bool rendererManager::captureScreen(const char* fileName, uint32_t width, uint32_t height) {
  if (!fileName || width == 0 || height == 0) return false;
  const std::unique_ptr<cTexture> texture = captureToTexture(width, height);
  return texture->pixels() && texture->writeToFile(fileName);
}

bool rendererManager::captureScreen(const char* fileName) {
  uint32_t width = 0, height = 0;
  if (!mScreenSize || !mScreenSize->screenSize(width, height)) return false;
  return captureScreen(fileName, width, height);
}
