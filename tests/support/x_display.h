// Helpers for tests that drive a real X display: they ask the server
// (xwininfo, xprop) and press and move the pointer (xdotool), and wait on
// what the program and the window manager report rather than on the clock.
// `step` is one turn of the program's event loop; every wait runs it.
#pragma once

#include <functional>
#include <string>

struct SDL_Window;

namespace testing_support {

using Step = std::function<void()>;

// Runs `step` until `done` answers true or `timeoutMs` passes; done()'s last answer.
bool stepUntil(const Step& step, const std::function<bool()>& done, int timeoutMs = 30000);

// The X window of an SDL window; 0 when it is not on X11.
unsigned long xWindowOf(SDL_Window* window);
// xwininfo's report of an X window, as "key: value" lines.
std::string xwininfo(unsigned long id);
// A number from such a report; LONG_MIN when the key is missing.
long xwininfoField(const std::string& report, const std::string& key);

// Waits until the window is viewable, managed when `windowManager` runs, and
// the program's idea of its place and size matches the server's. False, with
// the last report in `why`, after the timeout.
bool waitUntilPlaced(SDL_Window* window, const Step& step, bool windowManager, std::string& why);

// Waits until the program has the keyboard focus and will take clicks.
bool waitForFocus(SDL_Window* window, const Step& step);

// Presses the left button at client point (x, y), moves the pointer by
// (dx, dy) and releases it. With `windowMoves` the window manager must move
// the window along (the program handed it the press); without, the program
// must see the press, the move and the release itself. False with `why`.
bool dragPointer(SDL_Window* window, const Step& step, int x, int y, int dx, int dy,
                 bool windowMoves, std::string& why);

}  // namespace testing_support
