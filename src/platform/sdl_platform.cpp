// SDL implementation of the platform layer's spine: fatal exit, message
// boxes, the event queue and the clocks.
#include "platform/platform.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {

bool displayPresent() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

bool headlessRequested() {
  const char* h = std::getenv("VESPER_HEADLESS");
  return h && std::strcmp(h, "1") == 0;
}

// -1: not decided yet, so the first query reads the environment. Kept as a
// plain int so fatal exits during static construction need no constructor.
int gBoxesEnabled = -1;

bool quitCodeEventRegistered = false;
Uint32 quitCodeEvent = 0;

class SdlEvents final : public EventSource {
 public:
  bool poll(Event& out) override {
    SDL_Event e;
    if (!SDL_WasInit(SDL_INIT_EVENTS) || !SDL_PollEvent(&e)) return false;
    out = Event{};
    if (e.type == SDL_QUIT) {
      out.type = EventType::Quit;
    } else if (quitCodeEventRegistered && e.type == quitCodeEvent) {
      out.type = EventType::Quit;
      out.exitCode = e.user.code;
    } else if (e.type == SDL_KEYDOWN) {
      out.type = EventType::KeyDown;
      out.key = e.key.keysym.sym == SDLK_ESCAPE ? KeyEscape : KeyOther;
      // Alt+F4 arrives as a plain key press when no window manager runs.
      if (e.key.keysym.sym == SDLK_F4 && (e.key.keysym.mod & KMOD_ALT)) postQuit(0);
    } else {
      out.type = EventType::Other;
    }
    return true;
  }
  void dispatch(const Event&) override {}
};

}  // namespace

void fatalExit(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  if (messageBoxesEnabled()) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Fatal Application Exit", text, nullptr);
  }
  _exit(3);
}

void messageBox(const char* caption, const char* text) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
  if (messageBoxesEnabled()) {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption, text, nullptr);
  }
}

void setMessageBoxesEnabled(bool enabled) { gBoxesEnabled = enabled ? 1 : 0; }

bool messageBoxesEnabled() {
  if (gBoxesEnabled < 0) gBoxesEnabled = (displayPresent() && !headlessRequested()) ? 1 : 0;
  return gBoxesEnabled == 1;
}

EventSource& systemEvents() {
  static SdlEvents events;
  if (!SDL_WasInit(SDL_INIT_EVENTS)) SDL_InitSubSystem(SDL_INIT_EVENTS);
  return events;
}

void postQuit(int32_t exitCode) {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) SDL_InitSubSystem(SDL_INIT_EVENTS);
  if (!quitCodeEventRegistered) {
    quitCodeEvent = SDL_RegisterEvents(1);
    quitCodeEventRegistered = quitCodeEvent != static_cast<Uint32>(-1);
  }
  SDL_Event e;
  SDL_zero(e);
  if (quitCodeEventRegistered) {
    e.type = quitCodeEvent;
    e.user.code = exitCode;
  } else {
    e.type = SDL_QUIT;
  }
  SDL_PushEvent(&e);
}

uint32_t ticksMs() { return SDL_GetTicks(); }
uint64_t performanceCounter() { return SDL_GetPerformanceCounter(); }
uint64_t performanceFrequency() { return SDL_GetPerformanceFrequency(); }

}  // namespace platform
