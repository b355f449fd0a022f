// The launcher dialog on a private X display: what it draws (read back) and
// real pointer clicks and drags (xdotool), with and without a window manager.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/launcher.h"
#include "app/fixtures.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "support/x_display.h"

namespace {

using testing_support::PrivateDisplay;
using testing_support::runCommand;

constexpr int kW = LauncherLayout::kWidth;
constexpr int kH = LauncherLayout::kHeight;

std::vector<platform::DisplayMode> modes() {
  return {{640, 480, 4}, {800, 600, 4}, {1280, 720, 4}, {1920, 1080, 4}};
}

struct Rgb {
  int r, g, b;
};

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    display = std::make_unique<PrivateDisplay>(windowManager());
    if (!display->ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
    std::string reason;
    ASSERT_TRUE(window.open(0, kW, kH, reason)) << reason;
    platform::setDragTest(window.handle(), [](int x, int y) {
      return LauncherLayout::emptySpot(static_cast<float>(x), static_cast<float>(y));
    });
    window.keepFrames(true);
    ASSERT_TRUE(testing_support::waitUntilPlaced(SDL_GL_GetCurrentWindow(), step(), windowManager(),
                                                 reason))
        << reason;
    // Park the pointer away from the dialog so nothing is hovered.
    runCommand("xdotool mousemove 5 5");
    frames(6);
  }
  virtual bool windowManager() const { return false; }
  // One frame of the dialog.
  testing_support::Step step() {
    return [this] { window.frame([this] { drawLauncher(dialog); }); };
  }
  // Runs `n` frames; returns the first button pressed, if any.
  LauncherAction frames(int n) {
    LauncherAction first = LauncherAction::None;
    for (int i = 0; i < n; ++i) {
      LauncherAction a = LauncherAction::None;
      EXPECT_TRUE(window.frame([&] { a = drawLauncher(dialog); }));
      if (first == LauncherAction::None) first = a;
    }
    return first;
  }
  Rgb pixel(int x, int y) const {
    const auto& f = window.lastFrame();
    const size_t i = (static_cast<size_t>(kH - 1 - y) * kW + static_cast<size_t>(x)) * 4;
    return Rgb{f[i], f[i + 1], f[i + 2]};
  }
  // Pixels of a control's rectangle that satisfy `pred`.
  template <class Pred>
  int count(LauncherControl c, Pred pred) const {
    const LauncherRect r = LauncherLayout::rect(c);
    int n = 0;
    for (int y = static_cast<int>(r.y); y < static_cast<int>(r.y + r.h); ++y) {
      for (int x = static_cast<int>(r.x); x < static_cast<int>(r.x + r.w); ++x) {
        if (pred(pixel(x, y))) ++n;
      }
    }
    return n;
  }
  // A real click at a dialog point: the pointer moves first, then the button.
  LauncherAction click(float x, float y) {
    int wx = 0, wy = 0;
    platform::windowPosition(window.handle(), wx, wy);
    runCommand("xdotool mousemove " + std::to_string(wx + static_cast<int>(x)) + " " +
               std::to_string(wy + static_cast<int>(y)));
    frames(3);
    runCommand("xdotool click 1");
    const LauncherAction a = frames(4);
    runCommand("xdotool mousemove 5 5");
    frames(2);
    return a;
  }
  LauncherAction clickControl(LauncherControl c) {
    const LauncherRect r = LauncherLayout::rect(c);
    // Check boxes are clicked on their box, buttons in their middle.
    const bool box = c >= LauncherControl::FullScreen && c <= LauncherControl::LowQuality;
    return click(box ? r.x + 6 : r.x + r.w / 2, box ? r.y + 4 : r.y + r.h / 2);
  }
  std::unique_ptr<PrivateDisplay> display;
  LauncherDialog dialog{modes(), Resolution{1920, 1080}};
  platform::LauncherWindow window;
};

bool near(const Rgb& p, int r, int g, int b, int tolerance) {
  return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
         std::abs(p.b - b) <= tolerance;
}

