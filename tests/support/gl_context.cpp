#include "support/gl_context.h"

#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace testing_support {

GlContext::GlContext(int width, int height) {
  // A display named but unreachable is reported, not replaced by SDL's
  // offscreen driver: the tests are meant for that display.
  const char* display = std::getenv("DISPLAY");
  if (display && *display && !std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "GlContext: %s\n", SDL_GetError());
    return;
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_Window* window = SDL_CreateWindow("vesper-test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                        width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) {
    std::fprintf(stderr, "GlContext: %s\n", SDL_GetError());
    return;
  }
  mWindow = window;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) {
    std::fprintf(stderr, "GlContext: %s\n", SDL_GetError());
    return;
  }
  mContext = context;
  SDL_GL_MakeCurrent(window, context);
  glewExperimental = GL_TRUE;
  const GLenum err = glewInit();
  // GLEW built for GLX reports "no GLX display" under EGL after loading
  // every entry point; that is not a failure.
  mOk = err == GLEW_OK || err == 4;
  if (mOk) glViewport(0, 0, width, height);
}

GlContext::~GlContext() {
  if (mContext) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(mContext));
  if (mWindow) SDL_DestroyWindow(static_cast<SDL_Window*>(mWindow));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<uint8_t> GlContext::readPixels(int x, int y, int w, int h) const {
  std::vector<uint8_t> out(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

void GlContext::show() {
  SDL_Window* w = static_cast<SDL_Window*>(mWindow);
  SDL_ShowWindow(w);
  // Drawn on only once the server has exposed it: what is drawn before may
  // be lost to the first paint.
  const Uint32 id = SDL_GetWindowID(w);
  const Uint32 start = SDL_GetTicks();
  bool exposed = false;
  while (!exposed && SDL_GetTicks() - start < 10000) {
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) > 0) {
      exposed = exposed || (e.window.windowID == id && e.window.event == SDL_WINDOWEVENT_EXPOSED);
    }
    if (!exposed) SDL_Delay(1);
  }
  if (!exposed) std::fprintf(stderr, "GlContext: the window was never exposed\n");
}

void GlContext::swap() { SDL_GL_SwapWindow(static_cast<SDL_Window*>(mWindow)); }

}  // namespace testing_support
