// Internal to the SDL platform files: what a window handle holds.
#pragma once

#include <SDL.h>

#include <functional>

namespace platform {

struct NativeWindow {
  SDL_Window* sdl = nullptr;
  std::function<bool(int, int)> draggable;
  // The point the hit test was last asked about: for a press that starts a
  // drag, the press itself, which SDL then reports only as a hit test.
  SDL_Point lastHit{0, 0};
  // Those presses, oldest first, until the event queue hands them out.
  static constexpr unsigned kPressRing = 4;
  SDL_Point presses[kPressRing] = {};
  unsigned firstPress = 0;
  unsigned pressCount = 0;
};

// The client point of the oldest left press that started a drag of the
// window `windowId` (the press SDL swallows, reporting a hit test instead);
// false when there is none.
bool takeDragPress(Uint32 windowId, int& x, int& y);

}  // namespace platform
