// The render window on a real X display (Xvfb, no window manager): title,
// client size, placement, full screen, gamma, Alt+F4 and frames.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/managers.h"
#include "app/fixtures.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/support.h"
#include "support/x_display.h"

namespace {

using testing_support::runCommand;
using testing_support::xwininfo;
using testing_support::xwininfoField;
using testing_support::xWindowOf;

// Starts the system manager's window and waits until the display (and the
// window manager, if one runs) has put it where the program thinks it is.
void startShow(bool fullScreen, int w, int h, bool windowManager) {
  ASSERT_TRUE(testing_support::PackDirectory::start(fullScreen, w, h));
  ASSERT_NE(systemManager::instance().window(), nullptr);
  std::string why;
  ASSERT_TRUE(testing_support::waitUntilPlaced(SDL_GL_GetCurrentWindow(), testing_support::pumpOnce,
                                               windowManager, why))
      << why;
}

class RenderWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::displayAvailable()) SKIP_WITHOUT_DISPLAY("no display");
    ASSERT_TRUE(packDir.ok());
  }
  void start(bool fullScreen, int w, int h) {
    ASSERT_NO_FATAL_FAILURE(startShow(fullScreen, w, h, false));
    window = systemManager::instance().window();
  }
  testing_support::PackDirectory packDir;
  CWindowGL* window = nullptr;
};

TEST_F(RenderWindow, WindowedIsTitledCentredAndOfTheExactClientSize) {
  ASSERT_NO_FATAL_FAILURE(start(false, 640, 360));
  const unsigned long id = xWindowOf(SDL_GL_GetCurrentWindow());
  ASSERT_NE(id, 0u);
  const std::string info = xwininfo(id);
  EXPECT_NE(info.find("\"Vesper\""), std::string::npos) << info;
  EXPECT_EQ(xwininfoField(info, "Width"), 640);
  EXPECT_EQ(xwininfoField(info, "Height"), 360);
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left X"), (1920 - 640) / 2);
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left Y"), (1080 - 360) / 2);
  EXPECT_NE(info.find("IsViewable"), std::string::npos);
  EXPECT_FALSE(window->isFullScreen());
  EXPECT_EQ(window->clientWidth(), 640);

  // Frames run: the renderer draws the default state and presents.
  ASSERT_TRUE(intermediateCommand::instance().initialize());
  ASSERT_TRUE(rendererManager::instance().initialize());
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 640);
  EXPECT_EQ(viewport[3], 360);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_TRUE(rendererManager::instance().update());
  EXPECT_TRUE(rendererManager::instance().endFrame());
  intermediateCommand::instance().terminate();
}

TEST_F(RenderWindow, WindowedLargerThanTheDesktopGetsNegativeCoordinates) {
  ASSERT_NO_FATAL_FAILURE(start(false, 2000, 1200));
  const std::string info = xwininfo(xWindowOf(SDL_GL_GetCurrentWindow()));
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left X"), (1920 - 2000) / 2);
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left Y"), (1080 - 1200) / 2);
  EXPECT_EQ(xwininfoField(info, "Width"), 2000);
}

TEST_F(RenderWindow, FullScreenAtAModeTheDisplayLacksStaysAtTheOriginAndRuns) {
  ASSERT_NO_FATAL_FAILURE(start(true, 640, 360));  // Xvfb offers only its screen size
  EXPECT_FALSE(window->isFullScreen());
  const std::string info = xwininfo(xWindowOf(SDL_GL_GetCurrentWindow()));
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left X"), 0);
  EXPECT_EQ(xwininfoField(info, "Absolute upper-left Y"), 0);
  EXPECT_EQ(xwininfoField(info, "Width"), 640);
  EXPECT_EQ(xwininfoField(info, "Height"), 360);
  EXPECT_FALSE(window->setGamma(1.2f));  // not full screen
  EXPECT_TRUE(rendererManager::instance().endFrame());
}

TEST_F(RenderWindow, FullScreenAtTheDesktopModeAndGammaRestoredOnExit) {
  ASSERT_NO_FATAL_FAILURE(start(true, 1920, 1080));
  EXPECT_TRUE(window->isFullScreen());
  EXPECT_FALSE(window->setFullScreen(true));  // already
  if (!window->hasSavedGamma()) {
    SKIP_WITHOUT_DISPLAY("this display offers no gamma ramp (TrueColor visual)");
  }
  uint16_t before[3][256];
  ASSERT_TRUE(platform::gammaRamp(window->handle(), before));
  ASSERT_TRUE(window->setGamma(1.2f));
  uint16_t bright[3][256];
  ASSERT_TRUE(platform::gammaRamp(window->handle(), bright));
  EXPECT_GT(bright[0][127], before[0][127]);
  systemManager::instance().terminate();
  // A new window reads the desktop's ramp again.
  std::string reason;
  platform::WindowHandle probe = platform::createWindow("probe", 0, 0, 16, 16, reason);
  ASSERT_NE(probe, nullptr) << reason;
  uint16_t after[3][256];
  ASSERT_TRUE(platform::gammaRamp(probe, after));
  EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
  platform::destroyWindow(probe);
}

}  // namespace

