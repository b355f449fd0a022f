// Internal to the SDL platform files: what a window handle holds.
#pragma once

#include <SDL.h>

#include <functional>

namespace platform {

struct NativeWindow {
  SDL_Window* sdl = nullptr;
  std::function<bool(int, int)> draggable;
};

}  // namespace platform
