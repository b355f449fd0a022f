// System manager: pack file, render window and GL context, input listeners,
// pause/step and the frame-rate counter.
#include <cstdio>

#include "app/managers.h"
#include "app/source_folder.h"
#include "files/files.h"
#include "platform/platform.h"
#include "render/render.h"

VESPER_IMPLEMENT_INTERFACE(systemManager)
VESPER_IMPLEMENT_DYNAMIC(systemManager, Interface<systemManager>)

namespace {

constexpr uint32_t kBigScreenWaitMs = 3000;

systemManager& self(void* user) { return *static_cast<systemManager*>(user); }

void onKeyUp(void* user, int32_t key) {
  const auto& l = self(user).keyUpListener;
  if (l.object && l.keyUp) l.keyUp(l.object, key);
}
void onKeyDown(void* user, int32_t key, uint32_t flags) {
  const auto& l = self(user).keyDownListener;
  if (l.object && l.keyDown) l.keyDown(l.object, key, flags);
}
void onWheel(void* user, int32_t delta) {
  const auto& l = self(user).wheelListener;
  if (l.object && l.wheel) l.wheel(l.object, delta);
}
void onMouseMove(void* user, int16_t x, int16_t y) {
  const auto& l = self(user).mouseMoveListener;
  if (l.object && l.mouseMove) l.mouseMove(l.object, x, y);
}
void onButtonDown(void* user, int16_t x, int16_t y, int32_t button) {
  const auto& l = self(user).buttonDownListener;
  if (l.object && l.button) l.button(l.object, x, y, button);
}
void onButtonUp(void* user, int16_t x, int16_t y, int32_t button) {
  const auto& l = self(user).buttonUpListener;
  if (l.object && l.button) l.button(l.object, x, y, button);
}

// Pumps messages until the wait is over; false on Escape or quit.
bool bigScreenWait() {
  const uint32_t start = platform::ticksMs();
  platform::EventSource& events = platform::systemEvents();
  platform::Event e;
  while (platform::ticksMs() - start < kBigScreenWaitMs) {
    if (!events.poll(e)) {
      platform::sleepMs(1);
      continue;
    }
    if (e.type == platform::EventType::Quit) return false;
    if (e.type == platform::EventType::KeyDown && e.key == platform::KeyEscape) return false;
    if (e.type != platform::EventType::Null) events.dispatch(e);
  }
  return true;
}

}  // namespace

bool systemManager::initialize() {
  const settingsManager& s = settingsManager::instance();
  openShowFiles();
  rendererManager::instance().checkCapabilities();
  rendererManager::instance().setScreenSizeSource(this);

  mWindow = std::make_unique<CWindowGL>();
  CWindowGL& w = *mWindow;
  int ox = 0, oy = 0;
  platform::displayOrigin(s.display, ox, oy);
  // Windowed: centred on the desktop. Integer halves truncate toward zero,
  // so a window larger than the desktop gets negative coordinates. The
  // window is created there rather than moved after creation: a move of a
  // still unmapped window is misreported by SDL under some window managers.
  int x = ox, y = oy;
  platform::DisplayMode desk;
  if (!s.fullScreen && platform::desktopMode(s.display, desk)) {
    x = ox + (desk.width - s.screenWidth) / 2;
    y = oy + (desk.height - s.screenHeight) / 2;
  }
  const bool ready = w.Create("Vesper", x, y, s.screenWidth, s.screenHeight) &&
                     w.createGLContext() && w.makeCurrent();
  if (!ready) {
    // Nothing can be shown without a window and context; the show must not
    // pretend to run.
    std::fprintf(stderr, "vesper: cannot open the render window\n");
    setStartupExitStatus(1);
    return false;
  }
  if (s.fullScreen) {
    w.setFullScreen(true);
    platform::showCursor(false);
    platform::setAlwaysOnTop(w.handle(), false);
  } else {
    w.setFullScreen(false);
    platform::showCursor(true);
    platform::setAlwaysOnTop(w.handle(), s.alwaysOnTop);
  }

  mInput.keyUp = onKeyUp;
  mInput.keyDown = onKeyDown;
  mInput.wheel = onWheel;
  mInput.mouseMove = onMouseMove;
  mInput.buttonDown = onButtonDown;
  mInput.buttonUp = onButtonUp;
  mInput.user = this;
  platform::setInputHandler(&mInput);
  CWindowGL* window = mWindow.get();
  platform::setDragTest(w.handle(), [window](int, int) { return !window->isFullScreen(); });

  platform::setSwapInterval(s.vSync ? 1 : 0);
  platform::showWindow(w.handle());
  mLastRateTime = platform::ticksMs();

  if (s.bigScreen && s.fullScreen && !bigScreenWait()) return false;
  return true;
}

bool systemManager::terminate() {
  platform::setInputHandler(nullptr);
  mWindow.reset();
  closePackage();
  closeFolder();
  return true;
}

void systemManager::releaseWindow() { mWindow.reset(); }

bool systemManager::screenSize(uint32_t& width, uint32_t& height) const {
  if (!mWindow) return false;
  width = mWindow->clientWidth();
  height = mWindow->clientHeight();
  return true;
}

bool systemManager::update() {
  if (!mPaused && mStepRequested) {
    pause();
    mStepRequested = false;
  }
  if (mPaused && mStepRequested) resume();

  ++mFrameCount;
  const uint32_t now = platform::ticksMs();
  if (now - mLastRateTime >= 1000) {
    mFramesPerSecond = mFrameCount;
    mFrameCount = 0;
    mLastRateTime = now;
    CoreDebug::trace("%s: %u fps, %.2f ms", "OpenGL", mFramesPerSecond,
                     static_cast<double>(profileManager::instance().frameTime()));
  }
  return true;
}

// ---------------------------------------------------------------------------

namespace {
int gStartupExitStatus = 0;
}  // namespace

void setStartupExitStatus(int status) { gStartupExitStatus = status; }
int startupExitStatus() { return gStartupExitStatus; }

void abandonStartup() {
  platform::setInputHandler(nullptr);
  // The window's destructor puts back the saved gamma ramp and leaves full
  // screen; quitting the video subsystem restores any mode still changed.
  systemManager::instance().releaseWindow();
  platform::quitVideo();
}
