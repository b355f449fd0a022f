// What a rehearsal's reload asks of the running show: its parts built again
// around the resources replaced in place, and the music reopened.
#include "demo/custom_textures.h"
#include "demo/demo_manager.h"
#include "demo/post_effects.h"
#include "sound/sound.h"

void demoManager::rebuildShow() {
  releaseScenes();
  cPostEffectManager::instance().readDefinition();
  customTextureManager::instance().readDefinition();
  readTimeline();
  readSceneList();
  instantiateScenes();
}

bool demoManager::reopenMusic(void* window, const std::string& path) {
  if (!mOptions.playMusic || !mSound) return false;
  // One player at a time: the sound shuts its old one down before opening.
  const std::string previous = mSound->trackName;
  mSound->trackName = path;
  const bool opened = mSound->openMusic(window);
  if (opened) {
    mOptions.musicPath = path;
  } else {
    mSound->trackName = previous;
    mSound->openMusic(window);
  }
  if (demoState == Play) {
    if (SoundPlayer* player = mSound->getPlayer()) player->playFrom(mMusicTime);
    mClock->start(mMusicTime);
  }
  return opened;
}
