// A/V clock check: plays a track through the SDL audio device (the dummy
// driver unless SDL_AUDIODRIVER says otherwise) and compares the demo clock
// (getPositionMs, wall time while playing) with the audio the device really
// consumed (frames taken by the audio callback / 44.1). Prints the drift
// every second and its maximum at the end.
//
// usage: av_clock_bench [TRACK] [SECONDS]
//   TRACK    default: $VESPER_BUILD_DIR/production/music.ogg, else
//            production/music.ogg below the working directory
//   SECONDS  how long to play (default 10; 0 = the whole track)
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "sound/sound.h"

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  std::string track = "production/music.ogg";
  if (const char* build = std::getenv("VESPER_BUILD_DIR")) track = std::string(build) + "/" + track;
  if (argc > 1 && argv[1][0] != '\0') track = argv[1];
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;

  cDemoSound sound;
  sound.trackName = track;
  if (!sound.openMusic(nullptr)) return reportSoundStartupFailure(sound);
  SoundPlayer& player = *sound.getPlayer();
  std::printf("track %s: %s, %u bytes, driver %s\n", track.c_str(),
              player.streaming() ? "streamed" : "static", player.decoder()->getTotalBytes(),
              std::getenv("SDL_AUDIODRIVER"));
  player.playFromStart();
  sound.elapsed = 0;
  sound.lastTick = platform::ticksMs();
  const auto buffer = player.buffer();

  double maxDrift = 0, sumDrift = 0;
  long samples = 0;
  uint32_t nextReport = 1000;
  uint32_t clock = 0;
  double consumedMs = 0;
  // Sampled at a 60 Hz frame rate, as the demo manager reads the clock.
  while (sound.isPlaying() && (seconds <= 0 || clock < seconds * 1000)) {
    std::this_thread::sleep_for(std::chrono::microseconds(16667));
    clock = sound.getPositionMs();
    consumedMs = static_cast<double>(buffer->framesPlayed()) / 44.1;
    const double drift = clock - consumedMs;
    maxDrift = std::max(maxDrift, std::fabs(drift));
    sumDrift += drift;
    ++samples;
    if (clock >= nextReport) {
      std::printf("t=%6u ms  consumed=%9.1f ms  drift=%+7.1f ms\n", clock, consumedMs, drift);
      nextReport += 1000;
    }
  }
  clock = sound.getPositionMs();
  consumedMs = static_cast<double>(buffer->framesPlayed()) / 44.1;
  std::printf("end: clock=%u ms consumed=%.1f ms drift=%+.1f ms (%s)\n", clock, consumedMs,
              clock - consumedMs, sound.isPlaying() ? "still playing" : "track ended");
  std::printf("max |drift| = %.1f ms, mean drift = %+.1f ms over %ld samples; clock/consumed = %.5f\n",
              maxDrift, samples ? sumDrift / samples : 0.0, samples,
              consumedMs > 0 ? clock / consumedMs : 0.0);
  return 0;
}