TEST_F(Launcher, DrawsTheControlsWithTheirState) {
  // Artwork: the gradient's dark blue top and purple bottom.
  const LauncherRect art = LauncherLayout::rect(LauncherControl::Artwork);
  EXPECT_TRUE(near(pixel(static_cast<int>(art.x + 3), static_cast<int>(art.y + 2)), 18, 24, 64, 8));
  const Rgb bottom = pixel(static_cast<int>(art.x + 3), static_cast<int>(art.y + art.h - 3));
  EXPECT_TRUE(near(bottom, 140, 60, 120, 8)) << bottom.r << "," << bottom.g << "," << bottom.b;
  // Run is the blue default button; Close has the plain button colour.
  const auto runBlue = [](const Rgb& p) { return near(p, 46, 110, 200, 3); };
  EXPECT_GT(count(LauncherControl::Run, runBlue), 1000);
  EXPECT_EQ(count(LauncherControl::Close, runBlue), 0);
  // Check marks: full screen and vsync are checked, the others are not.
  const auto mark = [](const Rgb& p) { return p.b > 200 && p.r < 120 && p.g > 110; };
  EXPECT_GT(count(LauncherControl::FullScreen, mark), 5);
  EXPECT_GT(count(LauncherControl::VSync, mark), 5);
  EXPECT_EQ(count(LauncherControl::BigScreen, mark), 0);
  EXPECT_EQ(count(LauncherControl::AlwaysOnTop, mark), 0);
  EXPECT_EQ(count(LauncherControl::LowQuality, mark), 0);
  // Each list shows a highlighted (selected) row and text.
  const auto highlight = [](const Rgb& p) { return p.b > p.r + 40 && p.b > 70; };
  const auto text = [](const Rgb& p) { return p.r > 200 && p.g > 200 && p.b > 200; };
  for (LauncherControl c : {LauncherControl::ResolutionList, LauncherControl::AspectList,
                            LauncherControl::SampleList}) {
    EXPECT_GT(count(c, highlight), 100) << static_cast<int>(c);
    EXPECT_GT(count(c, text), 20) << static_cast<int>(c);
  }
  // The always-on-top label is dimmed (disabled) while full screen is checked.
  EXPECT_EQ(count(LauncherControl::AlwaysOnTop, text), 0);
  EXPECT_GT(count(LauncherControl::LowQuality, text), 20);
}

TEST_F(Launcher, RealClicksReachTheDialog) {
  EXPECT_EQ(clickControl(LauncherControl::FullScreen), LauncherAction::None);
  EXPECT_FALSE(dialog.fullScreen());
  EXPECT_TRUE(dialog.alwaysOnTopEnabled());
  clickControl(LauncherControl::AlwaysOnTop);
  EXPECT_TRUE(dialog.alwaysOnTop());
  // A click on a list row selects it: 640 x 480 is the first row.
  const LauncherRect list = LauncherLayout::rect(LauncherControl::ResolutionList);
  // Scroll the list to its top first.
  int wx = 0, wy = 0;
  platform::windowPosition(window.handle(), wx, wy);
  runCommand("xdotool mousemove " + std::to_string(wx + static_cast<int>(list.x + 20)) + " " +
             std::to_string(wy + static_cast<int>(list.y + 20)) + " click 4 click 4 click 4");
  frames(4);
  click(list.x + 20, list.y + 8);
  EXPECT_EQ(dialog.resolutionRow(), 0);
  EXPECT_EQ(clickControl(LauncherControl::Close), LauncherAction::Close);
  EXPECT_EQ(clickControl(LauncherControl::Run), LauncherAction::Run);
  const DisplaySettings s = dialog.run();
  EXPECT_EQ(s.screenWidth, 640);
  EXPECT_FALSE(s.fullScreen);
  EXPECT_TRUE(s.alwaysOnTop);
  EXPECT_EQ(s.aspectWidth, 4);
}

// Dragging the dialog needs a window manager: a private display with openbox.
class LauncherUnderAWindowManager : public Launcher {
 protected:
  bool windowManager() const override { return true; }
  // Drags from a dialog point by (dx, dy) with the button held.
  void drag(int x, int y, int dx, int dy, bool windowMoves) {
    std::string why;
    EXPECT_TRUE(testing_support::dragPointer(SDL_GL_GetCurrentWindow(), step(), x, y, dx, dy,
                                             windowMoves, why))
        << why;
  }
};

TEST_F(LauncherUnderAWindowManager, EmptySpotsDragTheDialog) {
  int x0 = 0, y0 = 0;
  platform::windowPosition(window.handle(), x0, y0);
  drag(20, 20, 120, 60, true);  // the artwork is an empty spot
  int x1 = 0, y1 = 0;
  platform::windowPosition(window.handle(), x1, y1);
  EXPECT_EQ(x1 - x0, 120);
  EXPECT_EQ(y1 - y0, 60);
  // Dragging from a control does not move the dialog: the dialog sees it all.
  const LauncherRect list = LauncherLayout::rect(LauncherControl::AspectList);
  drag(static_cast<int>(list.x + 10), static_cast<int>(list.y + 10), 80, 40, false);
  int x2 = 0, y2 = 0;
  platform::windowPosition(window.handle(), x2, y2);
  EXPECT_EQ(x2, x1);
  EXPECT_EQ(y2, y1);
}

}  // namespace
