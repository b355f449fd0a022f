// The application's side of the show: what the demo manager reads of the
// launcher's settings and the system manager, behind the interface the demo
// layer declares.
#include "app/managers.h"
#include "demo/demo_manager.h"

namespace {

void ignoreKey(void*, int32_t) {}
void ignoreWheel(void*, int32_t) {}
void ignoreMove(void*, int16_t, int16_t) {}
void ignoreButton(void*, int16_t, int16_t, int32_t) {}

}  // namespace

ApplicationShowHost::ApplicationShowHost(demoManager& demo) { demo.setHost(this); }

ShowHost::Display ApplicationShowHost::display() const {
  const settingsManager& s = settingsManager::instance();
  Display d;
  d.sampleCount = s.sampleCount;
  d.aspectWidth = s.aspectWidth;
  d.aspectHeight = s.aspectHeight;
  d.screenSize = glm::ivec2(s.screenWidth, s.screenHeight);
  d.lowQuality = s.lowQuality;
  d.gammaBoost = s.bigScreen && s.fullScreen;
  return d;
}

bool ApplicationShowHost::windowSize(uint32_t& width, uint32_t& height) const {
  return systemManager::instance().screenSize(width, height);
}

platform::WindowHandle ApplicationShowHost::window() const {
  const CWindowGL* window = systemManager::instance().window();
  return window ? window->handle() : nullptr;
}

void ApplicationShowHost::setGamma(float gamma) {
  if (CWindowGL* window = systemManager::instance().window()) window->setGamma(gamma);
}

void ApplicationShowHost::ignoreInput() {
  systemManager& system = systemManager::instance();
  system.keyUpListener = {this, ignoreKey, nullptr, nullptr, nullptr};
  system.wheelListener = {this, nullptr, ignoreWheel, nullptr, nullptr};
  system.mouseMoveListener = {this, nullptr, nullptr, ignoreMove, nullptr};
  system.buttonDownListener = {this, nullptr, nullptr, nullptr, ignoreButton};
  system.buttonUpListener = {this, nullptr, nullptr, nullptr, ignoreButton};
}

bool ApplicationShowHost::exitRequested() const { return systemManager::instance().exitRequested; }

void ApplicationShowHost::setStartupExitStatus(int status) { ::setStartupExitStatus(status); }
