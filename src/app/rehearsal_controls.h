// The rehearsal's controls over a running show: the transport on the show's
// clock, the overlay on the window (with the reloads and errors of the
// rehearsal state), and the key presses that drive both. Main thread only.
#pragma once

#include <cstdint>

#include "app/overlay.h"
#include "app/rehearsal.h"
#include "app/transport.h"

class RehearsalControls {
 public:
  // Before the initialisation pass: the show will follow the transport,
  // which wraps the demo manager's playback clock (the music moves with it).
  RehearsalControls();
  // Puts back the clock, the key listener and the window overlay. Before the
  // termination pass: the overlay's GL objects need the window's context.
  ~RehearsalControls();
  RehearsalControls(const RehearsalControls&) = delete;
  RehearsalControls& operator=(const RehearsalControls&) = delete;

  // After the initialisation pass: takes key presses, draws the overlay over
  // each presented frame and steps frames at the display's refresh rate
  // (60 Hz when the driver does not say).
  void attach();

  Transport& transport() { return mTransport; }
  RehearsalOverlay& overlay() { return mOverlay; }

 private:
  static void onKeyDown(void* self, int32_t key, uint32_t flags);

  Transport mTransport;
  RehearsalOverlay mOverlay;
};
