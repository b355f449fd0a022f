// Demo manager: the timeline, loading, the frame states and the closing fade.
#include "demo/demo_manager.h"

#include <GL/glew.h>

#include <algorithm>
#include <cassert>
#include <cmath>

#include "demo/custom_textures.h"
#include "demo/definitions.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "demo/show_host.h"
#include "demo/show_options.h"
#include "demo/unit_square.h"
#include "render/render.h"
#include "sound/sound.h"

VESPER_IMPLEMENT_INTERFACE(demoManager)
VESPER_IMPLEMENT_DYNAMIC(demoManager, Interface<demoManager>)

namespace {

// A black full-screen quad with `alpha`, drawn over the finished frame.
void recordClosingFade(float alpha) {
  intermediateCommand& list = intermediateCommand::instance();
  drawMaterial* m = list.newMaterial();
  if (!m) return;
  m->red = m->green = m->blue = 0.0f;
  m->alpha = alpha;
  list.recordScreenOverlay(m);
}

void clear(float alpha) {
  glClearColor(0.0f, 0.0f, 0.0f, alpha);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Accumulation-buffer jitter tables, in pixels.
const glm::vec2 kJitter0[1] = {{0.0f, 0.0f}};
const glm::vec2 kJitter2[2] = {{0.246490f, 0.249999f}, {-0.246490f, -0.249999f}};
const glm::vec2 kJitter3[3] = {{-0.373411f, -0.250550f}, {0.256263f, 0.368119f}, {0.117148f, -0.117570f}};
const glm::vec2 kJitter4[4] = {
    {-0.208147f, 0.353730f}, {0.203849f, -0.353780f}, {-0.292626f, -0.149945f}, {0.296924f, 0.149994f}};
const glm::vec2 kJitter8[8] = {{-0.334818f, 0.435331f}, {0.286438f, -0.393495f}, {0.459462f, 0.141540f},
                               {-0.414498f, -0.192829f}, {-0.183790f, 0.082102f}, {-0.079263f, -0.317383f},
                               {0.102254f, 0.299133f},   {0.164216f, -0.054399f}};
// Sixteen samples: the centre, then the fifteen-point table.
const glm::vec2 kJitter16[16] = {
    {0.0f, 0.0f},           {0.285561f, 0.188437f},   {0.360176f, -0.065688f}, {-0.111751f, 0.275019f},
    {-0.055918f, -0.215197f}, {-0.080231f, -0.470965f}, {0.138721f, 0.409168f},  {0.384120f, 0.192645f},
    {-0.454147f, 0.002668f},  {0.056156f, 0.424511f},   {-0.220691f, -0.052751f}, {0.087436f, -0.164014f},
    {-0.193315f, 0.484014f},  {-0.375022f, -0.308005f}, {0.174869f, -0.416498f}, {-0.280049f, 0.324578f}};

constexpr char kFinalScreenEffectPath[] = "data\\core\\shader\\finalScreenShader.cgfx";
constexpr char kNullPostEffectPath[] = "data\\core\\shader\\nullPostEffect.cgfx";
constexpr char kMsaaEffectPath[] = "data\\core\\shader\\msaa.cgfx";
constexpr char kLoaderSceneName[] = "loader";

uint32_t powerOfTwoAtLeast(uint32_t v) {
  uint32_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

}  // namespace

demoManager::demoManager() = default;
demoManager::~demoManager() = default;

uint32_t demoManager::now() const { return mClock->ticksMs(); }

int32_t demoManager::endingVolume(float b) {
  if (b <= 0.0f) return -10000;
  return static_cast<int32_t>((std::sqrt(b) - 1.0f) * 10000.0f);
}

const glm::vec2* demoManager::jitterTableFor(int32_t samples, size_t& count) {
  switch (samples) {
    case 2: count = 2; return kJitter2;
    case 3: count = 3; return kJitter3;
    case 4: count = 4; return kJitter4;
    case 8: count = 8; return kJitter8;
    case 16: count = 16; return kJitter16;
    default: count = 1; return kJitter0;
  }
}

void demoManager::WindowPresenter::clearFrame() { clear(1.0f); }

// Straight to the window: a loading frame is no frame of the show, so the
// renderer's presentation (and a capture reading it) is not involved.
void demoManager::WindowPresenter::presentFrame() { platform::swapCurrentWindow(); }

bool demoManager::initialize() {
  assert(mHost && "the application installs a show host before initialisation");
  ShowHost& host = *mHost;
  host.ignoreInput();

  demoState = Reset;
  mLoaderFadeStarted = false;
  mEndingStarted = false;
  mEndingBrightness = 1.0f;
  mMusicTime = 0;
  mClock = mOptions.clock ? mOptions.clock : &mPlaybackClock;

  // The music first: without it there is no show, and its failure is the
  // one message the user should see.
  if (mOptions.playMusic) {
    mSound = std::make_unique<cDemoSound>();
    mSound->trackName = mOptions.musicPath;
    if (!mSound->openMusic(host.window())) {
      host.setStartupExitStatus(reportSoundStartupFailure(*mSound));
      mSound.reset();
      return false;
    }
  }
  mPlaybackClock.setSound(mSound.get());

  const ShowHost::Display s = host.display();
  mSampleCount = s.sampleCount;
  mAspectWidth = s.aspectWidth;
  mAspectHeight = s.aspectHeight;
  mScreenSize = s.screenSize;

  uint32_t w = 0, h = 0;
  if (!host.windowSize(w, h)) {
    // No window of our own (tests): the current context's viewport.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    w = static_cast<uint32_t>(viewport[2]);
    h = static_cast<uint32_t>(viewport[3]);
  }
  texScaleU = texScaleV = 1.0f;
  // The texture layer decides whether targets are allocated at powers of two.
  if (!textureManager::instance().nonPowerOfTwo()) {
    texScaleU = static_cast<float>(w) / static_cast<float>(powerOfTwoAtLeast(w));
    texScaleV = static_cast<float>(h) / static_cast<float>(powerOfTwoAtLeast(h));
  }
  const uint32_t format = s.lowQuality ? GL_RGBA8 : GL_RGBA16F_ARB;
  const uint32_t type = s.lowQuality ? GL_UNSIGNED_BYTE : GL_FLOAT;
  auto target = [&](uint32_t flags) {
    auto buffer = std::make_unique<cScreenBuffer>();
    buffer->create(w, h, format, type, flags);
    return buffer;
  };
  // Colour only: each line attaches its own depth before drawing into it.
  sampleBuffer = target(1);
  mSampleColour = sampleBuffer->colourTexture()->glName();
  for (int i = 0; i < kSceneLineCount; ++i) {
    lineBuffers[i] = target(3);
    mLineColour[i] = lineBuffers[i]->colourTexture()->glName();
    mLineDepth[i] = lineBuffers[i]->depthTexture()->glName();
  }
  for (int i = 0; i < kWorkBufferCount; ++i) {
    workBuffers[i] = target(1);
    mWorkColour[i] = workBuffers[i]->colourTexture()->glName();
  }
  finalBuffer = target(1);
  mFinalColour = finalBuffer->colourTexture()->glName();
  createQuads();

  finalScreenEffect = ResourceRef<resShader>::load(kFinalScreenEffectPath);
  nullPostEffect = ResourceRef<resShader>::load(kNullPostEffectPath);
  msaaEffect = ResourceRef<resShader>::load(kMsaaEffectPath);

  viewportWidth = static_cast<double>(w);
  viewportHeight = static_cast<double>(h);
  size_t jitterCount = 0;
  jitterTable = jitterTableFor(mSampleCount, jitterCount);
  jitterIndex = 0;
  mDrawContext = DrawContext();
  mDrawContext.matrices = &mMatrices;
  mDrawContext.viewport = glm::ivec2(static_cast<int>(viewportWidth), static_cast<int>(viewportHeight));
  mDrawContext.screen = mScreenSize;
  mDrawContext.customTextures = &customTextureManager::instance();
  resourceManager::instance().setLoadingPresenter(&mLoadingPresenter);

  if (s.gammaBoost) host.setGamma(1.2f);
  return true;
}

void demoManager::releaseScenes() {
  for (int line = 0; line < kSceneLineCount; ++line) {
    for (int k = 0; k < kScenesPerLine; ++k) {
      sceneSlots[line][k].reset();
      lineEffects[line][k].reset();
    }
  }
}

void demoManager::releaseTargets() {
  sampleBuffer.reset();
  for (auto& b : lineBuffers) b.reset();
  for (auto& b : workBuffers) b.reset();
  finalBuffer.reset();
  if (mQuadBuffer) {
    const GLuint buffer = mQuadBuffer;
    glDeleteBuffers(1, &buffer);
    mQuadBuffer = 0;
  }
  mSampleColour = mFinalColour = 0;
  for (uint32_t& n : mLineColour) n = 0;
  for (uint32_t& n : mLineDepth) n = 0;
  for (uint32_t& n : mWorkColour) n = 0;
}

bool demoManager::terminate() {
  resourceManager::instance().setLoadingPresenter(nullptr);
  mDrawContext.overrideEffect = nullptr;
  nullPostEffect.reset();
  releaseScenes();
  mSceneLineEffects.clear();
  mSceneLines.clear();
  mQdfEntries.clear();
  msaaEffect.reset();
  finalScreenEffect.reset();
  releaseTargets();
  mPlaybackClock.setSound(nullptr);
  mSound.reset();  // stops the music and releases the device
  mClock = &mPlaybackClock;
  mOptions = ShowOptions();
  return true;
}

bool demoManager::readTimeline() {
  mSceneLineEffects.clear();
  mSceneLines.clear();
  std::vector<DefinitionProblem> problems;
  const bool ok = readSceneLines(loadDefinitionDocument(kSceneLineDefinePath), mSceneLines, problems);
  reportDefinitionProblems(kSceneLineDefinePath, problems);
  mSceneLineEffects.resize(mSceneLines.size());
  for (size_t i = 0; i < mSceneLines.size(); ++i) {
    if (mSceneLines[i].shader == "default") continue;
    mSceneLineEffects[i] = ResourceRef<resShader>::load(shaderPathOf(mSceneLines[i].shader).c_str());
  }
  return ok;
}

bool demoManager::readSceneList() {
  mQdfEntries.clear();
  std::vector<DefinitionProblem> problems;
  const bool ok = readQdfEntries(loadDefinitionDocument(kQdfDefinePath), mQdfEntries, problems);
  reportDefinitionProblems(kQdfDefinePath, problems);
  keepReferencedQdfEntries(mQdfEntries, mSceneLines);
  return ok;
}

void demoManager::instantiateScenes() {
  int slotCount[kSceneLineCount] = {};
  for (const SceneLineRecord& line : mSceneLines) {
    const QdfEntryRecord* entry = findQdfEntry(mQdfEntries, line.qdfId);
    if (entry == nullptr) continue;
    // The reader keeps lines and slots within the table.
    const int k = slotCount[line.line]++;
    sceneSlots[line.line][k] = std::make_unique<cDemoScene>(entry->path.c_str(), line.shader.c_str(), line.line,
                                                            line.sTime, line.eTime, 0, -1);
    sceneSlots[line.line][k]->setDrawContext(&mDrawContext);
    if (line.shader != "default") {
      lineEffects[line.line][k] = ResourceRef<resShader>::load(shaderPathOf(line.shader).c_str());
    }
  }
}

void demoManager::load() {
  cPostEffectManager::instance().readDefinition();
  customTextureManager::instance().readDefinition();
  readTimeline();
  readSceneList();
  resourceManager& resources = resourceManager::instance();
  // A load that starts over keeps neither the last one's set nor its progress.
  resources.clearPreloads();
  std::unique_ptr<CSceneQdfDefault> loader = createSceneInstance(kLoaderSceneName);
  loader->name = kLoaderSceneName;
  loader->setup(nullptr);
  resources.setLoadingScene(std::make_unique<QdfLoadingScene>(std::move(loader)));
  for (const QdfEntryRecord& entry : mQdfEntries) resources.registerPreload(entry.path.c_str());
  resources.computeProgressStep();
  resources.loadPreloads();
  instantiateScenes();
}

int demoManager::activeSlot(int line, uint32_t t) const {
  for (int k = 0; k < kScenesPerLine; ++k) {
    const cDemoScene* scene = sceneSlots[line][k].get();
    if (scene && scene->sTime() <= t && t <= scene->eTime()) return k;
  }
  return -1;
}

void demoManager::loaderFadeFrame(float f) {
  clear(1.0f);
  if (LoadingScene* loader = resourceManager::instance().loadingScene()) loader->draw(1.0f);
  UnitSquare square(0, true);
  useNoEffectProgram();
  glDisable(GL_DEPTH_TEST);
  glColor4f(0.0f, 0.0f, 0.0f, std::min(f, 1.0f));
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(1, 0);
  glVertex2f(1, 1);
  glVertex2f(0, 1);
  glEnd();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);  // the engine's default again
}

void demoManager::playFrame() {
  // Transparent black: what a scene leaves empty lets the lines below show.
  clear(0.0f);
  mMatrices.matrixMode(MatrixStack::Projection);
  mMatrices.loadIdentity();
  mMatrices.matrixMode(MatrixStack::ModelView);
  mMatrices.loadIdentity();
  scenePass(mMusicTime);
  postEffectPass(mMusicTime);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  clear(0.0f);
  finalScreenPass();
}

bool demoManager::update() {
  bool musicStarted = false;
  switch (demoState) {
    case Reset:
      releaseScenes();
      demoState = Load;
      break;
    case Load:
      load();
      demoState = LoaderFade;
      [[fallthrough]];
    case LoaderFade: {
      const uint32_t t = now();
      if (!mLoaderFadeStarted) {
        mLoaderFadeStarted = true;
        mLoaderFadeStart = t;
      }
      const float f = static_cast<float>(t - mLoaderFadeStart) / kLoaderFadeMs;
      if (f > kLoaderFadeEnd) {
        demoState = StartMusic;
      } else {
        loaderFadeFrame(f);
      }
      break;
    }
    case StartMusic:
      startMusicAt(mOptions.startMs);
      demoState = Play;
      musicStarted = true;
      [[fallthrough]];
    case Play:
      mMusicTime = mClock->musicTimeMs();
      playFrame();
      if (!mClock->playing()) {
        // Music that is over in the frame it started (a start at or past
        // its end) ends a looped show too: a loop would only start it there
        // again.
        if (!mOptions.loop || musicStarted) return false;
        demoState = StartMusic;
      }
      break;
  }
  if (mHost->exitRequested() && !ending()) return false;
  return true;
}

void demoManager::startMusicAt(uint32_t ms) {
  if (mSound) {
    if (SoundPlayer* player = mSound->getPlayer()) player->playFrom(ms);
  }
  mClock->start(ms);
  mMusicTime = ms;
}

void demoManager::seek(uint32_t ms) {
  if (demoState == Play) {
    startMusicAt(ms);
  } else {
    mOptions.startMs = ms;
  }
}

bool demoManager::ending() {
  const uint32_t t = now();
  if (!mEndingStarted) {
    mEndingStarted = true;
    mEndingStart = t;
  }
  const float b = 1.0f - static_cast<float>(t - mEndingStart) / kEndingMs;
  mEndingBrightness = b;
  if (b < 0.0f) return false;
  recordClosingFade(1.0f - b * b);
  if (mSound && mSound->getPlayer()) mSound->getPlayer()->setVolume(endingVolume(b));
  return true;
}
