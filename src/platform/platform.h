// Platform layer: the only place that talks to SDL or the operating system.
// Everything above it is platform-free. This header covers the pieces the
// engine spine needs: fatal exit, message boxes, the event queue and clocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Fatal application exit: writes the text and a newline to stderr, shows it in
// a message box when boxes are enabled, then ends the process with status 3.
// Nothing else runs afterwards: no destructors, no atexit handlers, no flush
// of other streams; only a display mode or gamma ramp the program changed is
// put back first. Safe to call during static construction.
[[noreturn]] void fatalExit(const char* text);

// Shows a modal message box when boxes are enabled; the text always goes to
// stderr as "caption: text". Never blocks a headless or automated run.
void messageBox(const char* caption, const char* text);

// Message boxes appear only with a display present and an interactive run.
// They start enabled unless VESPER_HEADLESS=1 is set or no display exists.
void setMessageBoxesEnabled(bool enabled);
bool messageBoxesEnabled();

// Window-system events as the main loop sees them.
enum class EventType : uint8_t {
  Null,     // a message numbered 0: neither translated nor dispatched
  Quit,     // ends the main loop with `exitCode`
  KeyDown,  // `key`: the engine's key code (see Key); `keyFlags`: KeyFlag bits
  Other,    // anything else; dispatched to the window listeners
  // Window input, dispatched to the handler set with setInputHandler
  // (platform/window.h).
  KeyUp,       // `key`: the engine's key code
  MouseMove,   // `x`, `y`: client coordinates
  ButtonDown,  // `x`, `y`, `button`: 0 left, 1 right, 2 middle
  ButtonUp,    // as ButtonDown
  Wheel,       // `delta`: signed wheel steps times 120
};

// The engine's key numbering (the Windows virtual-key codes): letters are
// their upper-case character, F1 to F12 are 0x70 to 0x7B; keys not named
// here keep SDL's code.
enum Key : int32_t {
  KeyOther = 0,
  KeyEscape = 27,
  KeySpace = 0x20,
  KeyPageUp = 0x21,
  KeyPageDown = 0x22,
  KeyEnd = 0x23,
  KeyHome = 0x24,
  KeyLeft = 0x25,
  KeyUp = 0x26,
  KeyRight = 0x27,
  KeyDown = 0x28,
  KeyF1 = 0x70,
  KeyComma = 0xBC,
  KeyPeriod = 0xBE,
  KeyLeftBracket = 0xDB,
  KeyRightBracket = 0xDD,
};

// Event::keyFlags of a key press.
enum KeyFlag : uint32_t {
  KeyFlagShift = 1u << 0,
  KeyFlagRepeat = 1u << 1,  // the key is held: the system repeats the press
};

struct Event {
  EventType type = EventType::Null;
  int32_t key = KeyOther;
  int32_t exitCode = 0;
  int16_t x = 0;
  int16_t y = 0;
  int32_t button = 0;
  int32_t delta = 0;
  uint32_t keyFlags = 0;
};

// The source the main loop drains. The SDL implementation is returned by
// systemEvents(); tests supply their own.
class EventSource {
 public:
  virtual ~EventSource() = default;
  // Removes one event without waiting; false when the queue is empty.
  virtual bool poll(Event& out) = 0;
  // Translates and dispatches an event to the window's listeners.
  virtual void dispatch(const Event& event) = 0;
};

EventSource& systemEvents();

// Posts a quit event carrying `exitCode` to the system queue.
void postQuit(int32_t exitCode);

// Milliseconds since the platform layer started (wraps after 49 days).
uint32_t ticksMs();
uint64_t performanceCounter();
uint64_t performanceFrequency();
void sleepMs(uint32_t ms);

// Child processes and the terminal (posix_spawn; no shell is involved).
// The full path of `name` found through PATH, or "" when it is not there.
std::string findProgram(const std::string& name);
// True when stderr is a terminal (progress may then redraw one line).
bool stderrIsTerminal();

// A child reading a pipe from this process on its standard input, its
// standard error kept in an unlinked temporary file (so a chatty child never
// blocks on it) for the caller to read once it has ended. Starting one
// ignores SIGPIPE in this process for good: a write to a child that has
// gone then fails with EPIPE instead of ending the program. The child gets
// SIGPIPE's default back. One thread drives it.
class PipedChild {
 public:
  PipedChild() = default;
  // A child still running is killed and waited for.
  ~PipedChild();
  PipedChild(const PipedChild&) = delete;
  PipedChild& operator=(const PipedChild&) = delete;

  // Starts argv[0] (looked up through PATH). False with a one-line reason.
  bool start(const std::vector<std::string>& argv, std::string& reason);
  // Writes all `size` bytes, waiting while the pipe is full. False with the
  // error's text ("Broken pipe" once the child stopped reading).
  bool write(const void* data, size_t size, std::string& reason);
  // Closes the pipe (the child sees the end of its input) and waits for the
  // child. Its exit status; -1 with `reason` when it was ended by a signal
  // ("ended by signal 9 (Killed)") or could not be waited for.
  int finish(std::string& reason);
  // The first non-empty line the child wrote to stderr; "" when none or
  // before finish.
  std::string firstErrorLine() const;

 private:
  int mPid = -1;
  int mPipe = -1;
  int mErrors = -1;  // the child's stderr, rewound and read after it ends
};

}  // namespace platform
