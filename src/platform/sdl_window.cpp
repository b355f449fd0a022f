// SDL implementation of windows, GL contexts, display modes and gamma.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl_internal.h"
#include "platform/wayland_seat.h"
#include "platform/window.h"
#include "platform/x11_display.h"

namespace platform {

namespace {

bool gOffscreen = false;
uint64_t gSwaps = 0;

bool onDriver(const char* name) {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && std::strcmp(driver, name) == 0;
}

bool onX11() { return onDriver("x11"); }
bool onWayland() { return onDriver("wayland"); }

// Wayland runs only when the user names it: SDL 2.26 would otherwise take it
// whenever X11 fails, and it crashes on compositors without a seat.
bool waylandRequested() {
  const char* d = std::getenv("SDL_VIDEODRIVER");
  return d && std::strstr(d, "wayland") != nullptr;
}

// A desktop point on the window's display: the CRTC there carries its gamma.
void displayCentre(const NativeWindow* window, int& x, int& y) {
  SDL_Rect r{0, 0, 0, 0};
  SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window->sdl), &r);
  x = r.x + r.w / 2;
  y = r.y + r.h / 2;
}

// The window data key under which an SDL window points to its handle.
constexpr char kNativeKey[] = "vesper.native";

NativeWindow* nativeOf(Uint32 windowId) {
  SDL_Window* sdl = SDL_GetWindowFromID(windowId);
  return sdl ? static_cast<NativeWindow*>(SDL_GetWindowData(sdl, kNativeKey)) : nullptr;
}

SDL_HitTestResult SDLCALL hitTest(SDL_Window*, const SDL_Point* area, void* data) {
  auto* w = static_cast<NativeWindow*>(data);
  if (!w) return SDL_HITTEST_NORMAL;
  w->lastHit = *area;
  if (w->draggable && w->draggable(area->x, area->y)) return SDL_HITTEST_DRAGGABLE;
  return SDL_HITTEST_NORMAL;
}

// SDL asks the hit test about the press and reports the drag it starts in
// the same breath, before any later motion can ask again: the point asked
// last is the press's. Runs as the event is queued.
int SDLCALL keepDragPress(void*, SDL_Event* e) {
  if (e->type != SDL_WINDOWEVENT || e->window.event != SDL_WINDOWEVENT_HIT_TEST) return 0;
  NativeWindow* w = nativeOf(e->window.windowID);
  if (!w) return 0;
  if (w->pressCount == NativeWindow::kPressRing) {
    // Nobody drains the queue: the oldest press goes.
    w->firstPress = (w->firstPress + 1) % NativeWindow::kPressRing;
    --w->pressCount;
  }
  w->presses[(w->firstPress + w->pressCount++) % NativeWindow::kPressRing] = w->lastHit;
  return 0;
}

}  // namespace

bool displayAvailable() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w && waylandRequested());
}

bool initVideo(bool offscreenWhenNoDisplay, std::string& reason, bool alwaysOffscreen) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  if (alwaysOffscreen) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  } else if (!displayAvailable()) {
    if (!offscreenWhenNoDisplay) {
      reason = "no display (set DISPLAY, or run with --headless)";
      return false;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  } else {
    // A driver named in the environment wins over this hint.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  }
  if (waylandRequested() && !alwaysOffscreen && displayAvailable()) {
    if (!waylandSeatPresent()) {
      reason = "the Wayland compositor offers no seat, which SDL needs (unset SDL_VIDEODRIVER "
               "to use X11)";
      return false;
    }
    // The windows are borderless, so decorations are not needed, and SDL
    // 2.26 crashes in libdecor's configure callback once a window is replaced.
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    reason = std::string("cannot start video: ") + SDL_GetError();
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  gOffscreen = driver && std::strcmp(driver, "offscreen") == 0;
  return true;
}

void quitVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  x11ForgetDisplayState();
  gOffscreen = false;
}

bool videoIsOffscreen() { return gOffscreen; }

int displayCount() { return SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetNumVideoDisplays() : 0; }

std::vector<DisplayMode> displayModes(int display) {
  std::vector<DisplayMode> modes;
  const int n = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(display, i, &m) != 0) break;
    modes.push_back(DisplayMode{m.w, m.h, static_cast<int32_t>(SDL_BYTESPERPIXEL(m.format)), m.refresh_rate});
  }
  return modes;
}

bool desktopMode(int display, DisplayMode& out) {
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(display, &m) != 0) return false;
  out = DisplayMode{m.w, m.h, static_cast<int32_t>(SDL_BYTESPERPIXEL(m.format)), m.refresh_rate};
  return true;
}

void displayOrigin(int display, int& x, int& y) {
  SDL_Rect r{0, 0, 0, 0};
  SDL_GetDisplayBounds(display, &r);
  x = r.x;
  y = r.y;
}

void setGlAttributes() {
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
}

WindowHandle createWindow(const char* title, int x, int y, int width, int height,
                          std::string& reason) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    reason = "video is not started";
    return nullptr;
  }
  SDL_Window* sdl = SDL_CreateWindow(title, x, y, width, height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!sdl) {
    reason = SDL_GetError();
    return nullptr;
  }
  auto* w = new NativeWindow;
  w->sdl = sdl;
  SDL_SetWindowData(sdl, kNativeKey, w);
  return w;
}

