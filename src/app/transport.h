// Rehearsal transport: pause, seek, timeline jumps, a loop range and frame
// steps, moving the show's one clock and the music together. Every move
// restarts the music at the show time through the player's own start path
// (SoundPlayer::playFrom), so the music stands on the sample of the show
// time however many moves came before: nothing is added up. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "capture/frame_rate.h"
#include "demo/definitions.h"
#include "demo/demo_clock.h"

class cDemoSound;
class SoundPlayer;

class Transport final : public DemoClock {
 public:
  static constexpr uint32_t kSeekMs = 1000;
  static constexpr uint32_t kLongSeekMs = 10000;

  // `inner` is the clock the show follows without a transport (the playback
  // clock; a test's scripted one); not owned, it must outlive the transport.
  explicit Transport(DemoClock& inner) : mInner(inner) {}

  // Where the music moved with the show is found at each move: a music
  // reload may replace it. It answers null for none; the sound is not owned.
  void setMusic(std::function<cDemoSound*()> music) { mMusic = std::move(music); }
  // The timeline whose entry windows PageUp/PageDown jump between; read at
  // each jump, so a timeline rebuilt in place is followed. Not owned.
  void setTimeline(const std::vector<SceneLineRecord>* lines) { mTimeline = lines; }
  // The display's frame rate, the size of a frame step (60 by default).
  void setFrameRate(FrameRate rate) { mRate = rate; }
  FrameRate frameRate() const { return mRate; }

  // DemoClock: the show's start starts the transport playing there; a
  // restart while paused (a music reload) moves it there and stays paused.
  // Until the start the inner clock answers alone. Once started the show
  // never runs out: music that ends pauses the transport at its end.
  uint32_t ticksMs() override { return mInner.ticksMs(); }
  void start(uint32_t musicMs) override;
  uint32_t musicTimeMs() override;
  bool playing() override { return mStarted || mInner.playing(); }

  // A key press (platform::Key, platform::KeyFlag bits): true when it is one
  // of the transport's. Nothing moves before the show has started.
  bool handleKey(int32_t key, uint32_t flags);

  void togglePause();
  // Seeks by `deltaMs`, held to the music (0 to its end).
  void seekBy(int64_t deltaMs);
  void seekTo(int64_t ms);
  // The nearest timeline entry boundary (a window's start or end) before or
  // after the show time; nothing when there is none.
  void previousBoundary();
  void nextBoundary();
  void setLoopIn() { mLoopIn = mTime; }
  void setLoopOut() { mLoopOut = mTime; }
  void toggleLoop() { mLooping = !mLooping; }
  // Steps `frames` display frames (negative: back), pausing first; the n-th
  // step from where stepping began lands on that frame's time exactly.
  void stepFrames(int64_t frames);

  bool started() const { return mStarted; }
  bool paused() const { return mPaused; }
  // The show time of the last reading or move.
  uint32_t time() const { return mTime; }
  uint32_t loopIn() const { return mLoopIn; }
  uint32_t loopOut() const { return mLoopOut; }
  // Looping was asked for (L); it takes effect while loopIn < loopOut.
  bool looping() const { return mLooping; }
  bool loopActive() const { return mLooping && mLoopIn < mLoopOut; }

 private:
  // The music's length in ms; UINT32_MAX without music.
  uint32_t musicEndMs() const;
  // Shows `ms` from now on: the music restarts there unless paused.
  void moveTo(uint32_t ms);
  void restartMusic();

  DemoClock& mInner;
  SoundPlayer* player() const;

  std::function<cDemoSound*()> mMusic;
  const std::vector<SceneLineRecord>* mTimeline = nullptr;
  FrameRate mRate{60, 1};
  bool mStarted = false;
  bool mPaused = false;
  uint32_t mTime = 0;
  // Frame steps count from an anchor, so that their times never drift.
  uint32_t mStepAnchor = 0;
  int64_t mSteps = 0;
  uint32_t mLoopIn = 0;
  uint32_t mLoopOut = 0;
  bool mLooping = false;
};
