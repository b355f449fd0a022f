// What a rehearsal's reload asks of the running show: its parts built again
// around the resources replaced in place, and the music reopened.
#include "demo/demo.h"
#include "sound/sound.h"

void demoManager::rebuildShow() {
  releaseScenes();
  cPostEffectManager::instance().readDefinition();
  customTextureManager::instance().readDefinition();
  readTimeline();
  readSceneList();
  instantiateScenes();
}

bool demoManager::reopenMusic(void* window) {
  if (!playMusic) return false;
  auto sound = std::make_unique<cDemoSound>();
  sound->trackName = musicPath;
  if (!sound->openMusic(window)) return false;
  const uint32_t at = mMusicTime;
  mPlaybackClock.setSound(nullptr);
  mSound = std::move(sound);  // the old player stops here
  mPlaybackClock.setSound(mSound.get());
  if (demoState == Play) {
    if (SoundPlayer* player = mSound->getPlayer()) player->playFrom(at);
    mClock->start(at);
  }
  return true;
}
