// Rehearsal transport over the show clock and the music player.
#include "app/transport.h"

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"
#include "sound/sound.h"

namespace {

// While the show plays, PageUp right after a jump would land on the same
// boundary again (the clock has moved a frame past it): a boundary this
// close behind counts as the one being left.
constexpr uint32_t kBoundaryGraceMs = 500;

// floor(a / b) for b > 0.
int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

void Transport::start(uint32_t musicMs) {
  if (mStarted && mPaused) {
    // The show restarted the music under a pause (a music reload): the
    // pause holds, at the time given.
    mTime = mStepAnchor = musicMs;
    mSteps = 0;
    if (SoundPlayer* music = player()) music->stop();
    return;
  }
  mStarted = true;
  mPaused = false;
  mTime = mStepAnchor = musicMs;
  mSteps = 0;
  mInner.start(musicMs);
}

uint32_t Transport::musicTimeMs() {
  if (!mStarted) return mInner.musicTimeMs();
  if (mPaused) return mTime;
  const uint32_t t = mInner.musicTimeMs();
  if (loopActive() && t >= mLoopOut) {
    moveTo(mLoopIn);
    return mTime;
  }
  mTime = mStepAnchor = t;
  mSteps = 0;
  // Music that has run out holds its last picture: a rehearsal goes on
  // until the user leaves it.
  if (!mInner.playing()) mPaused = true;
  return t;
}

SoundPlayer* Transport::player() const {
  cDemoSound* sound = mMusic ? mMusic() : nullptr;
  return sound ? sound->getPlayer() : nullptr;
}

uint32_t Transport::musicEndMs() const {
  const SoundPlayer* music = player();
  if (!music || !music->decoder()) return UINT32_MAX;
  const WaveFormat& f = music->format();
  if (f.avgBytesPerSec == 0) return UINT32_MAX;
  return static_cast<uint32_t>(
      std::min<uint64_t>(uint64_t{music->decoder()->getTotalBytes()} * 1000 / f.avgBytesPerSec, UINT32_MAX));
}

void Transport::restartMusic() {
  if (SoundPlayer* music = player()) music->playFrom(mTime);
  mInner.start(mTime);
}

void Transport::moveTo(uint32_t ms) {
  mTime = mStepAnchor = ms;
  mSteps = 0;
  if (!mPaused) restartMusic();
}

void Transport::togglePause() {
  if (mPaused) {
    mPaused = false;
    restartMusic();
    return;
  }
  mPaused = true;
  if (SoundPlayer* music = player()) music->stop();
}

void Transport::seekTo(int64_t ms) {
  moveTo(static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, musicEndMs())));
}

void Transport::seekBy(int64_t deltaMs) { seekTo(int64_t{mTime} + deltaMs); }

void Transport::previousBoundary() {
  if (!mTimeline) return;
  const uint32_t grace = mPaused ? 0 : kBoundaryGraceMs;
  const int64_t before = int64_t{mTime} - grace;
  int64_t best = -1;
  for (const SceneLineRecord& r : *mTimeline) {
    for (const uint32_t b : {r.sTime, r.eTime}) {
      if (b < before && b > best) best = b;
    }
  }
  if (best >= 0) seekTo(best);
}

void Transport::nextBoundary() {
  if (!mTimeline) return;
  int64_t best = -1;
  for (const SceneLineRecord& r : *mTimeline) {
    for (const uint32_t b : {r.sTime, r.eTime}) {
      if (b > mTime && (best < 0 || b < best)) best = b;
    }
  }
  if (best >= 0) seekTo(best);
}

void Transport::stepFrames(int64_t frames) {
  if (!mPaused) togglePause();
  mSteps += frames;
  const int64_t offset = floorDiv(mSteps * 1000 * mRate.den, mRate.num);
  const int64_t end = musicEndMs();
  const int64_t t = int64_t{mStepAnchor} + offset;
  if (t < 0 || t > end) {
    // Held at an end: the next steps count from there.
    moveTo(static_cast<uint32_t>(std::clamp<int64_t>(t, 0, end)));
    return;
  }
  mTime = static_cast<uint32_t>(t);
}

bool Transport::handleKey(int32_t key, uint32_t flags) {
  if (!mStarted) return false;
  const bool repeat = (flags & platform::KeyFlagRepeat) != 0;
  const int64_t seek = (flags & platform::KeyFlagShift) ? kLongSeekMs : kSeekMs;
  switch (key) {
    case platform::KeySpace:
      if (!repeat) togglePause();
      return true;
    case platform::KeyLeft:
      seekBy(-seek);
      return true;
    case platform::KeyRight:
      seekBy(seek);
      return true;
    case platform::KeyPageUp:
      previousBoundary();
      return true;
    case platform::KeyPageDown:
      nextBoundary();
      return true;
    case platform::KeyHome:
      seekTo(0);
      return true;
    case platform::KeyLeftBracket:
      setLoopIn();
      return true;
    case platform::KeyRightBracket:
      setLoopOut();
      return true;
    case 'L':
      if (!repeat) toggleLoop();
      return true;
    case platform::KeyComma:
      stepFrames(-1);
      return true;
    case platform::KeyPeriod:
      stepFrames(1);
      return true;
    default:
      return false;
  }
}
