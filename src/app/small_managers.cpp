// Settings, flag, profile, message and application managers.
#include <cstdio>

#include "app/managers.h"
#include "platform/platform.h"

VESPER_IMPLEMENT_INTERFACE(settingsManager)
VESPER_IMPLEMENT_DYNAMIC(settingsManager, Interface<settingsManager>)
VESPER_IMPLEMENT_INTERFACE(flagManager)
VESPER_IMPLEMENT_DYNAMIC(flagManager, Interface<flagManager>)
VESPER_IMPLEMENT_INTERFACE(profileManager)
VESPER_IMPLEMENT_DYNAMIC(profileManager, Interface<profileManager>)
VESPER_IMPLEMENT_INTERFACE(messageManager)
VESPER_IMPLEMENT_DYNAMIC(messageManager, Interface<messageManager>)
VESPER_IMPLEMENT_INTERFACE(applicationManager)
VESPER_IMPLEMENT_DYNAMIC(applicationManager, Interface<applicationManager>)

namespace {

// A start-up failure that is not a critical error: one line, and the
// program ends with status 1 once initialisation has stopped.
bool startupFailure(const std::string& reason) {
  std::fprintf(stderr, "vesper: %s\n", reason.c_str());
  setStartupExitStatus(1);
  return false;
}

}  // namespace

void settingsManager::store(const DisplaySettings& s) {
  static_cast<DisplaySettings&>(*this) = s;
  // Not the dialog's: only the command line sets these.
  loopShow = options.loop;
  display = options.display;
}

bool settingsManager::initialize() {
  std::string reason;
  if (!platform::initVideo(options.headless, reason, options.offscreen)) {
    return startupFailure(reason);
  }
  if (options.display < 0 || options.display >= platform::displayCount()) {
    return startupFailure("no display " + std::to_string(options.display));
  }
  platform::DisplayMode desk;
  if (!platform::desktopMode(options.display, desk)) {
    return startupFailure("cannot read the desktop mode");
  }
  LauncherDialog dialog(platform::displayModes(options.display), Resolution{desk.width, desk.height});
  dialog.applyOptions(options);
  resolutions = dialog.resolutions();
  if (options.skipLauncher) {
    store(dialog.run());
    return true;
  }
  if (platform::videoIsOffscreen()) {
    return startupFailure("the launcher needs a display (use --run)");
  }

  platform::LauncherWindow window;
  if (!window.open(options.display, LauncherLayout::kWidth, LauncherLayout::kHeight, reason)) {
    return startupFailure("cannot show the launcher: " + reason);
  }
  platform::setDragTest(window.handle(), [](int x, int y) {
    return LauncherLayout::emptySpot(static_cast<float>(x), static_cast<float>(y));
  });
  LauncherAction action = LauncherAction::None;
  for (;;) {
    const bool open = window.frame([&] { action = drawLauncher(dialog); });
    if (!open || action == LauncherAction::Close) return false;
    if (action == LauncherAction::HomePage) platform::openUrl(kHomePage);
    if (action == LauncherAction::Run) break;
  }
  resolutions = dialog.resolutions();
  store(dialog.run());
  return true;
}

// ---------------------------------------------------------------------------

bool flagManager::initialize() {
  addFlag("RENDERER_NO_TEXTURE", 0);
  addFlag("RENDERER_WIREFRAME", 0);
  return true;
}

bool flagManager::update() {
  mLastSeenCount = static_cast<uint32_t>(mFlags.size());
  return true;
}

void flagManager::addFlag(const char* name, int32_t value) { mFlags.emplace(name, value); }

bool flagManager::isFlagSet(const char* name) const { return getFlagValue(name) != 0; }

void flagManager::setFlagValue(const char* name, int32_t value) {
  const auto it = mFlags.find(name);
  if (it != mFlags.end()) it->second = value;
}

int32_t flagManager::getFlagValue(const char* name) const {
  const auto it = mFlags.find(name);
  return it == mFlags.end() ? 0 : it->second;
}

// ---------------------------------------------------------------------------

profileManager::profileManager()
    : mFrameStart(static_cast<int64_t>(platform::performanceCounter())) {}

bool profileManager::beginFrame() {
  mFrameStart = static_cast<int64_t>(platform::performanceCounter());
  return true;
}

bool profileManager::endFrame() {
  const int64_t now = static_cast<int64_t>(platform::performanceCounter());
  const long double ms = static_cast<long double>(now - mFrameStart) * 1000.0L /
                         static_cast<long double>(platform::performanceFrequency());
  mFrameTime = static_cast<float>(ms);
  return true;
}
