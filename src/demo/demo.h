// Demo: demo manager and timeline, post-effect chain, custom textures and
// the scene framework.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <glm/vec2.hpp>

#include "core/core.h"
#include "demo/definitions.h"
#include "demo/demo_clock.h"
#include "demo/show_options.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

class cDemoSound;
class ShowHost;

// Writes each problem once to stderr, naming the document and the entry.
void reportDefinitionProblems(const char* pDocument, const std::vector<DefinitionProblem>& problems);

// One timeline entry's scene: the scene file, its renderer and one scene
// instance per file scene, played one after another.
class cDemoScene : public CoreObject {
  VESPER_DECLARE_DYNAMIC(cDemoScene)
 public:
  // An empty scene that never draws (what the class registry creates).
  cDemoScene() = default;
  // Loads (or shares) the scene file at `path`. animStart -1 is 0; animEnd -1
  // is the sum of every camera object's last key time.
  cDemoScene(const char* pPath, const char* pShader, int line, uint32_t sTime, uint32_t eTime, int animStart,
             int animEnd);
  virtual ~cDemoScene();
  // The scene manager's end and readiness queries.
  virtual bool end() { return true; }
  virtual bool isReady() { return true; }
  // The context its drawing uses (not owned); required before render.
  void setDrawContext(DrawContext* context);
  // Draws the file scene current at `progress` (0 to 1 of the entry's
  // window) into the bound target; nothing when none is current. True.
  virtual bool render(float progress);

  const std::string& path() const { return mPath; }
  const std::string& shader() const { return mShader; }
  int line() const { return mLine; }
  uint32_t sTime() const { return mSTime; }
  uint32_t eTime() const { return mETime; }
  int animStart() const { return mAnimStart; }
  int animEnd() const { return mAnimEnd; }
  resQDF* scene() const { return mScene.get(); }
  cQdfRender* renderer() const { return mRenderer.get(); }
  const std::vector<std::unique_ptr<CSceneQdfDefault>>& sceneInstances() const { return mSceneInstances; }

 private:
  std::string mPath;
  std::string mShader;
  int mLine = 0;
  uint32_t mSTime = 0;
  uint32_t mETime = 0;
  int mAnimStart = 0;
  int mAnimEnd = 0;
  ResourceRef<resQDF> mScene;
  std::unique_ptr<cQdfRender> mRenderer;
  std::vector<std::unique_ptr<CSceneQdfDefault>> mSceneInstances;
};

// The file scene instance for `name`: the registered class "CSceneQdf_" +
// name (prefix rule) when it derives from CSceneQdfDefault, else the default.
std::unique_ptr<CSceneQdfDefault> createSceneInstance(const std::string& name);

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

// A stack of demo scenes by class name; the engine keeps it, the show does
// not use it.
class sceneManager : public Interface<sceneManager> {
  VESPER_DECLARE_DYNAMIC(sceneManager)
 public:
  static sceneManager& instance();
  ~sceneManager() override;
  // Ends and deletes the current scene; `pName` becomes current on update.
  void changeScene(const char* pName);
  // Suspends the current scene; `pName` becomes current on update.
  void pushScene(const char* pName);
  // Ends the current scene and resumes the last suspended one.
  void popScene();
  // An instance of the registered demo scene class `pName`, or null.
  static std::unique_ptr<cDemoScene> createScene(const char* pName);
  bool update() override;
  bool terminate() override;
  cDemoScene* currentScene() const { return mCurrent.get(); }
  size_t stackDepth() const { return mStack.size(); }

 private:
  std::vector<std::unique_ptr<cDemoScene>> mStack;
  std::unique_ptr<cDemoScene> mCurrent;
  bool mChangePending = false;
  std::string mPendingName;
};

// The parameters a show pass sets on one effect every frame, in the order it
// sets them: each name is looked up once, and again only when the effect in
// use, the `generation` given to begin or the name at that place changes.
// Names are kept by pointer and must outlive the keys.
class ParamKeys {
 public:
  void begin(resShader& effect, uint32_t generation = 0);
  // Sets the next parameter of the sequence on the effect given to begin.
  void set(const char* pName, const void* values);
  void setFloat(const char* pName, float value);  // a scalar, repeated to four floats

 private:
  struct Key {
    const char* name;
    int32_t key;
  };
  resShader* mEffect = nullptr;
  uint64_t mKeyedFor = 0;  // the serial of the effect the keys are for
  uint32_t mGeneration = 0;
  size_t mNext = 0;
  std::vector<Key> mKeys;
};

// Textures every effect may sample by an agreed sampler name.
class customTextureManager : public Interface<customTextureManager>, public CustomTextureSource {
  VESPER_DECLARE_DYNAMIC(customTextureManager)
 public:
  static customTextureManager& instance();
  ~customTextureManager() override;
  uint16_t getPriority() const override { return 1; }
  bool terminate() override;
  // Replaces the bindings with those of the definition document; false
  // (and none) when it is missing or not one.
  bool readDefinition();
  // Binds every texture to `effect` (null: the current effect); the current
  // effect is the same afterwards.
  void apply(resShader* effect) const override;
  // The same through the keys of a show pass's sequence.
  void apply(ParamKeys& keys) const;
  size_t bindingCount() const { return mBindings.size(); }
  // Changes with every readDefinition: keys that include the bindings are
  // looked up again.
  uint32_t generation() const { return mGeneration; }

 private:
  uint32_t mGeneration = 0;
  struct Binding {
    std::string sampler;
    ResourceRef<resTexture> texture;
    uint32_t glName = 0;  // 0: the texture did not load; skipped
  };
  std::vector<Binding> mBindings;
};

// The post effects of the definition document, in execution order.
class cPostEffectManager : public Interface<cPostEffectManager> {
  VESPER_DECLARE_DYNAMIC(cPostEffectManager)
 public:
  static cPostEffectManager& instance();
  ~cPostEffectManager() override;
  uint16_t getPriority() const override { return 1; }
  bool terminate() override;
  // Replaces the entries with those of the definition document and loads
  // their effects; false (and none) when it is missing or not one.
  bool readDefinition();

  size_t entryCount() const { return mEntries.size(); }
  const PostEffectRecord& entry(size_t m) const { return mEntries[m].record; }
  // The entry's effect while sTime <= t <= eTime, else null.
  resShader* activeEffect(size_t m, uint32_t t) const;
  // 0 to 1 across the entry's window; 0 outside it.
  float timeRate(size_t m, uint32_t t) const;
  // The keys of the parameters the show sets on the entry's effect.
  ParamKeys& keys(size_t m) const { return mEntries[m].keys; }
  // Sets the entry's constants and sources through `keys`. The arrays hold
  // GL texture names, kSceneLineCount / kWorkBufferCount each.
  void bindConstantsAndSources(size_t m, ParamKeys& keys, const uint32_t* lineColour, const uint32_t* lineDepth,
                               const uint32_t* workColour) const;

 private:
  struct Entry {
    PostEffectRecord record;
    ResourceRef<resShader> effect;
    mutable ParamKeys keys;
  };
  std::vector<Entry> mEntries;
};

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
