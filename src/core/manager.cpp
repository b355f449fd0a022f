// Manager list, initialisation and termination passes, frame driver and the
// message loop.
#include "core/core.h"
#include "platform/platform.h"

VESPER_IMPLEMENT_DYNAMIC_ABSTRACT(InterfaceBase, CoreObject)

namespace {
// Static storage, zero at load: managers constructed during static
// initialisation of any translation unit can append safely.
ManagerList gManagerList;
}  // namespace

ManagerList& managerList() { return gManagerList; }

InterfaceBase::InterfaceBase() {
  // The list never holds more than the fixed manager set; an overflow is a
  // programming error, caught here instead of writing past the array.
  if (gManagerList.count >= ManagerList::kCapacity) platform::fatalExit("manager list is full");
  gManagerList.entries[gManagerList.count] = this;
  ++gManagerList.count;
}

bool initializeAll() {
  for (uint32_t p = 0; p <= 65535; ++p) {
    for (unsigned i = 0; i < gManagerList.count; ++i) {
      InterfaceBase* m = gManagerList.entries[i];
      if (m->getPriority() == p && !m->initialize()) return false;
    }
  }
  return true;
}

bool terminateAll() {
  for (int32_t p = 65535; p >= 0; --p) {
    for (unsigned i = 0; i < gManagerList.count; ++i) {
      InterfaceBase* m = gManagerList.entries[i];
      if (m->getPriority() == static_cast<uint32_t>(p) && !m->terminate()) return false;
    }
  }
  return true;
}

bool runFrame(const FrameManagers& m) {
  m.profile->beginFrame();
  m.flag->update();
  m.system->update();
  m.renderer->beginFrame();
  const bool keepRunning = m.demo->update();
  m.renderer->update();
  m.profile->endFrame();
  m.renderer->endFrame();
  return keepRunning;
}

int runMainLoop(platform::EventSource& events, bool& exitRequested,
                const std::function<bool()>& frame) {
  platform::Event e;
  for (;;) {
    if (events.poll(e)) {
      if (e.type == platform::EventType::Quit) return e.exitCode;
      if (e.type == platform::EventType::Null) continue;
      if (e.type == platform::EventType::KeyDown && e.key == platform::KeyEscape) {
        if (exitRequested) return 0;
        exitRequested = true;
      }
      events.dispatch(e);
    } else if (!frame()) {
      return 0;
    }
  }
}