void destroyWindow(WindowHandle window) {
  if (!window) return;
  SDL_DestroyWindow(window->sdl);
  delete window;
}

void showWindow(WindowHandle window) {
  if (window) SDL_ShowWindow(window->sdl);
}

void setWindowPosition(WindowHandle window, int x, int y) {
  if (window) SDL_SetWindowPosition(window->sdl, x, y);
}

void windowPosition(WindowHandle window, int& x, int& y) {
  x = y = 0;
  if (window) SDL_GetWindowPosition(window->sdl, &x, &y);
}

void windowSize(WindowHandle window, int& width, int& height) {
  width = height = 0;
  if (window) SDL_GetWindowSize(window->sdl, &width, &height);
}

void setAlwaysOnTop(WindowHandle window, bool onTop) {
  if (window) SDL_SetWindowAlwaysOnTop(window->sdl, onTop ? SDL_TRUE : SDL_FALSE);
}

void setDragTest(WindowHandle window, std::function<bool(int, int)> draggable) {
  if (!window) return;
  window->draggable = std::move(draggable);
  if (window->draggable) {
    // A drag swallows its press; the watch keeps it for the event queue.
    // Once only, and again after the event loop has stopped (that drops it).
    SDL_DelEventWatch(keepDragPress, nullptr);
    SDL_AddEventWatch(keepDragPress, nullptr);
    SDL_SetWindowHitTest(window->sdl, hitTest, window);
  } else {
    SDL_SetWindowHitTest(window->sdl, nullptr, nullptr);
  }
}

bool takeDragPress(Uint32 windowId, int& x, int& y) {
  NativeWindow* w = nativeOf(windowId);
  if (!w || w->pressCount == 0) return false;
  x = w->presses[w->firstPress].x;
  y = w->presses[w->firstPress].y;
  w->firstPress = (w->firstPress + 1) % NativeWindow::kPressRing;
  --w->pressCount;
  return true;
}

bool enterFullScreen(WindowHandle window, int width, int height) {
  if (!window) return false;
  const int display = SDL_GetWindowDisplayIndex(window->sdl);
  if (display < 0) return false;
  // Only an exact mode counts: the closest-mode search would silently pick
  // another size.
  SDL_DisplayMode chosen;
  bool found = false;
  const int n = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < n && !found; ++i) {
    if (SDL_GetDisplayMode(display, i, &chosen) == 0 && chosen.w == width && chosen.h == height) {
      found = true;
    }
  }
  if (!found) return false;
  if (onWayland()) {
    static bool told = false;
    if (!told) {
      std::fputs("vesper: on Wayland full screen keeps the desktop mode (the compositor scales "
                 "the picture) and gamma is left alone\n", stderr);
      told = true;
    }
  }
  if (onX11()) x11RecordDisplayState();
  if (SDL_SetWindowDisplayMode(window->sdl, &chosen) != 0) return false;
  return SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) == 0;
}

bool leaveFullScreen(WindowHandle window) {
  return window && SDL_SetWindowFullscreen(window->sdl, 0) == 0;
}

bool gammaRamp(WindowHandle window, uint16_t ramp[3][256]) {
  // Wayland clients cannot change the output's gamma.
  if (!window || onWayland()) return false;
  if (onX11()) {
    int x = 0, y = 0;
    displayCentre(window, x, y);
    if (x11GammaRamp(x, y, ramp)) return true;
  }
  return SDL_GetWindowGammaRamp(window->sdl, ramp[0], ramp[1], ramp[2]) == 0;
}

bool setGammaRamp(WindowHandle window, const uint16_t ramp[3][256]) {
  if (!window || onWayland()) return false;
  if (onX11()) {
    int x = 0, y = 0;
    displayCentre(window, x, y);
    x11RecordDisplayState();
    if (x11SetGammaRamp(x, y, ramp)) return true;
  }
  return SDL_SetWindowGammaRamp(window->sdl, ramp[0], ramp[1], ramp[2]) == 0;
}

GlContextHandle createGlContext(WindowHandle window) {
  return window ? SDL_GL_CreateContext(window->sdl) : nullptr;
}

bool makeCurrent(WindowHandle window, GlContextHandle context) {
  return SDL_GL_MakeCurrent(window ? window->sdl : nullptr, context) == 0;
}

bool deleteGlContext(GlContextHandle context) {
  if (!context) return false;
  const bool released = SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
  if (released) SDL_GL_DeleteContext(context);
  return released;
}

bool setSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

void swapCurrentWindow() {
  if (SDL_Window* w = SDL_GL_GetCurrentWindow()) {
    SDL_GL_SwapWindow(w);
    ++gSwaps;
  }
}

uint64_t swapCount() { return gSwaps; }

void showCursor(bool show) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void openUrl(const char* url) { SDL_OpenURL(url); }

ScratchGlWindow::ScratchGlWindow() {
  std::string reason;
  if (!initVideo(true, reason)) return;
  setGlAttributes();
  mWindow = createWindow("", 0, 0, 1, 1, reason);
  if (!mWindow) return;
  mContext = createGlContext(mWindow);
  if (mContext && !makeCurrent(mWindow, mContext)) {
    deleteGlContext(mContext);
    mContext = nullptr;
  }
}

ScratchGlWindow::~ScratchGlWindow() {
  if (mContext) deleteGlContext(mContext);
  destroyWindow(mWindow);
}

}  // namespace platform
