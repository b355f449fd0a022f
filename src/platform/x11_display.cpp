// RandR gamma ramps and the emergency restore of the X display.
//
// The restore must work from a signal handler, where Xlib may not be called:
// the record is kept as ready-made protocol requests (screen size, each CRTC's
// mode and gamma, then a round trip) for a connection opened only for them,
// so the handler does nothing but write(), poll() and read().
#include "platform/x11_display.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// RandR minor opcodes and the core round-trip request.
constexpr uint8_t kRRSetScreenSize = 7;
constexpr uint8_t kRRSetCrtcConfig = 21;
constexpr uint8_t kRRSetCrtcGamma = 24;
constexpr uint8_t kGetInputFocus = 43;
constexpr int kRestoreWaitMs = 2000;

// Requests in the byte order Xlib announced for the connection (the host's).
class RequestWriter {
 public:
  void begin(uint8_t major, uint8_t minor) {
    mStart = mBytes.size();
    u8(major);
    u8(minor);
    u16(0);  // length, filled in by end()
  }
  void end() {
    while ((mBytes.size() - mStart) % 4) u8(0);
    const auto words = static_cast<uint16_t>((mBytes.size() - mStart) / 4);
    std::memcpy(&mBytes[mStart + 2], &words, 2);
    ++mCount;
  }
  void u8(uint8_t v) { mBytes.push_back(v); }
  void u16(uint16_t v) { put(&v, 2); }
  void u32(uint32_t v) { put(&v, 4); }
  std::vector<uint8_t>& bytes() { return mBytes; }
  unsigned count() const { return mCount; }

 private:
  void put(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    mBytes.insert(mBytes.end(), b, b + n);
  }
  std::vector<uint8_t> mBytes;
  size_t mStart = 0;
  unsigned mCount = 0;
};

// The record. The handler reads these only while gArmed is 1.
Display* gConnection = nullptr;
std::vector<uint8_t> gRequests;
uint16_t gLastSequence = 0;
volatile sig_atomic_t gArmed = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
struct sigaction gPrevious[kSignalCount];
bool gHandlersInstalled = false;

bool isFault(int sig) { return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL; }

bool isHandler(const struct sigaction& a) {
  if (a.sa_flags & SA_SIGINFO) return a.sa_sigaction != nullptr;
  return a.sa_handler != SIG_DFL && a.sa_handler != SIG_IGN;
}

void onSignal(int sig, siginfo_t* info, void* context) {
  int i = 0;
  while (i < kSignalCount && kSignals[i] != sig) ++i;
  if (i == kSignalCount) return;
  const struct sigaction& previous = gPrevious[i];
  // SDL turns these into a quit event; the show then ends by its normal
  // path, which puts the display back itself.
  if ((sig == SIGINT || sig == SIGTERM) && isHandler(previous)) {
    if (previous.sa_flags & SA_SIGINFO) {
      previous.sa_sigaction(sig, info, context);
    } else {
      previous.sa_handler(sig);
    }
    return;
  }
  x11RestoreDisplayState();
  sigaction(sig, &previous, nullptr);
  // A fault of the processor comes again on return, now to the previous
  // action; any other signal is raised again (it stays blocked until then).
  if (!isFault(sig) || !info || info->si_code <= 0) raise(sig);
}

void installHandlers() {
  if (gHandlersInstalled) return;
  gHandlersInstalled = true;
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current {};
    sigaction(kSignals[i], nullptr, &current);
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
    struct sigaction a {};
    a.sa_sigaction = onSignal;
    sigemptyset(&a.sa_mask);
    a.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigaction(kSignals[i], &a, &gPrevious[i]);
  }
}

bool hasRandr12(Display* d) {
  int event = 0, error = 0, major = 0, minor = 0;
  return XRRQueryExtension(d, &event, &error) && XRRQueryVersion(d, &major, &minor) &&
         (major > 1 || (major == 1 && minor >= 2));
}

// The CRTC showing desktop point (x, y); None when none does.
RRCrtc crtcAt(Display* d, XRRScreenResources* res, int x, int y) {
  for (int i = 0; i < res->ncrtc; ++i) {
    XRRCrtcInfo* c = XRRGetCrtcInfo(d, res, res->crtcs[i]);
    if (!c) continue;
    const bool inside = c->mode != None && x >= c->x && y >= c->y &&
                        x < c->x + static_cast<int>(c->width) && y < c->y + static_cast<int>(c->height);
    XRRFreeCrtcInfo(c);
    if (inside) return res->crtcs[i];
  }
  return None;
}

// Runs `use` with the CRTC at (x, y) on a short-lived connection.
template <typename Use>
bool withCrtcAt(int x, int y, Use use) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  bool ok = false;
  if (hasRandr12(d)) {
    if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d))) {
      const RRCrtc crtc = crtcAt(d, res, x, y);
      if (crtc != None) ok = use(d, crtc);
      XRRFreeScreenResources(res);
    }
  }
  XCloseDisplay(d);
  return ok;
}

}  // namespace

bool x11GammaRamp(int x, int y, uint16_t ramp[3][256]) {
  return withCrtcAt(x, y, [ramp](Display* d, RRCrtc crtc) {
    const int size = XRRGetCrtcGammaSize(d, crtc);
    XRRCrtcGamma* g = size > 0 ? XRRGetCrtcGamma(d, crtc) : nullptr;
    if (!g) return false;
    for (int i = 0; i < 256; ++i) {
      const int j = i * size / 256;
      ramp[0][i] = g->red[j];
      ramp[1][i] = g->green[j];
      ramp[2][i] = g->blue[j];
    }
    XRRFreeGamma(g);
    return true;
  });
}

