// Entry point: command line, initialisation pass, message loop, termination.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/app.h"
#include "platform/platform.h"

namespace {

void printHelp() {
  std::puts(
      "usage: vesper [options]\n"
      "  --help           show this help and exit\n"
      "  --version        show the version and exit\n"
      "  --data DIR       directory holding vesper.pak and music.ogg (default: .)\n"
      "  --headless       no message boxes: messages go to stderr only");
}

}  // namespace

int main(int argc, char** argv) {
  std::string dataDir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      printHelp();
      return 0;
    } else if (arg == "--version") {
      std::printf("vesper %s\n", VESPER_VERSION);
      return 0;
    } else if (arg == "--data" && i + 1 < argc) {
      dataDir = argv[++i];
    } else if (arg == "--headless") {
      platform::setMessageBoxesEnabled(false);
    } else {
      std::fprintf(stderr, "vesper: unknown option '%s' (try --help)\n", arg.c_str());
      return 1;
    }
  }
  // The pack and the music are read from the working directory.
  if (!dataDir.empty() && chdir(dataDir.c_str()) != 0) {
    std::fprintf(stderr, "vesper: cannot enter data directory '%s': %s\n", dataDir.c_str(),
                 std::strerror(errno));
    return 1;
  }

  if (!initializeAll()) return 0;
  const FrameManagers managers = engineFrameManagers();
  const int code = runMainLoop(platform::systemEvents(), systemManager::instance().exitRequested,
                               [&managers] { return runFrame(managers); });
  terminateAll();
  return code;
}
