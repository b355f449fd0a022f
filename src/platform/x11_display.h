// Internal to the platform files: the X display's RandR state. Gamma ramps
// go to the CRTCs themselves (SDL's X11 gamma needs a DirectColor visual and
// dies with the window's colormap), and what the show changes (mode, screen
// size, gamma) is recorded first so that an exit running no cleanup (critical
// error, fatal or terminating signal) can still put it back.
#pragma once

#include <cstdint>

namespace platform {

// The gamma ramp of the CRTC showing desktop point (x, y), sampled to 256
// entries. False without an X display with RandR 1.2 or such a CRTC.
bool x11GammaRamp(int x, int y, uint16_t ramp[3][256]);
// Sets that CRTC's ramp (resampled to its size); false as above.
bool x11SetGammaRamp(int x, int y, const uint16_t ramp[3][256]);

// Records the screen size and every CRTC's mode, place and gamma, unless a
// record is kept already, and installs the signal handlers that restore it.
// Call before changing any of them. Does nothing without X11 RandR 1.2.
void x11RecordDisplayState();
// Drops the record: the normal path has put the display back.
void x11ForgetDisplayState();
// Writes the recorded state back to the server and waits (at most 2 s) until
// it is applied; then drops the record. Async-signal-safe: it only writes
// requests built by x11RecordDisplayState to a connection of its own.
void x11RestoreDisplayState();

}  // namespace platform
