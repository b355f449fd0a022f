// Application shell: launcher dialog and settings record, system manager with
// the render window and its GL context, and the flag, profile, message and
// application managers. Each manager is a single static object reached
// through instance(). Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "core/core.h"
#include "demo/show_host.h"
#include "demo/show_options.h"
#include "platform/window.h"
#include "render/render.h"

// ---------------------------------------------------------------------------
// Launcher dialog.

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

// ---------------------------------------------------------------------------
// Command line.

// An offline capture's choices (--capture DIR and/or --video FILE, --fps R
// [--from] [--to] [--first-frame] [--frames] [--count-frames] [--dry-run]).
// Paths are as given on the command line.
struct CaptureOptions {
  std::string dir;                 // empty: the frames go straight to ffmpeg

  FrameRate rate;
  uint32_t fromMs = 0;
  std::optional<uint32_t> toMs;    // unset: the music's end
  uint64_t firstFrame = 0;         // a part of the capture starts here
  std::optional<uint64_t> frames;  // unset: to the range's end
  std::string video;               // empty: frames and music only
  bool countOnly = false;          // print the frame count, capture nothing
  bool dryRun = false;             // render and read back, write nothing
};

// The parsed command line. With `exit` set the program prints `text`
// (stdout when the status is 0, else stderr) and ends with `exitStatus`:
// --help and --version (0), or a one-line usage error (1).
struct CommandLine {
  bool exit = false;
  int exitStatus = 0;
  std::string text;

  bool version = false;  // --version: main adds the production found
  std::string dataDir;   // empty: looked up by findProduction
  LaunchOptions options;
  uint32_t startMs = 0;  // --start
  std::optional<CaptureOptions> capture;
};
CommandLine parseCommandLine(int argc, const char* const* argv);

// The production's directory: `dataDir` alone when given, otherwise the
// working directory, $XDG_DATA_HOME/vesper, each $XDG_DATA_DIRS entry's
// vesper/ and the install prefix's share/vesper; the first holding
// vesper.pak wins.
struct ProductionSearch {
  std::string found;                  // empty: none holds vesper.pak
  std::vector<std::string> searched;  // in order
  std::string report() const;         // the places searched, for stderr
};
ProductionSearch findProduction(const std::string& dataDir);

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

// ---------------------------------------------------------------------------
// Render window.

// A borderless top-level window. Owns its platform window; restores the
// saved gamma ramp and leaves full screen when destroyed.
class CWindow {
 public:
  CWindow() = default;
  virtual ~CWindow();
  // Client size `width` x `height` at (x, y), hidden until shown. Shows the
  // "Error" message box and returns false on failure.
  virtual bool Create(const char* title, int x, int y, int width, int height);

  bool setFullScreen(bool on);
  // Full screen only: clamps to [0, 2] and sets the ramp ((i+1)/256)^(2-gamma).
  bool setGamma(float gamma);
  // The ramp setGamma computes for `gamma` (already clamped).
  static void gammaTable(float gamma, uint16_t ramp[3][256]);

  platform::WindowHandle handle() const { return mWindow; }
  uint16_t clientWidth() const { return mWidth; }
  uint16_t clientHeight() const { return mHeight; }
  bool isFullScreen() const { return mFullScreen; }
  float gamma() const { return mGamma; }
  bool hasSavedGamma() const { return mHasSavedGamma; }
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

 protected:
  platform::WindowHandle mWindow = nullptr;
  uint16_t mWidth = 0;
  uint16_t mHeight = 0;
  bool mFullScreen = false;
  int mSavedX = 0;
  int mSavedY = 0;
  uint16_t mSavedGamma[3][256] = {};
  bool mHasSavedGamma = false;
  float mGamma = 1.0f;
};

// A CWindow with an OpenGL context.
class CWindowGL : public CWindow {
 public:
  CWindowGL() = default;
  ~CWindowGL() override;
  bool createGLContext();
  bool makeCurrent();
  platform::GlContextHandle context() const { return mContext; }

 private:
  platform::GlContextHandle mContext = nullptr;
};

// ---------------------------------------------------------------------------
// Managers.

class systemManager : public Interface<systemManager>, public ScreenSizeSource {
  VESPER_DECLARE_DYNAMIC(systemManager)
 public:
  static systemManager& instance();
  uint16_t getPriority() const override { return 2; }
  bool initialize() override;
  bool terminate() override;
  bool update() override;

  virtual bool isPaused() const { return mPaused; }
  virtual void pause() { mPaused = true; }
  virtual void resume() { mPaused = false; }
  virtual void stepFrame() {
    if (mPaused) mStepRequested = true;
  }

  // The render window; null before initialize and after terminate.
  CWindowGL* window() const { return mWindow.get(); }
  // The render window's client size; false without a window.
  bool screenSize(uint32_t& width, uint32_t& height) const override;
  // Destroys the render window (restoring gamma and the display mode);
  // for a start-up that failed after the window was opened.
  void releaseWindow();
  // Frames counted in the last whole second (the frame-rate counter).
  uint32_t framesPerSecond() const { return mFramesPerSecond; }

  // Set by the first Escape; the demo manager then runs its ending.
  bool exitRequested = false;

