// The X display's mode and gamma come back however a full-screen show ends:
// a critical error, SIGINT/SIGTERM, a fault or an abort. A private Xvfb is
// given a second mode through RandR so that going full screen changes it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/managers.h"
#include "app/fixtures.h"
#include "core/core.h"
#include "platform/platform.h"
#include "support/support.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {

// What the show may change: the screen's size and its first CRTC's mode and gamma.
struct DisplayState {
  int screenWidth = 0;
  int screenHeight = 0;
  unsigned crtcWidth = 0;
  unsigned crtcHeight = 0;
  std::vector<unsigned short> gamma;
  bool operator==(const DisplayState& o) const {
    return screenWidth == o.screenWidth && screenHeight == o.screenHeight && crtcWidth == o.crtcWidth &&
           crtcHeight == o.crtcHeight && gamma == o.gamma;
  }
};

std::ostream& operator<<(std::ostream& os, const DisplayState& s) {
  os << "screen " << s.screenWidth << "x" << s.screenHeight << ", crtc " << s.crtcWidth << "x"
     << s.crtcHeight << ", gamma";
  for (size_t i = 0; i < s.gamma.size(); i += 64) os << " " << s.gamma[i];
  return os;
}

DisplayState displayState() {
  DisplayState s;
  Display* d = XOpenDisplay(nullptr);
  if (!d) return s;
  Window root = DefaultRootWindow(d);
  XWindowAttributes a{};
  XGetWindowAttributes(d, root, &a);
  s.screenWidth = a.width;
  s.screenHeight = a.height;
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
  if (res && res->ncrtc > 0) {
    XRRCrtcInfo* c = XRRGetCrtcInfo(d, res, res->crtcs[0]);
    s.crtcWidth = c->width;
    s.crtcHeight = c->height;
    XRRFreeCrtcInfo(c);
    XRRCrtcGamma* g = XRRGetCrtcGamma(d, res->crtcs[0]);
    for (const unsigned short* channel : {g->red, g->green, g->blue})
      s.gamma.insert(s.gamma.end(), channel, channel + g->size);
    XRRFreeGamma(g);
  }
  if (res) XRRFreeScreenResources(res);
  XCloseDisplay(d);
  return s;
}

// Offers 640x480 on the display's output beside its screen-sized mode.
bool addSmallMode() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  Window root = DefaultRootWindow(d);
  XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
  bool ok = res && res->noutput > 0;
  if (ok) {
    char name[] = "640x480";
    XRRModeInfo m{};
    m.width = 640;
    m.height = 480;
    m.dotClock = 25175000;
    m.hSyncStart = 656;
    m.hSyncEnd = 752;
    m.hTotal = 800;
    m.vSyncStart = 490;
    m.vSyncEnd = 492;
    m.vTotal = 525;
    m.name = name;
    m.nameLength = sizeof name - 1;
    XRRAddOutputMode(d, res->outputs[0], XRRCreateMode(d, root, &m));
    XSync(d, False);
  }
  if (res) XRRFreeScreenResources(res);
  XCloseDisplay(d);
  return ok;
}

enum class Ending { Critical, Interrupt, Terminate, Fault, Abort };

struct Outcome {
  bool ready = false;
  DisplayState during;
  int status = -1;  // exit status, or -1
  int signal = 0;   // the signal that ended it, or 0
  std::string stdErr;
};

// Runs a show in a child: full screen at 640x480 with gamma 1.2, then ends
// it the given way. The parent reads the display while the show runs.
Outcome runShow(Ending ending) {
  int ready[2], go[2], err[2];
  if (pipe(ready) != 0 || pipe(go) != 0 || pipe(err) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], 2);
    close(ready[0]);
    close(go[1]);
    close(err[0]);
    // The previous actions are the default ones, so a fault ends the process
    // whatever sanitizer runtime is linked in.
    signal(SIGSEGV, SIG_DFL);
    signal(SIGABRT, SIG_DFL);
    if (!testing_support::PackDirectory::start(true, 640, 480)) _exit(20);
    CWindowGL* window = systemManager::instance().window();
    if (!window->isFullScreen() || !window->setGamma(1.2f)) _exit(21);
    // The parent reads the changed display, then lets the show end.
    char c = 0;
    if (write(ready[1], "r", 1) != 1 || read(go[0], &c, 1) != 1) _exit(22);
    switch (ending) {
      case Ending::Critical:
        CoreDebug::criticalError(critical::kFileNotFound);
      case Ending::Fault: {
        // A store to a read-only page: a fault no sanitizer check gets before.
        void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
        break;
      }
      case Ending::Abort:
        std::abort();
      default: {
        // The program's own loop; SDL turns the signal into a quit event.
        bool exitRequested = false;
        const int code = runMainLoop(platform::systemEvents(), exitRequested, [] {
          platform::sleepMs(2);
          return true;
        });
        systemManager::instance().terminate();
        _exit(code);
      }
    }
    _exit(30);
  }
  close(ready[1]);
  close(go[0]);
  close(err[1]);
  Outcome o;
  pollfd p{ready[0], POLLIN, 0};
  char c = 0;
  o.ready = poll(&p, 1, 120000) == 1 && read(ready[0], &c, 1) == 1;
  if (o.ready) {
    o.during = displayState();
    if (write(go[1], "g", 1) != 1) kill(pid, SIGKILL);
    if (ending == Ending::Interrupt) kill(pid, SIGINT);
    if (ending == Ending::Terminate) kill(pid, SIGTERM);
  } else {
    kill(pid, SIGKILL);
  }
  char buf[4096];
  ssize_t n = 0;
  while ((n = read(err[0], buf, sizeof buf)) > 0) o.stdErr.append(buf, static_cast<size_t>(n));
  close(ready[0]);
  close(go[1]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) o.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
  return o;
}

TEST(DisplayRestore, ModeAndGammaComeBackOnEveryKindOfExit) {
  testing_support::PrivateDisplay display(false);
  if (!display.ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
  testing_support::PackDirectory packDir;
  ASSERT_TRUE(packDir.ok());
  ASSERT_TRUE(addSmallMode());
  const DisplayState before = displayState();
  ASSERT_EQ(before.crtcWidth, 1920u);

  struct Row {
    const char* name;
    Ending ending;
    int status;
    int signal;
    std::string stdErr;
  };
  const Row rows[] = {
      {"critical error", Ending::Critical, 3, 0, std::string(critical::kFileNotFound) + "\n"},
      {"SIGINT", Ending::Interrupt, 0, 0, ""},
      {"SIGTERM", Ending::Terminate, 0, 0, ""},
      {"fault", Ending::Fault, -1, SIGSEGV, ""},
      {"abort", Ending::Abort, -1, SIGABRT, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Outcome o = runShow(row.ending);
    ASSERT_TRUE(o.ready) << o.stdErr;
    // The show did change both, so their return means something.
    EXPECT_EQ(o.during.crtcWidth, 640u) << o.during;
    EXPECT_NE(o.during.gamma, before.gamma);
    EXPECT_EQ(o.status, row.status);
    EXPECT_EQ(o.signal, row.signal);
    EXPECT_EQ(o.stdErr, row.stdErr);
    EXPECT_EQ(displayState(), before);
  }
}

}  // namespace
