// The render window on a real X display (Xvfb, no window manager): title,
// client size, placement, full screen, gamma, Alt+F4 and frames.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "app/app.h"
#include "app/fixtures.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/support.h"
// Last: the X11 headers define macros (None, ...) that clash with names above.
#include <SDL_syswm.h>

namespace {

using testing_support::runCommand;

// xwininfo's report of an X window, as "key: value" lines.
std::string xwininfo(unsigned long id) {
  return runCommand("xwininfo -id " + std::to_string(id)).stdOut;
}

long field(const std::string& report, const std::string& key) {
  const size_t at = report.find(key + ":");
  if (at == std::string::npos) return LONG_MIN;
  return std::strtol(report.c_str() + at + key.size() + 1, nullptr, 10);
}

unsigned long xWindowOf(const CWindowGL& w) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  SDL_Window* sdl = SDL_GL_GetCurrentWindow();
  if (!sdl || !SDL_GetWindowWMInfo(sdl, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  (void)w;
  return info.info.x11.window;
}

void pump(int ms) {
  const uint32_t end = SDL_GetTicks() + static_cast<uint32_t>(ms);
  while (SDL_GetTicks() < end) {
    SDL_PumpEvents();
    SDL_Delay(5);
  }
}

class RenderWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::displayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(packDir.ok());
  }
  void start(bool fullScreen, int w, int h) {
    ASSERT_TRUE(testing_support::PackDirectory::start(fullScreen, w, h));
    window = systemManager::instance().window();
    ASSERT_NE(window, nullptr);
    pump(150);
  }
  testing_support::PackDirectory packDir;
  CWindowGL* window = nullptr;
};

TEST_F(RenderWindow, WindowedIsTitledCentredAndOfTheExactClientSize) {
  start(false, 640, 360);
  const unsigned long id = xWindowOf(*window);
  ASSERT_NE(id, 0u);
  const std::string info = xwininfo(id);
  EXPECT_NE(info.find("\"Vesper\""), std::string::npos) << info;
  EXPECT_EQ(field(info, "Width"), 640);
  EXPECT_EQ(field(info, "Height"), 360);
  EXPECT_EQ(field(info, "Absolute upper-left X"), (1920 - 640) / 2);
  EXPECT_EQ(field(info, "Absolute upper-left Y"), (1080 - 360) / 2);
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
  start(false, 2000, 1200);
  const std::string info = xwininfo(xWindowOf(*window));
  EXPECT_EQ(field(info, "Absolute upper-left X"), (1920 - 2000) / 2);
  EXPECT_EQ(field(info, "Absolute upper-left Y"), (1080 - 1200) / 2);
  EXPECT_EQ(field(info, "Width"), 2000);
}

TEST_F(RenderWindow, FullScreenAtAModeTheDisplayLacksStaysAtTheOriginAndRuns) {
  start(true, 640, 360);  // Xvfb offers only its screen size
  EXPECT_FALSE(window->isFullScreen());
  const std::string info = xwininfo(xWindowOf(*window));
  EXPECT_EQ(field(info, "Absolute upper-left X"), 0);
  EXPECT_EQ(field(info, "Absolute upper-left Y"), 0);
  EXPECT_EQ(field(info, "Width"), 640);
  EXPECT_EQ(field(info, "Height"), 360);
  EXPECT_FALSE(window->setGamma(1.2f));  // not full screen
  EXPECT_TRUE(rendererManager::instance().endFrame());
}

TEST_F(RenderWindow, FullScreenAtTheDesktopModeAndGammaRestoredOnExit) {
  start(true, 1920, 1080);
  EXPECT_TRUE(window->isFullScreen());
  EXPECT_FALSE(window->setFullScreen(true));  // already
  if (!window->hasSavedGamma()) {
    GTEST_SKIP() << "this display offers no gamma ramp (TrueColor visual)";
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
    if (!display->ok()) GTEST_SKIP() << "cannot start a private Xvfb";
    packDir = std::make_unique<testing_support::PackDirectory>();
    ASSERT_TRUE(packDir->ok());
  }
  void TearDown() override { packDir.reset(); }
  virtual bool windowManager() const { return true; }
  void start(bool fullScreen, int w, int h) {
    ASSERT_TRUE(testing_support::PackDirectory::start(fullScreen, w, h));
    testing_support::pumpEvents(300);
  }
  // Drags from the window's middle by (dx, dy) while the queue is drained.
  void drag(int dx, int dy) {
    int x = 0, y = 0, w = 0, h = 0;
    platform::windowPosition(systemManager::instance().window()->handle(), x, y);
    platform::windowSize(systemManager::instance().window()->handle(), w, h);
    const std::string cmd = "xdotool mousemove " + std::to_string(x + w / 2) + " " +
                            std::to_string(y + h / 2) +
                            " sleep 0.3 mousedown 1 sleep 0.3 mousemove_relative -- " +
                            std::to_string(dx) + " " + std::to_string(dy) +
                            " sleep 0.3 mouseup 1";
    std::thread pointer([cmd] { runCommand(cmd); });
    testing_support::pumpEvents(2000);
    pointer.join();
    testing_support::pumpEvents(200);
  }
  std::unique_ptr<testing_support::PrivateDisplay> display;
  std::unique_ptr<testing_support::PackDirectory> packDir;
};

TEST_F(DraggedWindow, WindowedMovesWithTheButtonHeld) {
  start(false, 320, 180);
  const platform::WindowHandle h = systemManager::instance().window()->handle();
  int x0 = 0, y0 = 0;
  platform::windowPosition(h, x0, y0);
  drag(150, 90);
  int x1 = 0, y1 = 0;
  platform::windowPosition(h, x1, y1);
  EXPECT_EQ(x1 - x0, 150);
  EXPECT_EQ(y1 - y0, 90);
}

TEST_F(DraggedWindow, FullScreenStaysPut) {
  start(true, 1920, 1080);
  ASSERT_TRUE(systemManager::instance().window()->isFullScreen());
  const platform::WindowHandle h = systemManager::instance().window()->handle();
  drag(150, 90);
  int x = -1, y = -1;
  platform::windowPosition(h, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

// Keys go to the focused window: a private display, so no other test's
// window takes the focus; no window manager, so Alt+F4 reaches the program
// as a key press.
class KeyedWindow : public DraggedWindow {
 protected:
  bool windowManager() const override { return false; }
};

TEST_F(KeyedWindow, AltF4PostsQuitWithCodeZero) {
  start(false, 320, 180);
  SDL_Window* sdl = SDL_GL_GetCurrentWindow();
  SDL_RaiseWindow(sdl);
  SDL_SetWindowInputFocus(sdl);
  testing_support::pumpEvents(100);
  // Other Alt combinations do nothing.
  runCommand("xdotool key alt+F3 alt+F4");
  platform::Event e;
  bool quit = false;
  int keyDowns = 0;
  const uint32_t end = SDL_GetTicks() + 3000;
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
