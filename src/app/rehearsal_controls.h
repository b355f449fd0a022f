// The rehearsal's controls over a running show: the transport on the show's
// clock, the overlay on the window, and the key presses that drive both.
// Main thread only.
#pragma once

#include <cstdint>

#include "app/overlay.h"
#include "app/rehearsal.h"
#include "app/transport.h"

class RehearsalControls {
 public:
  // After the initialisation pass: wraps the demo manager's clock in the
  // transport (the music moves with it), takes key presses and draws the
  // overlay over each presented frame. The frame step follows the display's
  // refresh rate (60 Hz when the driver does not say).
  RehearsalControls();
  // Puts back the clock, the key listener and the window overlay. Before the
  // termination pass: the overlay's GL objects need the window's context.
  ~RehearsalControls();
  RehearsalControls(const RehearsalControls&) = delete;
  RehearsalControls& operator=(const RehearsalControls&) = delete;

  Transport& transport() { return mTransport; }
  RehearsalOverlay& overlay() { return mOverlay; }

 private:
  static void onKeyDown(void* self, int32_t key, uint32_t flags);

  DemoClock* mShowClock;  // the clock the show followed before
  Transport mTransport;
  RehearsalState mNoReloads;  // what the overlay shows until the folder watcher reports
  RehearsalOverlay mOverlay;
};
