// The launcher dialog: the command line's choices that pre-fill it, its
// logic (lists, selection, the options' interplay, the settings Run hands
// back), its layout and artwork, and the ImGui view that draws it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"

struct Resolution {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Resolution& o) const { return width == o.width && height == o.height; }
};

// Command-line choices that pre-fill the dialog; unset ones keep the dialog's
// own defaults and preselection.
struct LaunchOptions {
  std::optional<Resolution> resolution;
  std::optional<Resolution> aspect;
  std::optional<int32_t> sampleCount;
  bool windowed = false;
  bool lowQuality = false;
  bool noVSync = false;
  bool bigScreen = false;
  bool alwaysOnTop = false;
  bool loop = false;
  int display = 0;
  bool skipLauncher = false;  // --run
  bool headless = false;      // no display needed: SDL's offscreen driver
  bool offscreen = false;     // the offscreen driver even with a display
};

// What the dialog hands back on Run: the settings record's fields.
struct DisplaySettings {
  int32_t screenWidth = 800;
  int32_t screenHeight = 600;
  int32_t aspectWidth = 16;
  int32_t aspectHeight = 9;
  bool fullScreen = true;
  bool vSync = true;
  int32_t sampleCount = 0;
  bool alwaysOnTop = false;
  bool bigScreen = false;
  bool lowQuality = false;
  bool loopShow = false;
  int display = 0;  // the monitor the window opens on
};

// The launcher's logic: list contents, selection, the option interplay and
// the results of Run. It knows nothing of windows, so tests drive it alone;
// the ImGui view only renders it and forwards clicks.
class LauncherDialog {
 public:
  static constexpr int kColourDepthBytes = 4;  // "32-bit" modes
  static const Resolution kAspects[4];         // 4:3, 16:9, 16:10, 5:4
  static const int32_t kSampleCounts[4];       // 0, 2, 4, 8

  // `modes` as the display enumerates them; `desktop` its current size.
  LauncherDialog(const std::vector<platform::DisplayMode>& modes, Resolution desktop);

  const std::vector<Resolution>& resolutions() const { return mResolutions; }
  std::vector<std::string> resolutionLabels() const;  // "%d x %d"
  static std::vector<std::string> aspectLabels();     // "%d : %d"
  static std::vector<std::string> sampleLabels();     // "none", "x %d"

  // Selected rows; -1 only for the empty resolution list.
  int resolutionRow() const { return mResolutionRow; }
  int aspectRow() const { return mAspectRow; }
  int sampleRow() const { return mSampleRow; }
  void selectResolution(int row);
  void selectAspect(int row);
  void selectSamples(int row);  // ignored while the list is disabled

  bool fullScreen() const { return mFullScreen; }
  bool vSync() const { return mVSync; }
  bool bigScreen() const { return mBigScreen; }
  bool alwaysOnTop() const { return mAlwaysOnTop; }
  bool lowQuality() const { return mLowQuality; }
  bool alwaysOnTopEnabled() const { return !mFullScreen; }
  bool bigScreenEnabled() const { return mFullScreen; }
  bool samplesEnabled() const { return !mLowQuality; }

  // Check-box clicks, with the interplay of the boxes. Clicks on a disabled
  // box are ignored.
  void clickFullScreen();
  void clickVSync() { mVSync = !mVSync; }
  void clickBigScreen();
  void clickAlwaysOnTop();
  void clickLowQuality() { mLowQuality = !mLowQuality; }

  // Pre-fills the dialog from the command line. A resolution the display
  // does not list is added to the list so that it can be chosen.
  void applyOptions(const LaunchOptions& options);

  // Run's results. With an empty resolution list the built-in default
  // 800 x 600 is used.
  DisplaySettings run() const;

 private:
  std::vector<Resolution> mResolutions;
  int mResolutionRow = -1;
  int mAspectRow = 0;
  int mSampleRow = 0;
  bool mFullScreen = true;
  bool mVSync = true;
  bool mBigScreen = false;
  bool mAlwaysOnTop = false;
  bool mRememberedAlwaysOnTop = false;
  bool mLowQuality = false;
};

// The exact-ratio test of the dialog: 4:3, 5:4, 16:9 or 16:10 when
// width / height (single precision) equals one exactly.
std::optional<Resolution> exactAspect(int32_t width, int32_t height);

// The dialog's layout in pixels (dialog units scaled), for the view and for
// tests that click its controls.
struct LauncherRect {
  float x, y, w, h;
  bool contains(float px, float py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};
enum class LauncherControl {
  Artwork, ResolutionList, AspectList, SampleList, FullScreen, VSync, BigScreen, AlwaysOnTop,
  LowQuality, HomePage, Run, Close, Count
};
struct LauncherLayout {
  static constexpr float kScale = 2.0f;  // pixels per dialog unit
  static constexpr int kWidth = 344;     // 172 dialog units
  static constexpr int kHeight = 378;    // 189 dialog units
  static LauncherRect rect(LauncherControl control);
  // True for a point on no control: dragging there moves the dialog.
  static bool emptySpot(float x, float y);
};

// The artwork's colours (RGBA): the launcher paints them, and so does the
// program's icon.
struct LauncherArt {
  struct Rgba {
    uint8_t r, g, b, a;
  };
  static constexpr Rgba kSkyTop{18, 24, 64, 255};
  static constexpr Rgba kSkyBottom{140, 60, 120, 255};
  static constexpr Rgba kLetters{255, 214, 120, 255};
  static constexpr Rgba kMoon{255, 240, 200, 255};
  static constexpr Rgba kFrame{90, 90, 110, 255};
};

enum class LauncherAction { None, Run, Close, HomePage };
// Draws the dialog with Dear ImGui inside the current ImGui frame and applies
// the user's clicks to `dialog`; returns the button pressed this frame.
LauncherAction drawLauncher(LauncherDialog& dialog);
// The address the home-page button opens, and the button's text.
inline constexpr const char kHomePage[] = "https://example.org/";
inline constexpr const char kHomePageLabel[] = "example.org";
