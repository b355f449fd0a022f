// Platform layer: video start-up, display modes, borderless GL windows, GL
// contexts, gamma ramps and the cursor. Handles are opaque; everything runs
// on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct DisplayMode {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 0;  // X11 reports 24-bit colour stored in 4 bytes
  int32_t refreshRate = 0;    // Hz; 0 when the driver does not say
};

// True when an X11 display is named in the environment, or a Wayland one
// while SDL_VIDEODRIVER names wayland (only then is Wayland used).
bool displayAvailable();
// Starts the video subsystem once. With `offscreenWhenNoDisplay` and no
// display, or with `alwaysOffscreen`, SDL's offscreen driver is used. False
// with a one-line reason.
bool initVideo(bool offscreenWhenNoDisplay, std::string& reason, bool alwaysOffscreen = false);
// Closes the video subsystem: every window still open is destroyed and the
// display modes are put back. Safe when video never started.
void quitVideo();
// True when the offscreen driver runs (nothing can be shown or clicked).
bool videoIsOffscreen();
int displayCount();
// Every mode the display offers, in the driver's order; empty on failure.
std::vector<DisplayMode> displayModes(int display);
// The display's current (desktop) mode; false on failure.
bool desktopMode(int display, DisplayMode& out);
// The display's top-left corner in the desktop.
void displayOrigin(int display, int& x, int& y);

struct NativeWindow;
using WindowHandle = NativeWindow*;
using GlContextHandle = void*;

// Requests the context the engine draws with (RGB 8/8/8, no alpha, depth 16,
// double buffer, compatibility profile) for windows created afterwards.
void setGlAttributes();
// A hidden borderless GL-capable window of the exact client size at (x, y);
// null with `reason` set on failure. Destroy with destroyWindow.
WindowHandle createWindow(const char* title, int x, int y, int width, int height,
                          std::string& reason);
void destroyWindow(WindowHandle window);
void showWindow(WindowHandle window);
void setWindowPosition(WindowHandle window, int x, int y);
void windowPosition(WindowHandle window, int& x, int& y);
void windowSize(WindowHandle window, int& width, int& height);
void setAlwaysOnTop(WindowHandle window, bool onTop);
// Makes any empty spot drag the window while `draggable(x, y)` answers true
// for that client point; an empty function turns dragging off.
void setDragTest(WindowHandle window, std::function<bool(int x, int y)> draggable);
// Switches the display to a mode of `width` x `height` and the window to
// full screen on it; false (nothing changed) when the display has no such mode.
bool enterFullScreen(WindowHandle window, int width, int height);
bool leaveFullScreen(WindowHandle window);
// 3 x 256 entries: red, green, blue.
bool gammaRamp(WindowHandle window, uint16_t ramp[3][256]);
bool setGammaRamp(WindowHandle window, const uint16_t ramp[3][256]);

GlContextHandle createGlContext(WindowHandle window);
bool makeCurrent(WindowHandle window, GlContextHandle context);
// Makes no context current, then deletes `context`; true when both worked.
bool deleteGlContext(GlContextHandle context);
// 1 or 0; false when the driver cannot set it (nothing to do then).
bool setSwapInterval(int interval);
// Swaps the buffers of the window whose context is current on this thread.
void swapCurrentWindow();
// How many swaps swapCurrentWindow has made (a window was current), for
// diagnostics and tests.
uint64_t swapCount();
void showCursor(bool show);
void openUrl(const char* url);

// A hidden 1x1 window with a current GL context, for probing the driver
// before the real window exists. Everything is released on destruction.
class ScratchGlWindow {
 public:
  ScratchGlWindow();
  ~ScratchGlWindow();
  bool ok() const { return mContext != nullptr; }
  ScratchGlWindow(const ScratchGlWindow&) = delete;
  ScratchGlWindow& operator=(const ScratchGlWindow&) = delete;

 private:
  WindowHandle mWindow = nullptr;
  GlContextHandle mContext = nullptr;
};

// Window input forwarded to the engine's listeners: codes follow the
// engine's key numbering (platform::Key); `flags` are KeyFlag bits.
struct InputHandler {
  void (*keyUp)(void* user, int32_t key) = nullptr;
  void (*wheel)(void* user, int32_t delta) = nullptr;
  void (*mouseMove)(void* user, int16_t x, int16_t y) = nullptr;
  void (*buttonDown)(void* user, int16_t x, int16_t y, int32_t button) = nullptr;
  void (*buttonUp)(void* user, int16_t x, int16_t y, int32_t button) = nullptr;
  void (*keyDown)(void* user, int32_t key, uint32_t flags) = nullptr;
  void* user = nullptr;
};
// Installs the handler the system event queue dispatches to (null removes it).
void setInputHandler(const InputHandler* handler);

// The launcher's window: a borderless dialog-sized GL window with Dear ImGui
// set up on it (SDL2 and OpenGL2 back ends).
class LauncherWindow {
 public:
  LauncherWindow() = default;
  ~LauncherWindow();
  // Opens the window centred on `display`; false with `reason` on failure.
  bool open(int display, int width, int height, std::string& reason);
  // Pumps pending events, then runs `draw` inside one ImGui frame and
  // presents it. False when the window was asked to close (quit, Alt+F4).
  bool frame(const std::function<void()>& draw);
  WindowHandle handle() const { return mWindow; }
  // When on, each frame's RGBA pixels (row 0 at the bottom) are read back
  // before the swap and kept in lastFrame(); for tests.
  void keepFrames(bool on) { mKeepFrames = on; }
  const std::vector<uint8_t>& lastFrame() const { return mLastFrame; }
  LauncherWindow(const LauncherWindow&) = delete;
  LauncherWindow& operator=(const LauncherWindow&) = delete;

 private:
  WindowHandle mWindow = nullptr;
  GlContextHandle mContext = nullptr;
  bool mImGui = false;
  int mWidth = 0;
  int mHeight = 0;
  bool mKeepFrames = false;
  uint32_t mLastFrameMs = 0;
  std::vector<uint8_t> mLastFrame;
};

}  // namespace platform
