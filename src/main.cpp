// Entry point: command line, initialisation pass, message loop, termination.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "platform/platform.h"
#include "platform/window.h"

namespace {

void printHelp() {
  std::puts(
      "usage: vesper [options]\n"
      "Without options the launcher dialog asks for the display settings.\n"
      "  --help              show this help and exit\n"
      "  --version           show the version and exit\n"
      "  --data DIR          directory holding vesper.pak and music.ogg (default: .)\n"
      "  --run               skip the launcher: use its preselection for this desktop\n"
      "  --resolution WxH    window client size (and display mode in full screen)\n"
      "  --windowed          run in a window instead of full screen\n"
      "  --aspect W:H        picture aspect: 4:3, 16:9, 16:10 or 5:4\n"
      "  --fsaa N            anti-aliasing samples: 0, 2, 4 or 8\n"
      "  --low-quality       8-bit off-screen buffers, no anti-aliasing\n"
      "  --no-vsync          do not wait for the vertical blank\n"
      "  --big-screen        full screen: wait 3 s after the mode switch, gamma 1.2\n"
      "  --always-on-top     windowed: keep the window above the others\n"
      "  --loop              start the music again when it ends\n"
      "  --display N         the monitor to open on (default: 0, the primary one)\n"
      "  --headless          no message boxes; without a display, no visible window");
}

bool parsePair(const char* text, char separator, Resolution& out) {
  char* end = nullptr;
  errno = 0;
  const long a = std::strtol(text, &end, 10);
  if (end == text || *end != separator || errno) return false;
  const char* second = end + 1;
  const long b = std::strtol(second, &end, 10);
  if (end == second || *end != '\0' || errno) return false;
  if (a <= 0 || b <= 0 || a > 16384 || b > 16384) return false;
  out = Resolution{static_cast<int32_t>(a), static_cast<int32_t>(b)};
  return true;
}

bool parseInt(const char* text, long lo, long hi, long& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && !errno && out >= lo && out <= hi;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "vesper: %s (try --help)\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir;
  LaunchOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    } else if (arg == "--version") {
      std::printf("vesper %s\n", VESPER_VERSION);
      return 0;
    } else if (arg == "--data" && hasValue) {
      dataDir = argv[++i];
    } else if (arg == "--headless") {
      options.headless = true;
      platform::setMessageBoxesEnabled(false);
    } else if (arg == "--run") {
      options.skipLauncher = true;
    } else if (arg == "--resolution" && hasValue) {
      Resolution r;
      if (!parsePair(argv[++i], 'x', r)) return usageError("--resolution wants WxH, e.g. 1280x720");
      options.resolution = r;
    } else if (arg == "--aspect" && hasValue) {
      Resolution r;
      bool known = parsePair(argv[++i], ':', r);
      if (known) {
        known = false;
        for (const Resolution& a : LauncherDialog::kAspects) known = known || a == r;
      }
      if (!known) return usageError("--aspect wants 4:3, 16:9, 16:10 or 5:4");
      options.aspect = r;
    } else if (arg == "--fsaa" && hasValue) {
      long n = 0;
      if (!parseInt(argv[++i], 0, 8, n) || (n != 0 && n != 2 && n != 4 && n != 8)) {
        return usageError("--fsaa wants 0, 2, 4 or 8");
      }
      options.sampleCount = static_cast<int32_t>(n);
    } else if (arg == "--display" && hasValue) {
      long n = 0;
      if (!parseInt(argv[++i], 0, 63, n)) return usageError("--display wants a monitor number");
      options.display = static_cast<int>(n);
    } else if (arg == "--windowed") {
      options.windowed = true;
    } else if (arg == "--low-quality") {
      options.lowQuality = true;
    } else if (arg == "--no-vsync") {
      options.noVSync = true;
    } else if (arg == "--big-screen") {
      options.bigScreen = true;
    } else if (arg == "--always-on-top") {
      options.alwaysOnTop = true;
    } else if (arg == "--loop") {
      options.loop = true;
    } else {
      return usageError("unknown option or missing value '" + arg + "'");
    }
  }
  // The pack and the music are read from the working directory.
  if (!dataDir.empty() && chdir(dataDir.c_str()) != 0) {
    std::fprintf(stderr, "vesper: cannot enter data directory '%s': %s\n", dataDir.c_str(),
                 std::strerror(errno));
    return 1;
  }
  if (!options.headless && !platform::displayAvailable()) {
    std::fprintf(stderr, "vesper: no display (set DISPLAY, or run with --headless)\n");
    return 1;
  }
  settingsManager::instance().options = options;

  if (!initializeAll()) {
    abandonStartup();
    return startupExitStatus();
  }
  const FrameManagers managers = engineFrameManagers();
  const int code = runMainLoop(platform::systemEvents(), systemManager::instance().exitRequested,
                               [&managers] { return runFrame(managers); });
  terminateAll();
  return code;
}
