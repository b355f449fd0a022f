// The show's one clock: the music time each frame shows and the millisecond
// timer of the fades. A normal run follows the music player (wall-clock time
// summed while it plays), a capture steps by whole frames, and tests script
// it. Nothing else reads platform ticks for show time. Main thread only.
#pragma once

#include <cstdint>

#include "capture/frame_rate.h"

class cDemoSound;

class DemoClock {
 public:
  virtual ~DemoClock() = default;
  // Milliseconds of the fade timer (the loader fade and the closing fade).
  virtual uint32_t ticksMs() = 0;
  // The music starts at `musicMs`: the next reading continues from there.
  virtual void start(uint32_t musicMs) = 0;
  // The music time of this frame; read once per frame of the show.
  virtual uint32_t musicTimeMs() = 0;
  // False once the music is over: the show ends, or loops.
  virtual bool playing() = 0;
};

// A normal run's clock: wall-clock time summed over the intervals in which
// the music sounds, held to what the sound device has played (cDemoSound::
// getPositionMs), so the show waits while the music stalls. It plays until
// the music is over. Without a sound it reads 0 and is never playing.
class PlaybackClock final : public DemoClock {
 public:
  using TimeSource = uint32_t (*)();
  // Not owned; null detaches the clock from the music.
  void setSound(cDemoSound* sound) { mSound = sound; }
  // The millisecond timer; null restores the platform timer.
  void setTimeSource(TimeSource source) { mTimeSource = source; }

  uint32_t ticksMs() override;
  void start(uint32_t musicMs) override;
  uint32_t musicTimeMs() override;
  bool playing() override;

 private:
  cDemoSound* mSound = nullptr;
  TimeSource mTimeSource = nullptr;
};

// A capture's fixed step: the k-th reading after start(from) shows capture
// frame first + k, at captureFrameMs(from, first + k, rate), so a part of a
// capture keeps the whole capture's frame times and numbers. The fade timer
// advances one frame step per presented frame, so a capture repeats exactly.
class CaptureClock final : public DemoClock {
 public:
  // `frames` readings form the capture; the reading after them ends it.
  CaptureClock(FrameRate rate, uint64_t first, uint64_t frames)
      : mRate(rate), mFirst(first), mFrames(frames) {}

  uint32_t ticksMs() override;
  void start(uint32_t musicMs) override;
  uint32_t musicTimeMs() override;
  bool playing() override { return mRead > 0 && mRead <= mFrames; }

  // The capture frame the last reading showed, once per reading; false when
  // there is none to write (no reading since, or past the range).
  bool takeFrame(uint64_t& index);
  // A frame went to the screen: the fade timer moves on.
  void framePresented() { ++mPresented; }
  uint64_t frames() const { return mFrames; }

 private:
  FrameRate mRate;
  uint64_t mFirst;
  uint64_t mFrames;
  uint32_t mFrom = 0;
  uint64_t mRead = 0;  // readings since start
  bool mPending = false;
  uint64_t mPresented = 0;
};

// A clock the test sets by hand.
class ScriptedClock final : public DemoClock {
 public:
  uint32_t ticksMs() override { return ticks; }
  void start(uint32_t musicMs) override {
    music = musicMs;
    ++starts;
  }
  uint32_t musicTimeMs() override { return music; }
  bool playing() override { return isPlaying; }

  uint32_t ticks = 0;
  uint32_t music = 0;
  bool isPlaying = true;
  uint32_t starts = 0;
};