  // Listeners: a null object is never called.
  struct Listener {
    void* object = nullptr;
    void (*keyUp)(void*, int32_t) = nullptr;
    void (*wheel)(void*, int32_t) = nullptr;
    void (*mouseMove)(void*, int16_t, int16_t) = nullptr;
    void (*button)(void*, int16_t, int16_t, int32_t) = nullptr;
  };
  Listener keyUpListener, wheelListener, mouseMoveListener, buttonDownListener, buttonUpListener;

 private:
  bool mPaused = false;
  bool mStepRequested = false;
  std::unique_ptr<CWindowGL> mWindow;
  platform::InputHandler mInput;
  uint32_t mFrameCount = 0;
  uint32_t mFramesPerSecond = 0;
  uint32_t mLastRateTime = 0;
};

// The settings record is the DisplaySettings base: other managers read its
// fields directly (settingsManager::instance().screenWidth, ...).
class settingsManager : public Interface<settingsManager>, public DisplaySettings {
  VESPER_DECLARE_DYNAMIC(settingsManager)
 public:
  static settingsManager& instance();
  uint16_t getPriority() const override { return 1; }
  // Shows the launcher (or takes its preselection with --run) and fills the
  // record; false on Close.
  bool initialize() override;

  // The command line's choices; set by the entry point before initialisation.
  LaunchOptions options;
  // The display modes the launcher offered.
  std::vector<Resolution> resolutions;

 private:
  void store(const DisplaySettings& s);
};

class flagManager : public Interface<flagManager> {
  VESPER_DECLARE_DYNAMIC(flagManager)
 public:
  static flagManager& instance();
  bool initialize() override;
  bool update() override;

  virtual void addFlag(const char* name, int32_t value);
  virtual bool isFlagSet(const char* name) const;
  virtual void enableFlag(const char* name) { setFlagValue(name, 1); }
  virtual void disableFlag(const char* name) { setFlagValue(name, 0); }
  virtual void setFlagValue(const char* name, int32_t value);
  virtual int32_t getFlagValue(const char* name) const;
  uint32_t lastSeenCount() const { return mLastSeenCount; }

 private:
  // Transparent comparison: lookups by C string build no temporary string.
  std::map<std::string, int32_t, std::less<>> mFlags;
  uint32_t mLastSeenCount = 0;
};

class profileManager : public Interface<profileManager> {
  VESPER_DECLARE_DYNAMIC(profileManager)
 public:
  profileManager();
  static profileManager& instance();
  bool beginFrame() override;
  bool endFrame() override;
  // Milliseconds of the last frame's work; 0 before the first frame.
  float frameTime() const { return mFrameTime; }

 private:
  int64_t mFrameStart = 0;
  float mFrameTime = 0.0f;
};

class messageManager : public Interface<messageManager> {
  VESPER_DECLARE_DYNAMIC(messageManager)
 public:
  static messageManager& instance();
  uint16_t getPriority() const override { return 32; }
};

class applicationManager : public Interface<applicationManager> {
  VESPER_DECLARE_DYNAMIC(applicationManager)
 public:
  static applicationManager& instance();
};

class demoManager;

// The show's host: the settings record, the system manager's window, input
// and exit request. Constructed right after the demo manager, it installs
// itself there.
class ApplicationShowHost final : public ShowHost {
 public:
  explicit ApplicationShowHost(demoManager& demo);
  Display display() const override;
  bool windowSize(uint32_t& width, uint32_t& height) const override;
  platform::WindowHandle window() const override;
  void setGamma(float gamma) override;
  void ignoreInput() override;
  bool exitRequested() const override;
  void setStartupExitStatus(int status) override;
};

// ---------------------------------------------------------------------------
// Offline capture over the frame loop.

// Before start-up, prepare checks the range against the show's music, creates
// the directory, and makes the show's options a capture's: its clock, no
// music player (no sound device), the range's start. Once the window exists, begin allocates the frame
// buffers (and, with a video but no directory, writes the range's music
// beside the video and starts ffmpeg); from then on each frame of the show is
// read back before the swap and written by the PNG workers or piped into
// ffmpeg. When a write fails the show ends. finish, after the frame loop,
// waits for the frames and writes music.wav and the video. Main thread only.
class CaptureSession {
 public:
  explicit CaptureSession(const CaptureOptions& options);
  // Detaches the frame observer.
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // In the data directory, before initializeAll: reads `show`'s music and
  // sets its clock (owned here: the session outlives the show), music and
  // start. False with a one-line reason.
  bool prepare(ShowOptions& show, std::string& reason);
  // The frames this run captures (once prepared).
  uint64_t frames() const;
  // After initializeAll. False with a one-line reason.
  bool begin(std::string& reason);
  // The exit status: 0 when every frame, the music and the video were
  // written; otherwise 1 after a one-line reason on stderr.
  int finish();

 private:
  struct State;
  std::unique_ptr<State> mState;
};

// A start-up that fails ends the program without a termination pass. A
// manager whose initialize fails for a reason the user must see writes one
// line to stderr and records the exit status here (0, the default, is a
// plain Close of the launcher).
void setStartupExitStatus(int status);
int startupExitStatus();
// After a failed initialisation: undoes what outlives the process on Linux
// (display mode, gamma ramp) by closing the render window and the video
// subsystem. Managers are not terminated.
void abandonStartup();

// The five managers the frame driver calls, as the live instances.
FrameManagers engineFrameManagers();
