// Demo manager, scene framework and the other demo-side managers.
#include "demo/demo.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "render/render.h"
#include "sound/sound.h"

VESPER_IMPLEMENT_DYNAMIC(cDemoScene, CoreObject)
VESPER_IMPLEMENT_INTERFACE(sceneManager)
VESPER_IMPLEMENT_DYNAMIC(sceneManager, Interface<sceneManager>)
VESPER_IMPLEMENT_INTERFACE(customTextureManager)
VESPER_IMPLEMENT_DYNAMIC(customTextureManager, Interface<customTextureManager>)
VESPER_IMPLEMENT_INTERFACE(cPostEffectManager)
VESPER_IMPLEMENT_DYNAMIC(cPostEffectManager, Interface<cPostEffectManager>)
VESPER_IMPLEMENT_INTERFACE(demoManager)
VESPER_IMPLEMENT_DYNAMIC(demoManager, Interface<demoManager>)

void QdfLoadingScene::draw(float progress) {
  if (!mScene) return;
  mScene->before(nullptr, progress);
  mScene->draw(nullptr, progress);
  mScene->after(nullptr, progress);
}

namespace {

void ignoreKey(void*, int32_t) {}
void ignoreWheel(void*, int32_t) {}
void ignoreMove(void*, int16_t, int16_t) {}
void ignoreButton(void*, int16_t, int16_t, int32_t) {}

// A black full-screen quad with `alpha`, drawn over the finished frame.
void recordClosingFade(float alpha) {
  intermediateCommand& list = intermediateCommand::instance();
  drawMaterial* m = list.newMaterial();
  if (!m) return;
  m->red = m->green = m->blue = 0.0f;
  m->alpha = alpha;
  list.recordScreenOverlay(m);
}

void clearToBlack() {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace

demoManager::demoManager() = default;
demoManager::~demoManager() = default;

uint32_t demoManager::now() const { return mClock->ticksMs(); }

int32_t demoManager::endingVolume(float b) {
  if (b <= 0.0f) return -10000;
  return static_cast<int32_t>((std::sqrt(b) - 1.0f) * 10000.0f);
}

bool demoManager::initialize() {
  systemManager& system = systemManager::instance();
  system.keyUpListener = {this, ignoreKey, nullptr, nullptr, nullptr};
  system.wheelListener = {this, nullptr, ignoreWheel, nullptr, nullptr};
  system.mouseMoveListener = {this, nullptr, nullptr, ignoreMove, nullptr};
  system.buttonDownListener = {this, nullptr, nullptr, nullptr, ignoreButton};
  system.buttonUpListener = {this, nullptr, nullptr, nullptr, ignoreButton};

  // Render targets, the built-in screen effects, the viewport size and the
  // anti-aliasing jitter table are created here once the post-effect chain
  // that uses them exists.

  demoState = Reset;
  mLoaderFadeStarted = false;
  mEndingStarted = false;
  mEndingBrightness = 1.0f;
  mMusicTime = 0;

  CWindowGL* window = system.window();
  if (playMusic) {
    mSound = std::make_unique<cDemoSound>();
    mSound->trackName = musicPath;
    if (!mSound->openMusic(window ? window->handle() : nullptr)) {
      setStartupExitStatus(reportSoundStartupFailure(*mSound));
      mSound.reset();
      return false;
    }
  }
  mPlaybackClock.setSound(mSound.get());

  const settingsManager& s = settingsManager::instance();
  if (s.bigScreen && s.fullScreen && window) window->setGamma(1.2f);
  return true;
}

bool demoManager::terminate() {
  mPlaybackClock.setSound(nullptr);
  mSound.reset();  // stops the music and releases the device
  return true;
}

void demoManager::loaderFadeFrame(float f) {
  clearToBlack();
  // The loading scene is drawn here at progress 1 once scenes exist; the
  // fade below then takes the finished loading bar to black.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  const GLboolean blend = glIsEnabled(GL_BLEND);
  const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glColor4f(0.0f, 0.0f, 0.0f, std::min(f, 1.0f));
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(1, 0);
  glVertex2f(1, 1);
  glVertex2f(0, 1);
  glEnd();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  if (!blend) glDisable(GL_BLEND);
  if (depthTest) glEnable(GL_DEPTH_TEST);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

void demoManager::playFrame() {
  clearToBlack();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // The scene pass, the post-effect chain (which clears again) and the
  // final screen pass at mMusicTime go here.
}

bool demoManager::update() {
  switch (demoState) {
    case Reset:
      // Scene slots and line effects are released here once they exist.
      demoState = Load;
      break;
    case Load:
      // The post-effect and custom-texture definitions, the timeline and the
      // scene-file list are read here, the loading scene installed and the
      // scene files preloaded; nothing of that exists yet.
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
      if (mSound) {
        if (SoundPlayer* player = mSound->getPlayer()) player->playFrom(startMs);
      }
      mClock->start(startMs);
      mMusicTime = startMs;
      demoState = Play;
      [[fallthrough]];
    case Play:
      mMusicTime = mClock->musicTimeMs();
      playFrame();
      if (!mClock->playing()) {
        if (!settingsManager::instance().loopShow) return false;
        demoState = StartMusic;
      }
      break;
  }
  if (systemManager::instance().exitRequested && !ending()) return false;
  return true;
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
