// Rehearsal controls: installing the transport, the overlay and their keys.
#include "app/rehearsal_controls.h"

#include "app/managers.h"
#include "demo/demo_manager.h"
#include "platform/window.h"
#include "render/render.h"

RehearsalControls::RehearsalControls()
    : mTransport(demoManager::instance().playbackClock()), mOverlay(mTransport, rehearsalState()) {
  demoManager& demo = demoManager::instance();
  mTransport.setMusic([] { return demoManager::instance().sound(); });
  mTransport.setTimeline(&demo.sceneLines());
}

void RehearsalControls::attach() {
  platform::DisplayMode mode;
  if (platform::desktopMode(settingsManager::instance().display, mode) && mode.refreshRate > 0) {
    mTransport.setFrameRate(FrameRate{mode.refreshRate, 1});
  }
  systemManager::instance().keyDownListener = {this, &RehearsalControls::onKeyDown};
  rendererManager::instance().setWindowOverlay(&mOverlay);
}

RehearsalControls::~RehearsalControls() {
  rendererManager::instance().setWindowOverlay(nullptr);
  systemManager::instance().keyDownListener = {};
}

void RehearsalControls::onKeyDown(void* self, int32_t key, uint32_t flags) {
  RehearsalControls& c = *static_cast<RehearsalControls*>(self);
  if (!c.mTransport.handleKey(key, flags)) c.mOverlay.handleKey(key, flags);
}
