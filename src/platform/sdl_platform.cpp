// SDL implementation of the platform layer's spine: fatal exit, message
// boxes, the event queue and the clocks.
#include "platform/platform.h"
#include "platform/sdl_internal.h"
#include "platform/window.h"
#include "platform/x11_display.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {

bool headlessRequested() {
  const char* h = std::getenv("VESPER_HEADLESS");
  return h && std::strcmp(h, "1") == 0;
}

// -1: not decided yet, so the first query reads the environment. Kept as a
// plain int so fatal exits during static construction need no constructor.
int gBoxesEnabled = -1;

const InputHandler* gInputHandler = nullptr;

// The engine's key numbering (platform.h): upper-case letters, digits,
// function keys from 0x70, the named keys; other keys keep SDL's code.
int32_t engineKey(SDL_Keycode sym) {
  if (sym >= SDLK_a && sym <= SDLK_z) return static_cast<int32_t>(sym - SDLK_a + 'A');
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return static_cast<int32_t>(KeyF1 + (sym - SDLK_F1));
  switch (sym) {
    case SDLK_ESCAPE: return KeyEscape;
    case SDLK_PAGEUP: return KeyPageUp;
    case SDLK_PAGEDOWN: return KeyPageDown;
    case SDLK_END: return KeyEnd;
    case SDLK_HOME: return KeyHome;
    case SDLK_LEFT: return KeyLeft;
    case SDLK_UP: return KeyUp;
    case SDLK_RIGHT: return KeyRight;
    case SDLK_DOWN: return KeyDown;
    case SDLK_COMMA: return KeyComma;
    case SDLK_PERIOD: return KeyPeriod;
    case SDLK_LEFTBRACKET: return KeyLeftBracket;
    case SDLK_RIGHTBRACKET: return KeyRightBracket;
    default: return static_cast<int32_t>(sym);
  }
}

int32_t engineButton(Uint8 button) {
  if (button == SDL_BUTTON_RIGHT) return 1;
  if (button == SDL_BUTTON_MIDDLE) return 2;
  return 0;
}

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
      out.key = engineKey(e.key.keysym.sym);
      if (e.key.keysym.mod & KMOD_SHIFT) out.keyFlags |= KeyFlagShift;
      if (e.key.repeat) out.keyFlags |= KeyFlagRepeat;
      // Alt+F4 arrives as a plain key press when no window manager runs.
      if (e.key.keysym.sym == SDLK_F4 && (e.key.keysym.mod & KMOD_ALT)) postQuit(0);
    } else if (e.type == SDL_KEYUP) {
      out.type = EventType::KeyUp;
      out.key = engineKey(e.key.keysym.sym);
    } else if (e.type == SDL_MOUSEMOTION) {
      out.type = EventType::MouseMove;
      out.x = static_cast<int16_t>(e.motion.x);
      out.y = static_cast<int16_t>(e.motion.y);
    } else if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP) {
      out.type = e.type == SDL_MOUSEBUTTONDOWN ? EventType::ButtonDown : EventType::ButtonUp;
      out.x = static_cast<int16_t>(e.button.x);
      out.y = static_cast<int16_t>(e.button.y);
      out.button = engineButton(e.button.button);
    } else if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_HIT_TEST) {
      // A left press on a drag area: the window manager moves the window,
      // and the listeners still hear of the press.
      int x = 0, y = 0;
      if (takeDragPress(e.window.windowID, x, y)) {
        out.type = EventType::ButtonDown;
        out.x = static_cast<int16_t>(x);
        out.y = static_cast<int16_t>(y);
        out.button = 0;
      } else {
        out.type = EventType::Other;
      }
    } else if (e.type == SDL_MOUSEWHEEL) {
      out.type = EventType::Wheel;
      out.delta = e.wheel.y * 120;
    } else {
      out.type = EventType::Other;
    }
    return true;
  }
  void dispatch(const Event& e) override {
    const InputHandler* h = gInputHandler;
    if (!h) return;
    switch (e.type) {
      case EventType::KeyDown:
        if (h->keyDown) h->keyDown(h->user, e.key, e.keyFlags);
        break;
      case EventType::KeyUp:
        if (h->keyUp) h->keyUp(h->user, e.key);
        break;
      case EventType::MouseMove:
        if (h->mouseMove) h->mouseMove(h->user, e.x, e.y);
        break;
      case EventType::ButtonDown:
        if (h->buttonDown) h->buttonDown(h->user, e.x, e.y, e.button);
        break;
      case EventType::ButtonUp:
        if (h->buttonUp) h->buttonUp(h->user, e.x, e.y, e.button);
        break;
      case EventType::Wheel:
        if (h->wheel) h->wheel(h->user, e.delta);
        break;
      default:
        break;
    }
  }
};

}  // namespace

void fatalExit(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  // Nothing else runs before the exit: the display goes back here, before
  // the box, so the box shows on the desktop's own mode.
  x11RestoreDisplayState();
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
  if (gBoxesEnabled < 0) gBoxesEnabled = (displayAvailable() && !headlessRequested()) ? 1 : 0;
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

void setInputHandler(const InputHandler* handler) { gInputHandler = handler; }

uint32_t ticksMs() { return SDL_GetTicks(); }
uint64_t performanceCounter() { return SDL_GetPerformanceCounter(); }
uint64_t performanceFrequency() { return SDL_GetPerformanceFrequency(); }
void sleepMs(uint32_t ms) { SDL_Delay(ms); }

}  // namespace platform
