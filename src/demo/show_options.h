// What one run of the show is told before it starts: the clock it follows,
// the music time it starts at, the track and whether it plays it, and
// whether it loops. A plain value; the demo manager keeps a copy.
#pragma once

#include <cstdint>
#include <string>

class DemoClock;

struct ShowOptions {
  // The clock the show follows (a capture's, a test's); not owned, it must
  // outlive the run. Null: the playback clock, which follows the music.
  DemoClock* clock = nullptr;
  // The music time the show starts at (--start; a capture's first frame);
  // a loop starts there again.
  uint32_t startMs = 0;
  // The track the music player opens (relative to the working directory).
  std::string musicPath = "music.ogg";
  // False: no music player and no sound device (a capture decodes the
  // music itself and runs on its own clock).
  bool playMusic = true;
  // The music starts again when it ends (--loop).
  bool loop = false;
};
