// Fixtures of the application-shell tests that need a display.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/managers.h"
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
    // Xvfb picks a free display number itself and writes it once it takes
    // connections; it closes the pipe if it fails.
    int ready[2];
    if (pipe(ready) != 0) return;
    mXvfb = spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1920x1080x24",
                   "-noreset", "-nolisten", "tcp"});
    close(ready[1]);
    const std::string number = readLine(ready[0], kStartMs);
    close(ready[0]);
    if (number.empty()) {
      stop(mXvfb);
      return;
    }
    mDisplay = ":" + number;
    setenv("DISPLAY", mDisplay.c_str(), 1);
    if (windowManager) {
      mWm = spawn({"openbox"});
      // Ready once the manager announces itself on the root window.
      mWmReady = false;
      for (int waited = 0; waited < kStartMs && !mWmReady && running(mWm); waited += 50) {
        mWmReady = runCommand("xprop -root _NET_SUPPORTING_WM_CHECK").stdOut.find("window id") !=
                   std::string::npos;
        if (!mWmReady) usleep(50000);
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
  // The display runs (and its window manager, if asked for).
  bool ok() const { return !mDisplay.empty() && mWmReady; }
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;

 private:
  static pid_t spawn(std::initializer_list<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      // The tests point the XDG data directories nowhere so that no installed
      // production is found; the servers need the system's (openbox's theme).
      unsetenv("XDG_DATA_HOME");
      unsetenv("XDG_DATA_DIRS");
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }
  // A line from `fd`, without its end; empty on end of file or after `ms`.
  static std::string readLine(int fd, int ms) {
    std::string line;
    const uint32_t end = platform::ticksMs() + static_cast<uint32_t>(ms);
    for (;;) {
      const int left = static_cast<int>(end - platform::ticksMs());
      pollfd p{fd, POLLIN, 0};
      char c = 0;
      if (left <= 0 || poll(&p, 1, left) <= 0 || read(fd, &c, 1) != 1) return {};
      if (c == '\n') return line;
      line += c;
    }
  }
  static bool running(pid_t& pid) {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) pid = -1;
    return pid > 0;
  }
  static void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  // Generous: a loaded machine starts servers slowly.
  static constexpr int kStartMs = 60000;
  std::string mDisplay;
  std::string mPrevious;
  bool mWmReady = true;
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
