// The application's managers: the system manager with the render window,
// input and exit request, the settings record, the flag, profile, message
// and application managers, the show's host, and the start-up status. Each
// manager is a single static object reached through instance(). Main thread
// only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "app/render_window.h"
#include "core/core.h"
#include "demo/show_host.h"
#include "platform/window.h"
#include "render/render.h"

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
  // Key presses, held keys repeating (platform::KeyFlag bits); a null
  // object is never called.
  struct KeyDownListener {
    void* object = nullptr;
    void (*keyDown)(void*, int32_t key, uint32_t flags) = nullptr;
  };
  KeyDownListener keyDownListener;

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
