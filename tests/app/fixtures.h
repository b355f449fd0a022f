// Fixtures of the application-shell tests that need a display.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "platform/platform.h"
#include "support/support.h"

namespace testing_support {

// A private Xvfb (optionally with the openbox window manager) for tests that
// move the pointer, click or drag: other tests sharing a display cannot steal
// their clicks. Must be created before the process starts SDL video.
class PrivateDisplay {
 public:
  explicit PrivateDisplay(bool windowManager) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (const char* d = std::getenv("DISPLAY")) mPrevious = d;
    for (int n = 150 + static_cast<int>(getpid() % 200); n < 400 && mDisplay.empty(); ++n) {
      const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      if (access(sock.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
      const std::string name = ":" + std::to_string(n);
      mXvfb = spawn({"Xvfb", name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"});
      for (int i = 0; i < 100 && access(sock.c_str(), F_OK) != 0; ++i) usleep(20000);
      if (access(sock.c_str(), F_OK) != 0) {
        stop(mXvfb);
        continue;
      }
      mDisplay = name;
    }
    if (mDisplay.empty()) return;
    setenv("DISPLAY", mDisplay.c_str(), 1);
    if (windowManager) {
      mWm = spawn({"openbox"});
      // Ready once the manager announces itself on the root window.
      for (int i = 0; i < 100; ++i) {
        if (runCommand("xprop -root _NET_SUPPORTING_WM_CHECK").stdOut.find("window id") !=
            std::string::npos) {
          break;
        }
        usleep(50000);
      }
    }
  }
  // Later tests in the same process get the display they started with.
  ~PrivateDisplay() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    stop(mWm);
    stop(mXvfb);
    if (mDisplay.empty()) return;
    if (mPrevious.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", mPrevious.c_str(), 1);
    }
  }
  bool ok() const { return !mDisplay.empty(); }
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;

 private:
  static pid_t spawn(std::initializer_list<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }
  static void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  std::string mDisplay;
  std::string mPrevious;
  pid_t mXvfb = -1;
  pid_t mWm = -1;
};

// A working directory holding a small valid vesper.pak, for starting the
// system manager; the previous directory comes back on destruction. Stops a
// system manager started with start().
class PackDirectory {
 public:
  PackDirectory() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return;
    makePack(mDir.file("vesper.pak"), {{"data\\a.txt", bytes("a")}});
    if (chdir(mDir.path().c_str()) == 0) mPrevious = buf;
  }
  ~PackDirectory() {
    if (systemManager::instance().window()) systemManager::instance().terminate();
    if (!mPrevious.empty()) {
      EXPECT_EQ(chdir(mPrevious.c_str()), 0);
    }
  }
  bool ok() const { return !mPrevious.empty(); }
  // Runs the system manager's start-up with these display settings.
  static bool start(bool fullScreen, int width, int height, bool bigScreen = false) {
    settingsManager& s = settingsManager::instance();
    s.fullScreen = fullScreen;
    s.screenWidth = width;
    s.screenHeight = height;
    s.vSync = false;
    s.bigScreen = bigScreen;
    return systemManager::instance().initialize();
  }
  PackDirectory(const PackDirectory&) = delete;
  PackDirectory& operator=(const PackDirectory&) = delete;

 private:
  TempDir mDir;
  std::string mPrevious;
};

// Drains the system event queue, dispatching to the listeners, then pauses
// briefly: one turn of the program's event loop.
inline void pumpOnce() {
  platform::Event e;
  while (platform::systemEvents().poll(e)) platform::systemEvents().dispatch(e);
  platform::sleepMs(5);
}

}  // namespace testing_support
