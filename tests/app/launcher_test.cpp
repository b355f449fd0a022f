// Launcher dialog logic, driven without a display.
#include <gtest/gtest.h>

#include "app/launcher.h"

namespace {

using platform::DisplayMode;

std::vector<DisplayMode> desktopModes() {
  // Driver order is arbitrary; 2-byte modes and repeats (refresh rates) occur.
  return {{1920, 1080, 4}, {1280, 1024, 4}, {800, 600, 4}, {1920, 1080, 4}, {1024, 768, 2},
          {1366, 768, 4},  {640, 480, 4},   {1280, 720, 4}, {1280, 1024, 4}, {1024, 768, 4},
          {1360, 768, 4},  {320, 200, 3}};
}

std::vector<Resolution> expectedList() {
  return {{640, 480},  {800, 600},   {1024, 768},  {1280, 720},
          {1280, 1024}, {1360, 768}, {1366, 768}, {1920, 1080}};
}

TEST(LauncherDialog, KeepsFourByteModesOnceSortedByWidthThenHeight) {
  const LauncherDialog d(desktopModes(), Resolution{1920, 1080});
  EXPECT_EQ(d.resolutions(), expectedList());
  const std::vector<std::string> labels = d.resolutionLabels();
  ASSERT_EQ(labels.size(), 8u);
  EXPECT_EQ(labels.front(), "640 x 480");
  EXPECT_EQ(labels.back(), "1920 x 1080");
  EXPECT_EQ(LauncherDialog::aspectLabels(),
            (std::vector<std::string>{"4 : 3", "16 : 9", "16 : 10", "5 : 4"}));
  EXPECT_EQ(LauncherDialog::sampleLabels(), (std::vector<std::string>{"none", "x 2", "x 4", "x 8"}));
}

TEST(LauncherDialog, PreselectsTheDesktopModeAndItsExactAspect) {
  struct Case {
    Resolution desktop;
    Resolution mode;
    Resolution aspect;
  };
  const Case cases[] = {
      {{1920, 1080}, {1920, 1080}, {16, 9}},
      {{1280, 1024}, {1280, 1024}, {5, 4}},
      {{1366, 768}, {1366, 768}, {16, 9}},   // no exact ratio: 16:9 stays
      {{1024, 768}, {1024, 768}, {4, 3}},
      {{2560, 1600}, {1920, 1080}, {16, 10}},  // not listed: the largest mode
  };
  for (const Case& c : cases) {
    const LauncherDialog d(desktopModes(), c.desktop);
    ASSERT_GE(d.resolutionRow(), 0);
    EXPECT_EQ(d.resolutions()[static_cast<size_t>(d.resolutionRow())], c.mode)
        << c.desktop.width << "x" << c.desktop.height;
    EXPECT_EQ(LauncherDialog::kAspects[d.aspectRow()], c.aspect)
        << c.desktop.width << "x" << c.desktop.height;
    EXPECT_EQ(d.sampleRow(), 0);
  }
}

TEST(LauncherDialog, DefaultsAndRunInFullScreen) {
  const LauncherDialog d(desktopModes(), Resolution{1280, 720});
  EXPECT_TRUE(d.fullScreen());
  EXPECT_TRUE(d.vSync());
  EXPECT_FALSE(d.bigScreen());
  EXPECT_FALSE(d.alwaysOnTop());
  EXPECT_FALSE(d.lowQuality());
  EXPECT_FALSE(d.alwaysOnTopEnabled());
  EXPECT_TRUE(d.bigScreenEnabled());
  const DisplaySettings s = d.run();
  EXPECT_EQ(s.screenWidth, 1280);
  EXPECT_EQ(s.screenHeight, 720);
  EXPECT_EQ(s.aspectWidth, 16);
  EXPECT_EQ(s.aspectHeight, 9);
  EXPECT_TRUE(s.fullScreen);
  EXPECT_TRUE(s.vSync);
  EXPECT_EQ(s.sampleCount, 0);
  EXPECT_FALSE(s.loopShow);
}

TEST(LauncherDialog, WindowedRunTakesTheWindowsOwnExactRatio) {
  LauncherDialog d(desktopModes(), Resolution{1920, 1080});
  d.clickFullScreen();
  d.selectResolution(2);  // 1024 x 768
  d.selectAspect(1);      // 16:9
  DisplaySettings s = d.run();
  EXPECT_EQ(s.screenWidth, 1024);
  EXPECT_EQ(s.aspectWidth, 4);
  EXPECT_EQ(s.aspectHeight, 3);
  d.selectResolution(5);  // 1360 x 768: not exact
  s = d.run();
  EXPECT_EQ(s.screenWidth, 1360);
  EXPECT_EQ(s.aspectWidth, 16);
  EXPECT_EQ(s.aspectHeight, 9);
  // Full screen keeps the chosen aspect whatever the mode.
  d.clickFullScreen();
  d.selectResolution(2);
  d.selectAspect(2);
  s = d.run();
  EXPECT_EQ(s.aspectWidth, 16);
  EXPECT_EQ(s.aspectHeight, 10);
}

TEST(LauncherDialog, ExactAspectUsesSinglePrecision) {
  EXPECT_EQ(exactAspect(1280, 1024), (Resolution{5, 4}));
  EXPECT_EQ(exactAspect(1680, 1050), (Resolution{16, 10}));
  EXPECT_EQ(exactAspect(640, 360), (Resolution{16, 9}));
  EXPECT_FALSE(exactAspect(1366, 768).has_value());
  EXPECT_FALSE(exactAspect(1360, 768).has_value());
  EXPECT_FALSE(exactAspect(100, 0).has_value());
}

TEST(LauncherDialog, LowQualityForcesNoSamplesAndDisablesTheList) {
  LauncherDialog d(desktopModes(), Resolution{1920, 1080});
  d.selectSamples(3);
  EXPECT_EQ(d.run().sampleCount, 8);
  d.clickLowQuality();
  EXPECT_FALSE(d.samplesEnabled());
  EXPECT_EQ(d.sampleRow(), 3);  // the list still shows x 8
  DisplaySettings s = d.run();
  EXPECT_EQ(s.sampleCount, 0);
  EXPECT_TRUE(s.lowQuality);
  d.selectSamples(1);  // disabled list: ignored
  EXPECT_EQ(d.sampleRow(), 3);
  d.clickLowQuality();
  EXPECT_EQ(d.run().sampleCount, 8);
}

TEST(LauncherDialog, FullScreenAlwaysOnTopAndBigScreenInterplay) {
  LauncherDialog d(desktopModes(), Resolution{1920, 1080});
  d.clickAlwaysOnTop();  // disabled while full screen
  EXPECT_FALSE(d.alwaysOnTop());
  d.clickBigScreen();
  EXPECT_TRUE(d.bigScreen());

  d.clickFullScreen();  // windowed
  EXPECT_TRUE(d.alwaysOnTopEnabled());
  EXPECT_FALSE(d.bigScreenEnabled());
  d.clickBigScreen();  // disabled now: ignored
  EXPECT_TRUE(d.bigScreen());
  d.clickAlwaysOnTop();
  EXPECT_TRUE(d.alwaysOnTop());
  EXPECT_TRUE(d.run().alwaysOnTop);

  d.clickFullScreen();  // full screen again: disabled, cleared, remembered
  EXPECT_FALSE(d.alwaysOnTopEnabled());
  EXPECT_FALSE(d.alwaysOnTop());
  EXPECT_FALSE(d.run().alwaysOnTop);
  EXPECT_TRUE(d.bigScreenEnabled());

  d.clickFullScreen();  // windowed: the remembered check comes back
  EXPECT_TRUE(d.alwaysOnTop());
  d.clickAlwaysOnTop();
  d.clickFullScreen();
  d.clickFullScreen();
  EXPECT_FALSE(d.alwaysOnTop());
}

TEST(LauncherDialog, EmptyModeListFallsBackToTheDefaultSize) {
  // Only 3-byte modes: nothing is offered.
  LauncherDialog d({{1024, 768, 3}}, Resolution{1024, 768});
  EXPECT_TRUE(d.resolutions().empty());
  EXPECT_EQ(d.resolutionRow(), -1);
  d.selectResolution(0);  // out of range: ignored
  const DisplaySettings s = d.run();
  EXPECT_EQ(s.screenWidth, 800);
  EXPECT_EQ(s.screenHeight, 600);
  EXPECT_EQ(s.aspectWidth, 4);  // the desktop's exact ratio is still preselected
}

TEST(LauncherDialog, CommandLineOptionsPrefillTheDialog) {
  LauncherDialog d(desktopModes(), Resolution{1920, 1080});
  LaunchOptions o;
  o.resolution = Resolution{640, 360};  // not offered by the display
  o.windowed = true;
  o.alwaysOnTop = true;
  o.noVSync = true;
  o.sampleCount = 4;
  o.aspect = Resolution{4, 3};
  d.applyOptions(o);
  ASSERT_EQ(d.resolutions().size(), 9u);
  EXPECT_EQ(d.resolutions()[1], (Resolution{640, 480}));
  EXPECT_EQ(d.resolutions()[0], (Resolution{640, 360}));
  const DisplaySettings s = d.run();
  EXPECT_EQ(s.screenWidth, 640);
  EXPECT_EQ(s.screenHeight, 360);
  EXPECT_FALSE(s.fullScreen);
  EXPECT_TRUE(s.alwaysOnTop);
  EXPECT_FALSE(s.vSync);
  EXPECT_EQ(s.sampleCount, 4);
  EXPECT_EQ(s.aspectWidth, 16);  // windowed 640x360 is exactly 16:9
  // Always-on-top asked for in full screen waits for windowed mode.
  LauncherDialog f(desktopModes(), Resolution{1920, 1080});
  LaunchOptions fo;
  fo.alwaysOnTop = true;
  f.applyOptions(fo);
  EXPECT_FALSE(f.run().alwaysOnTop);
  f.clickFullScreen();
  EXPECT_TRUE(f.alwaysOnTop());
}

TEST(LauncherLayout, ControlsAreNotDragAreas) {
  const LauncherRect run = LauncherLayout::rect(LauncherControl::Run);
  EXPECT_FLOAT_EQ(run.x, 134.0f);
  EXPECT_FLOAT_EQ(run.y, 340.0f);
  EXPECT_FALSE(LauncherLayout::emptySpot(run.x + 1, run.y + 1));
  const LauncherRect list = LauncherLayout::rect(LauncherControl::ResolutionList);
  EXPECT_FALSE(LauncherLayout::emptySpot(list.x + list.w / 2, list.y + list.h / 2));
  // The artwork and the margins drag the dialog.
  EXPECT_TRUE(LauncherLayout::emptySpot(20, 20));
  EXPECT_TRUE(LauncherLayout::emptySpot(LauncherLayout::kWidth - 2, 2));
}

}  // namespace
