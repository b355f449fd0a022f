#include "support/x_display.h"

#include <SDL.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "support/support.h"
// Last: the X11 headers define macros (None, ...) that clash with names above.
#include <SDL_syswm.h>

namespace testing_support {

namespace {

std::string moveTo(int x, int y) {
  return " mousemove " + std::to_string(x) + " " + std::to_string(y);
}

// The program has seen the pointer at client point (x, y).
bool pointerAt(SDL_Window* window, int x, int y) {
  int mx = 0, my = 0;
  SDL_GetMouseState(&mx, &my);
  return SDL_GetMouseFocus() == window && mx == x && my == y;
}

bool leftHeld() { return (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0; }

bool windowAt(SDL_Window* window, int x, int y) {
  int wx = 0, wy = 0;
  SDL_GetWindowPosition(window, &wx, &wy);
  return wx == x && wy == y;
}

}  // namespace

bool stepUntil(const Step& step, const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step();
  }
  return true;
}

unsigned long xWindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

std::string xwininfo(unsigned long id) {
  return runCommand("xwininfo -id " + std::to_string(id)).stdOut;
}

long xwininfoField(const std::string& report, const std::string& key) {
  const size_t at = report.find(key + ":");
  if (at == std::string::npos) return LONG_MIN;
  return std::strtol(report.c_str() + at + key.size() + 1, nullptr, 10);
}

bool waitUntilPlaced(SDL_Window* window, const Step& step, bool windowManager, std::string& why) {
  const unsigned long id = xWindowOf(window);
  if (!id) {
    why = "not an X11 window";
    return false;
  }
  return stepUntil(step, [&] {
    why = xwininfo(id);
    if (why.find("IsViewable") == std::string::npos) return false;
    if (windowManager) {
      const std::string state = runCommand("xprop -id " + std::to_string(id) + " WM_STATE").stdOut;
      if (state.find("Normal") == std::string::npos) {
        why += state;
        return false;
      }
    }
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    return xwininfoField(why, "Absolute upper-left X") == x &&
           xwininfoField(why, "Absolute upper-left Y") == y && xwininfoField(why, "Width") == w &&
           xwininfoField(why, "Height") == h;
  });
}

bool waitForFocus(SDL_Window* window, const Step& step) {
  if (!stepUntil(step, [window] { return SDL_GetKeyboardFocus() == window; })) return false;
  // SDL drops a click that arrives within 10 ms of the focus.
  const Uint32 focused = SDL_GetTicks();
  return stepUntil(step, [focused] { return SDL_GetTicks() - focused > 20; });
}

bool dragPointer(SDL_Window* window, const Step& step, int x, int y, int dx, int dy,
                 bool windowMoves, std::string& why) {
  int wx = 0, wy = 0;
  SDL_GetWindowPosition(window, &wx, &wy);
  runCommand("xdotool" + moveTo(wx + x, wy + y));
  if (!stepUntil(step, [&] { return pointerAt(window, x, y); })) {
    why = "the program never saw the pointer at the start";
    return false;
  }
  runCommand("xdotool mousedown 1");
  if (windowMoves) {
    // The window manager starts the move once the program has handed it the
    // press, and motion before that is lost: the pointer steps beside the
    // target and back until the window has followed it there. The program
    // hears of the new place only when the move ends, so the server is asked.
    const unsigned long id = xWindowOf(window);
    const auto serverHasItThere = [&] {
      const std::string info = xwininfo(id);
      return xwininfoField(info, "Absolute upper-left X") == wx + dx &&
             xwininfoField(info, "Absolute upper-left Y") == wy + dy;
    };
    const auto start = std::chrono::steady_clock::now();
    bool moved = false;
    while (!moved && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
      runCommand("xdotool" + moveTo(wx + x + dx - 1, wy + y + dy) + moveTo(wx + x + dx, wy + y + dy));
      moved = stepUntil(step, serverHasItThere, 300);
    }
    runCommand("xdotool mouseup 1");
    if (!moved) {
      why = "the window did not follow the pointer";
      return false;
    }
    // The move ends with the release: then the program is told.
    if (!stepUntil(step, [&] { return windowAt(window, wx + dx, wy + dy); })) {
      why = "the program never heard where the window went";
      return false;
    }
    return true;
  }
  if (!stepUntil(step, leftHeld)) {
    why = "the press never reached the program";
    return false;
  }
  runCommand("xdotool" + moveTo(wx + x + dx, wy + y + dy));
  const bool moved = stepUntil(step, [&] {
    int mx = 0, my = 0;
    SDL_GetMouseState(&mx, &my);
    return mx == x + dx && my == y + dy;
  });
  runCommand("xdotool mouseup 1");
  if (!moved) {
    why = "the program never saw the pointer move with the button held";
    return false;
  }
  if (!stepUntil(step, [] { return !leftHeld(); })) {
    why = "the release never reached the program";
    return false;
  }
  return true;
}

}  // namespace testing_support
