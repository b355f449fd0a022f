// Demo: demo manager and timeline, post-effect chain, custom textures and
// the scene framework.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/core.h"
#include "demo/demo_clock.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"

class cDemoSound;

// One timeline entry's scene.
class cDemoScene : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cDemoScene)
 public:
  virtual ~cDemoScene() = default;
};

// A file scene as the loading screen: each frame is its before, draw and
// after at the loading progress, without a renderer.
class QdfLoadingScene : public LoadingScene {
 public:
  explicit QdfLoadingScene(std::unique_ptr<CSceneQdfDefault> scene) : mScene(std::move(scene)) {}
  void draw(float progress) override;
  CSceneQdfDefault* scene() const { return mScene.get(); }

 private:
  std::unique_ptr<CSceneQdfDefault> mScene;
};

class sceneManager : public Interface<sceneManager> {
  VESPER_DECLARE_DYNAMIC(sceneManager)
 public:
  static sceneManager& instance();
};

class customTextureManager : public Interface<customTextureManager> {
  VESPER_DECLARE_DYNAMIC(customTextureManager)
 public:
  static customTextureManager& instance();
  uint16_t getPriority() const override { return 1; }
};

class cPostEffectManager : public Interface<cPostEffectManager> {
  VESPER_DECLARE_DYNAMIC(cPostEffectManager)
 public:
  static cPostEffectManager& instance();
  uint16_t getPriority() const override { return 1; }
};

// Runs the show: loading, the loader's fade to black, the music and the
// frame loop, and the three-second closing fade after the first Escape.
class demoManager : public Interface<demoManager> {
  VESPER_DECLARE_DYNAMIC(demoManager)
 public:
  enum DemoState : int32_t { Reset = 0, Load = 1, LoaderFade = 2, StartMusic = 3, Play = 4 };

  // The loader fade: progress f = elapsed / kLoaderFadeMs; the screen stays
  // black until f passes kLoaderFadeEnd (1.8 s in all).
  static constexpr uint32_t kLoaderFadeMs = 1500;
  static constexpr float kLoaderFadeEnd = 1.2f;
  // The closing fade after Escape.
  static constexpr uint32_t kEndingMs = 3000;

  demoManager();
  ~demoManager() override;
  static demoManager& instance();
  uint16_t getPriority() const override { return 256; }
  // Opens the music; false (exit status 1, one line on stderr) when it
  // cannot be played.
  bool initialize() override;
  // Shuts the music player down.
  bool terminate() override;
  // The show's frame. Returns false when the show is over.
  bool update() override;

  // Music volume of the closing fade at brightness b (1 at Escape, 0 three
  // seconds later), in hundredths of a decibel.
  static int32_t endingVolume(float b);

  DemoState state() const { return demoState; }
  // The milliseconds of music time of the last Play frame.
  uint32_t musicTime() const { return mMusicTime; }
  cDemoSound* sound() const { return mSound.get(); }
  // The brightness of the last ending step (1 before Escape).
  float endingBrightness() const { return mEndingBrightness; }

  // The timer of the playback clock (the fades, and the music time while
  // the music plays); null restores the platform timer.
  using TimeSource = PlaybackClock::TimeSource;
  void setTimeSource(TimeSource source) { mPlaybackClock.setTimeSource(source); }
  // The clock the show follows instead of the music player's (a capture's,
  // a test's); not owned, it must outlive its use. Null restores the
  // playback clock.
  void setClock(DemoClock* clock) { mClock = clock ? clock : &mPlaybackClock; }

  // The track the music player opens (relative to the working directory).
  std::string musicPath = "music.ogg";
  // The music time the show starts at (a rehearsal's --start; a capture's
  // first frame); a loop starts there again.
  uint32_t startMs = 0;
  // False: initialize opens no music player and no sound device (a capture
  // decodes the music itself and runs on its own clock).
  bool playMusic = true;

 private:
  uint32_t now() const;
  void loaderFadeFrame(float f);
  void playFrame();
  bool ending();

  DemoState demoState = Reset;
  std::unique_ptr<cDemoSound> mSound;
  PlaybackClock mPlaybackClock;
  DemoClock* mClock = &mPlaybackClock;
  bool mLoaderFadeStarted = false;
  uint32_t mLoaderFadeStart = 0;
  bool mEndingStarted = false;
  uint32_t mEndingStart = 0;
  float mEndingBrightness = 1.0f;
  uint32_t mMusicTime = 0;
};
