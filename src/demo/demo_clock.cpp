// The show clocks.
#include <algorithm>

#include "capture/frame_rate.h"
#include "demo/demo_clock.h"
#include "platform/platform.h"
#include "sound/sound.h"

uint32_t PlaybackClock::ticksMs() { return mTimeSource ? mTimeSource() : platform::ticksMs(); }

void PlaybackClock::start(uint32_t musicMs) {
  if (!mSound) return;
  mSound->startClock(musicMs, ticksMs());
}

uint32_t PlaybackClock::musicTimeMs() { return mSound ? mSound->getPositionMs(ticksMs()) : 0; }

bool PlaybackClock::playing() { return mSound && !mSound->musicOver(); }

uint32_t CaptureClock::ticksMs() {
  return static_cast<uint32_t>(captureFrameMs(0, mPresented, mRate));
}

void CaptureClock::start(uint32_t musicMs) {
  mFrom = musicMs;
  mRead = 0;
  mPending = false;
}

uint32_t CaptureClock::musicTimeMs() {
  const uint64_t ms = captureFrameMs(mFrom, mFirst + mRead, mRate);
  ++mRead;
  mPending = mRead <= mFrames;
  return static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX));
}

bool CaptureClock::takeFrame(uint64_t& index) {
  if (!mPending) return false;
  mPending = false;
  index = mFirst + mRead - 1;
  return true;
}