bool x11SetGammaRamp(int x, int y, const uint16_t ramp[3][256]) {
  return withCrtcAt(x, y, [ramp](Display* d, RRCrtc crtc) {
    const int size = XRRGetCrtcGammaSize(d, crtc);
    XRRCrtcGamma* g = size > 0 ? XRRAllocGamma(size) : nullptr;
    if (!g) return false;
    for (int j = 0; j < size; ++j) {
      const int i = j * 256 / size;
      g->red[j] = ramp[0][i];
      g->green[j] = ramp[1][i];
      g->blue[j] = ramp[2][i];
    }
    XRRSetCrtcGamma(d, crtc, g);
    XRRFreeGamma(g);
    XSync(d, False);
    return true;
  });
}

void x11RecordDisplayState() {
  if (gArmed) return;
  x11ForgetDisplayState();
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  int major = 0, firstEvent = 0, firstError = 0;
  XRRScreenResources* res = nullptr;
  if (!hasRandr12(d) || !XQueryExtension(d, "RANDR", &major, &firstEvent, &firstError) ||
      !(res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d)))) {
    XCloseDisplay(d);
    return;
  }
  const int screen = DefaultScreen(d);
  RequestWriter w;
  // The screen first grows back to hold the CRTCs; when the show's mode was
  // the larger one it can shrink only after them, so it is sent again.
  const auto screenSize = [&] {
    w.begin(static_cast<uint8_t>(major), kRRSetScreenSize);
    w.u32(static_cast<uint32_t>(RootWindow(d, screen)));
    w.u16(static_cast<uint16_t>(DisplayWidth(d, screen)));
    w.u16(static_cast<uint16_t>(DisplayHeight(d, screen)));
    w.u32(static_cast<uint32_t>(DisplayWidthMM(d, screen)));
    w.u32(static_cast<uint32_t>(DisplayHeightMM(d, screen)));
    w.end();
  };
  screenSize();
  unsigned replies = 0;
  for (int i = 0; i < res->ncrtc; ++i) {
    const RRCrtc crtc = res->crtcs[i];
    if (XRRCrtcInfo* c = XRRGetCrtcInfo(d, res, crtc)) {
      w.begin(static_cast<uint8_t>(major), kRRSetCrtcConfig);
      w.u32(static_cast<uint32_t>(crtc));
      w.u32(CurrentTime);
      w.u32(static_cast<uint32_t>(res->configTimestamp));
      w.u16(static_cast<uint16_t>(c->x));
      w.u16(static_cast<uint16_t>(c->y));
      w.u32(static_cast<uint32_t>(c->mode));
      w.u16(static_cast<uint16_t>(c->rotation));
      w.u16(0);
      for (int o = 0; o < c->noutput; ++o) w.u32(static_cast<uint32_t>(c->outputs[o]));
      w.end();
      ++replies;
      XRRFreeCrtcInfo(c);
    }
    const int size = XRRGetCrtcGammaSize(d, crtc);
    if (XRRCrtcGamma* g = size > 0 ? XRRGetCrtcGamma(d, crtc) : nullptr) {
      w.begin(static_cast<uint8_t>(major), kRRSetCrtcGamma);
      w.u32(static_cast<uint32_t>(crtc));
      w.u16(static_cast<uint16_t>(size));
      w.u16(0);
      for (const unsigned short* channel : {g->red, g->green, g->blue})
        for (int j = 0; j < size; ++j) w.u16(channel[j]);
      w.end();
      XRRFreeGamma(g);
    }
  }
  XRRFreeScreenResources(res);
  screenSize();
  w.begin(kGetInputFocus, 0);
  w.end();
  // Nothing of Xlib's may be left unsent: the requests are counted from here.
  XSync(d, False);
  gLastSequence = static_cast<uint16_t>(NextRequest(d) + w.count() - 1);
  gRequests = std::move(w.bytes());
  gConnection = d;
  installHandlers();
  gArmed = 1;
}

void x11ForgetDisplayState() {
  gArmed = 0;
  if (gConnection) XCloseDisplay(gConnection);
  gConnection = nullptr;
  gRequests.clear();
}

void x11RestoreDisplayState() {
  if (!gArmed) return;
  gArmed = 0;
  const int fd = ConnectionNumber(gConnection);
  const uint8_t* p = gRequests.data();
  size_t left = gRequests.size();
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
  // Wait for the round trip's reply (or error): every request before it is
  // then applied. Replies may carry data beyond their 32 bytes.
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  uint8_t unit[32];
  size_t have = 0;
  size_t skip = 0;
  uint8_t buffer[4096];
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long waited = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (waited >= kRestoreWaitMs) return;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(kRestoreWaitMs - waited));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t i = 0; i < n; ++i) {
      if (skip) {
        --skip;
        continue;
      }
      unit[have++] = buffer[i];
      if (have < sizeof unit) continue;
      have = 0;
      uint16_t sequence = 0;
      std::memcpy(&sequence, unit + 2, 2);
      if (unit[0] == 1) {
        uint32_t extraWords = 0;
        std::memcpy(&extraWords, unit + 4, 4);
        skip = static_cast<size_t>(extraWords) * 4;
      }
      if (unit[0] <= 1 && sequence == gLastSequence) return;
    }
  }
}

}  // namespace platform
