// The demo manager: the timeline, loading, the loader's fade, the music and
// the frame loop (scene pass, post-effect chain, final screen pass).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <glm/vec2.hpp>

#include "core/core.h"
#include "demo/definitions.h"
#include "demo/demo_clock.h"
#include "demo/demo_scene.h"
#include "demo/param_keys.h"
#include "demo/show_options.h"
#include "render/matrix_stack.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

class cDemoSound;
class ShowHost;

// Runs the show: loading, the loader's fade to black, the music and the
// frame loop (scene pass, post-effect chain, final screen pass), and the
// three-second closing fade after the first Escape.
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
  // Creates the render targets and built-in effects at the window's size
  // (the current viewport without a window), opens the music and has the
  // loading screen presented on the current window; false (exit status 1,
  // one line on stderr) when the music cannot be played.
  bool initialize() override;
  // Releases scenes, effects and buffers, takes the loading screen's
  // presenter back and shuts the music player down.
  bool terminate() override;
  // The show's frame. Returns false when the show is over.
  bool update() override;

  // Music volume of the closing fade at brightness b (1 at Escape, 0 three
  // seconds later), in hundredths of a decibel.
  static int32_t endingVolume(float b);
  // The sub-pixel offsets of `samples` anti-aliasing samples (0: one zero
  // entry); `count` receives the table's length.
  static const glm::vec2* jitterTableFor(int32_t samples, size_t& count);
  // The final picture's rectangle in the unit square for a display of
  // aspect aw:ah (the picture is 16:9): x0, y0, x1, y1.
  static void letterbox(int32_t aw, int32_t ah, float (&rect)[4]);

  // Rehearsal (show_reload.cpp): the timeline, post effects, custom textures
  // and scenes built again from the definition documents and the cached
  // resources, at the current show time and without a loading screen.
  void rebuildShow();
  // Rehearsal: the track `path` opened (for `window`, as initialize opens
  // the options' music) and played on from the current show time; it
  // becomes the options' music. False, the old music kept, when it cannot
  // be opened.
  bool reopenMusic(void* window, const std::string& path);

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
  // The clock that follows the music, for an options clock to wrap (a
  // rehearsal's transport).
  DemoClock& playbackClock() { return mPlaybackClock; }

  // The application's side of the show (not owned; it must outlive the
  // show). Installed once, before initialisation.
  void setHost(ShowHost* host) { mHost = host; }

  // The options of the next run: given before initialize, which reads them;
  // terminate forgets them (the clock they name is not owned).
  void setShowOptions(const ShowOptions& options) { mOptions = options; }
  const ShowOptions& showOptions() const { return mOptions; }
  // Moves the show to music time `ms`. Before the music starts the run
  // starts there (and a loop starts there again); while it plays, the
  // music and the clock start again from there, as at the start of a run.
  void seek(uint32_t ms);

  // Timeline and scene-file list; false (lists empty) for a document that
  // is missing or not one. The scene-file list keeps only entries the
  // timeline refers to, so the timeline is read first.
  bool readTimeline();
  bool readSceneList();
  const std::vector<SceneLineRecord>& sceneLines() const { return mSceneLines; }
  const std::vector<QdfEntryRecord>& qdfEntries() const { return mQdfEntries; }
  cDemoScene* sceneSlot(int line, int slot) const { return sceneSlots[line][slot].get(); }
  resShader* lineEffect(int line, int slot) const { return lineEffects[line][slot].get(); }
  // The first filled slot of `line` whose window holds t, or -1.
  int activeSlot(int line, uint32_t t) const;

  cScreenBuffer* lineBuffer(int line) const { return lineBuffers[line].get(); }
  cScreenBuffer* workBuffer(int index) const { return workBuffers[index].get(); }
  cScreenBuffer* finalScreenBuffer() const { return finalBuffer.get(); }

  // The anti-aliasing sample the current line draws (0 between lines).
  int32_t jitterSample() const { return jitterIndex; }
  // What the current line draws with (built per line by the scene pass).
  const DrawContext& drawContext() const { return mDrawContext; }

 private:
  uint32_t now() const;
  // Plays the music and starts the clock at `ms`.
  void startMusicAt(uint32_t ms);
  void releaseScenes();
  void releaseTargets();
  void load();
  void instantiateScenes();
  void loaderFadeFrame(float f);
  void playFrame();
  void scenePass(uint32_t t);
  void postEffectPass(uint32_t t);
  void finalScreenPass();
  void bindBufferNames(ParamKeys& keys) const;
  // The full-screen quads, in the unit square: 0 the whole square, 1 the
  // letterboxed picture.
  void createQuads();
  void drawQuad(int quad) const;
  bool ending();

  ShowHost* mHost = nullptr;
  ShowOptions mOptions;
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

  std::vector<SceneLineRecord> mSceneLines;
  std::vector<ResourceRef<resShader>> mSceneLineEffects;  // parallel to mSceneLines
  std::vector<QdfEntryRecord> mQdfEntries;
  std::unique_ptr<cDemoScene> sceneSlots[kSceneLineCount][kScenesPerLine];
  ResourceRef<resShader> lineEffects[kSceneLineCount][kScenesPerLine];

  // The launcher's choices, taken once in initialize.
  int32_t mSampleCount = 0;
  int32_t mAspectWidth = 16;
  int32_t mAspectHeight = 9;
  glm::ivec2 mScreenSize{0};

  std::unique_ptr<cScreenBuffer> sampleBuffer;
  std::unique_ptr<cScreenBuffer> lineBuffers[kSceneLineCount];
  std::unique_ptr<cScreenBuffer> workBuffers[kWorkBufferCount];
  std::unique_ptr<cScreenBuffer> finalBuffer;
  // The scene pass's state while a line draws; the drawing code gets it in
  // the draw context.
  int32_t jitterIndex = 0;
  const glm::vec2* jitterTable = nullptr;
  double viewportWidth = 0.0;
  double viewportHeight = 0.0;
  float texScaleU = 1.0f;
  float texScaleV = 1.0f;
  MatrixStack mMatrices;
  DrawContext mDrawContext;

  // GL texture names of the targets, taken once they exist.
  uint32_t mLineColour[kSceneLineCount] = {};
  uint32_t mLineDepth[kSceneLineCount] = {};
  uint32_t mWorkColour[kWorkBufferCount] = {};
  uint32_t mSampleColour = 0;
  uint32_t mFinalColour = 0;
  ResourceRef<resShader> finalScreenEffect;
  ResourceRef<resShader> nullPostEffect;
  ResourceRef<resShader> msaaEffect;
  uint32_t mQuadBuffer = 0;  // GL buffer of the two quads
  ParamKeys mSampleKeys, mDivideKeys, mNullKeys, mFinalKeys;

  // Puts each loading-screen frame on the window while the show loads.
  class WindowPresenter : public LoadingPresenter {
   public:
    void clearFrame() override;
    void presentFrame() override;
  };
  WindowPresenter mLoadingPresenter;
};
