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
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    cwd = buf;
    testing_support::makePack(dir.file("vesper.pak"), {{"data\\a.txt", testing_support::bytes("a")}});
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override {
    if (started) systemManager::instance().terminate();
    if (!cwd.empty()) {
      EXPECT_EQ(chdir(cwd.c_str()), 0);
    }
  }
  void start(bool fullScreen, int w, int h) {
    settingsManager& s = settingsManager::instance();
    s.fullScreen = fullScreen;
    s.screenWidth = w;
    s.screenHeight = h;
    s.vSync = false;
    s.bigScreen = false;
    ASSERT_TRUE(systemManager::instance().initialize());
    started = true;
    window = systemManager::instance().window();
    ASSERT_NE(window, nullptr);
    pump(150);
  }
  testing_support::TempDir dir;
  std::string cwd;
  bool started = false;
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

TEST_F(RenderWindow, AltF4PostsQuitWithCodeZero) {
  start(false, 320, 180);
  SDL_Window* sdl = SDL_GL_GetCurrentWindow();
  SDL_RaiseWindow(sdl);
  SDL_SetWindowInputFocus(sdl);
  pump(100);
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
  started = false;
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
#include "app/private_display.h"

namespace {

class DraggedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    display = std::make_unique<testing_support::PrivateDisplay>(true);
    if (!display->ok()) GTEST_SKIP() << "cannot start a private Xvfb";
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    cwd = buf;
    testing_support::makePack(dir.file("vesper.pak"), {{"data\\a.txt", testing_support::bytes("a")}});
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override {
    if (started) systemManager::instance().terminate();
    if (!cwd.empty()) {
      EXPECT_EQ(chdir(cwd.c_str()), 0);
    }
  }
  void start(bool fullScreen, int w, int h) {
    settingsManager& s = settingsManager::instance();
    s.fullScreen = fullScreen;
    s.screenWidth = w;
    s.screenHeight = h;
    s.vSync = false;
    s.bigScreen = false;
    ASSERT_TRUE(systemManager::instance().initialize());
    started = true;
    pumpEvents(300);
  }
  static void pumpEvents(int ms) {
    platform::Event e;
    const uint32_t end = platform::ticksMs() + static_cast<uint32_t>(ms);
    while (platform::ticksMs() < end) {
      while (platform::systemEvents().poll(e)) platform::systemEvents().dispatch(e);
      platform::sleepMs(5);
    }
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
    pumpEvents(2000);
    pointer.join();
    pumpEvents(200);
  }
  std::unique_ptr<testing_support::PrivateDisplay> display;
  testing_support::TempDir dir;
  std::string cwd;
  bool started = false;
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

}  // namespace
