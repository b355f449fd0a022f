// The launcher's window: SDL window, GL context and Dear ImGui's SDL2 and
// OpenGL2 back ends.
#include <GL/gl.h>
#include <SDL.h>
#include <imgui.h>
#include <imgui_impl_opengl2.h>
#include <imgui_impl_sdl.h>

#include "platform/sdl_internal.h"
#include "platform/window.h"

namespace platform {

LauncherWindow::~LauncherWindow() {
  if (mImGui) {
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
  }
  if (mContext) deleteGlContext(mContext);
  destroyWindow(mWindow);
}

bool LauncherWindow::open(int display, int width, int height, std::string& reason) {
  if (!initVideo(false, reason)) return false;
  DisplayMode desk;
  if (!desktopMode(display, desk)) {
    reason = "cannot read the desktop mode";
    return false;
  }
  int ox = 0, oy = 0;
  displayOrigin(display, ox, oy);
  setGlAttributes();
  mWindow = createWindow("Vesper Launcher", ox + (desk.width - width) / 2, oy + (desk.height - height) / 2,
                         width, height, reason);
  if (!mWindow) return false;
  mContext = createGlContext(mWindow);
  if (!mContext || !makeCurrent(mWindow, mContext)) {
    reason = std::string("cannot create a GL context: ") + SDL_GetError();
    return false;
  }
  setSwapInterval(1);
  mWidth = width;
  mHeight = height;
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGui::GetIO().IniFilename = nullptr;
  ImGui::StyleColorsDark();
  ImGui_ImplSDL2_InitForOpenGL(mWindow->sdl, mContext);
  ImGui_ImplOpenGL2_Init();
  mImGui = true;
  showWindow(mWindow);
  // The ImGui back end reads the pointer only while the window has the
  // keyboard focus; without a window manager nobody else gives it.
  SDL_RaiseWindow(mWindow->sdl);
  SDL_SetWindowInputFocus(mWindow->sdl);
  return true;
}

bool LauncherWindow::frame(const std::function<void()>& draw) {
  bool keepOpen = true;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    ImGui_ImplSDL2_ProcessEvent(&e);
    if (e.type == SDL_QUIT) keepOpen = false;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE) keepOpen = false;
    // Alt+F4 reaches us as a plain key press when no window manager runs.
    if (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_F4 && (e.key.keysym.mod & KMOD_ALT)) {
      keepOpen = false;
    }
  }
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
  draw();
  ImGui::Render();
  glViewport(0, 0, mWidth, mHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
  if (mKeepFrames) {
    mLastFrame.resize(static_cast<size_t>(mWidth) * static_cast<size_t>(mHeight) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, mWidth, mHeight, GL_RGBA, GL_UNSIGNED_BYTE, mLastFrame.data());
  }
  SDL_GL_SwapWindow(mWindow->sdl);
  // A dialog needs no more than about 60 frames a second; without a vertical
  // blank to wait for (Xvfb) the loop would spin.
  const uint32_t now = SDL_GetTicks();
  if (now - mLastFrameMs < 16) SDL_Delay(16 - (now - mLastFrameMs));
  mLastFrameMs = SDL_GetTicks();
  return keepOpen;
}

}  // namespace platform