// Dragging needs a window manager: a private display with openbox.

namespace {

class DraggedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    display = std::make_unique<testing_support::PrivateDisplay>(windowManager());
    if (!display->ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
    packDir = std::make_unique<testing_support::PackDirectory>();
    ASSERT_TRUE(packDir->ok());
  }
  void TearDown() override {
    systemManager::instance().buttonDownListener = systemManager::Listener{};
    packDir.reset();
  }
  virtual bool windowManager() const { return true; }
  // Starts the window with a button-down listener that records `pressed`.
  void start(bool fullScreen, int w, int h) {
    startShow(fullScreen, w, h, windowManager());
    systemManager::Listener& l = systemManager::instance().buttonDownListener;
    l.object = &pressed;
    l.button = [](void* o, int16_t, int16_t, int32_t b) { static_cast<std::vector<int32_t>*>(o)->push_back(b); };
  }
  // Drags from the window's middle by (dx, dy) with the button held; the
  // window manager must move the window along, or the program must see it all.
  void drag(int dx, int dy, bool windowMoves) {
    SDL_Window* sdl = SDL_GL_GetCurrentWindow();
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    std::string why;
    EXPECT_TRUE(testing_support::dragPointer(sdl, testing_support::pumpOnce, w / 2, h / 2, dx, dy,
                                             windowMoves, why))
        << why;
  }
  std::unique_ptr<testing_support::PrivateDisplay> display;
  std::unique_ptr<testing_support::PackDirectory> packDir;
  std::vector<int32_t> pressed;
};

// In both, the listener hears of the left press: the drag does not take it.
TEST_F(DraggedWindow, WindowedMovesWithTheButtonHeld) {
  ASSERT_NO_FATAL_FAILURE(start(false, 320, 180));
  const platform::WindowHandle h = systemManager::instance().window()->handle();
  int x0 = 0, y0 = 0;
  platform::windowPosition(h, x0, y0);
  drag(150, 90, true);
  int x1 = 0, y1 = 0;
  platform::windowPosition(h, x1, y1);
  EXPECT_EQ(x1 - x0, 150);
  EXPECT_EQ(y1 - y0, 90);
  EXPECT_EQ(pressed, std::vector<int32_t>{0});
}

TEST_F(DraggedWindow, FullScreenStaysPut) {
  ASSERT_NO_FATAL_FAILURE(start(true, 1920, 1080));
  ASSERT_TRUE(systemManager::instance().window()->isFullScreen());
  const platform::WindowHandle h = systemManager::instance().window()->handle();
  drag(150, 90, false);
  int x = -1, y = -1;
  platform::windowPosition(h, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(pressed, std::vector<int32_t>{0});
}

// Keys go to the focused window: a private display, so no other test's
// window takes the focus; no window manager, so Alt+F4 reaches the program
// as a key press.
class KeyedWindow : public DraggedWindow {
 protected:
  bool windowManager() const override { return false; }
};

TEST_F(KeyedWindow, AltF4PostsQuitWithCodeZero) {
  ASSERT_NO_FATAL_FAILURE(start(false, 320, 180));
  SDL_Window* sdl = SDL_GL_GetCurrentWindow();
  SDL_RaiseWindow(sdl);
  SDL_SetWindowInputFocus(sdl);
  ASSERT_TRUE(testing_support::stepUntil(testing_support::pumpOnce,
                                         [sdl] { return SDL_GetKeyboardFocus() == sdl; }));
  // Other Alt combinations do nothing.
  runCommand("xdotool key alt+F3 alt+F4");
  platform::Event e;
  bool quit = false;
  int keyDowns = 0;
  const uint32_t end = SDL_GetTicks() + 10000;
  while (!quit && SDL_GetTicks() < end) {
    while (platform::systemEvents().poll(e)) {
      if (e.type == platform::EventType::KeyDown) ++keyDowns;
      if (e.type == platform::EventType::Quit) {
        quit = true;
        EXPECT_EQ(e.exitCode, 0);
      }
    }
    SDL_Delay(5);
  }
  EXPECT_TRUE(quit);
  EXPECT_GE(keyDowns, 2);
}

}  // namespace
