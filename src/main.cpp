// Entry point: command line, initialisation pass, message loop, termination.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/capture_session.h"
#include "app/command_line.h"
#include "app/managers.h"
#include "app/rehearsal.h"
#include "app/rehearsal_controls.h"
#include "app/source_folder.h"
#include "demo/demo_manager.h"
#include "demo/show_options.h"
#include "files/files.h"
#include "platform/platform.h"
#include "platform/window.h"

int main(int argc, char** argv) {
  CommandLine line = parseCommandLine(argc, argv);
  if (line.exit && !line.version) {
    std::fputs(line.text.c_str(), line.exitStatus == 0 ? stdout : stderr);
    return line.exitStatus;
  }
  const LaunchOptions& options = line.options;
  // Capture runs unattended: nothing may wait on a message box.
  if (options.headless || line.capture) platform::setMessageBoxesEnabled(false);
  std::unique_ptr<CaptureSession> capture;
  if (line.capture) {
    // Output paths name places as seen from where the program was started.
    if (!line.capture->dir.empty()) {
      line.capture->dir = std::filesystem::absolute(line.capture->dir).string();
    }
    if (!line.capture->video.empty()) {
      line.capture->video = std::filesystem::absolute(line.capture->video).string();
    }
  }
  // The pack and the music are read from the working directory.
  if (line.exit || line.dataDir.empty()) {
    const ProductionSearch search = findProduction(line.dataDir);
    if (line.exit) {
      const bool folder = !line.dataDir.empty() && isSourceFolder(line.dataDir);
      std::printf("%sproduction: %s\n", line.text.c_str(),
                  folder                ? (line.dataDir + " (source folder)").c_str()
                  : search.found.empty() ? "none found"
                                         : search.found.c_str());
      return 0;
    }
    line.dataDir = search.found;
    if (search.found.empty()) setPackSearchReport(search.report());
  }
  // A source folder: found before the working directory changes, as are
  // the core files it may lack.
  const bool fromFolder = !line.dataDir.empty() && isSourceFolder(line.dataDir);
  if (fromFolder) setSourceFolder({std::filesystem::absolute(line.dataDir).string(), findCorePack()});
  // A built pack rehearses too: the transport and the overlay, but there
  // are no loose files to watch.
  if (line.rehearse && !fromFolder) {
    std::fprintf(stderr, "vesper: rehearsing a built production: no live reload (that needs a source folder)\n");
  }
  if (!line.dataDir.empty() && chdir(line.dataDir.c_str()) != 0) {
    std::fprintf(stderr, "vesper: cannot enter data directory '%s': %s\n", line.dataDir.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // Counting a capture's frames reads the music only.
  const bool counting = line.capture && line.capture->countOnly;
  if (!options.headless && !counting && !platform::displayAvailable()) {
    std::fprintf(stderr, "vesper: no display (set DISPLAY, or run with --headless)\n");
    return 1;
  }
  settingsManager::instance().options = options;
  ShowOptions show;
  if (fromFolder) {
    FileProblem problem;
    show.musicPath = sourceFolderMusic(sourceFolder()->dir, problem);
    if (show.musicPath.empty()) {
      std::fprintf(stderr, "%s\n", problem.text().c_str());
      return 1;
    }
  }
  show.startMs = line.startMs;
  show.loop = options.loop;
  if (line.capture) {
    capture = std::make_unique<CaptureSession>(*line.capture);
    std::string reason;
    if (!capture->prepare(show, reason)) {
      std::fprintf(stderr, "vesper: %s\n", reason.c_str());
      return 1;
    }
    if (line.capture->countOnly) {
      std::printf("%llu\n", static_cast<unsigned long long>(capture->frames()));
      return 0;
    }
  }

  std::unique_ptr<RehearsalControls> rehearsal;
  if (line.rehearse) {
    rehearsal = std::make_unique<RehearsalControls>();
    show.clock = &rehearsal->transport();
  }
  demoManager::instance().setShowOptions(show);
  if (!initializeAll()) {
    abandonStartup();
    return startupExitStatus();
  }
  if (capture) {
    std::string reason;
    if (!capture->begin(reason)) {
      std::fprintf(stderr, "vesper: %s\n", reason.c_str());
      terminateAll();
      return 1;
    }
  }
  if (line.rehearse && fromFolder) {
    std::string reason;
    if (!startRehearsal(sourceFolder()->dir, reason)) {
      std::fprintf(stderr, "vesper: cannot watch the source folder: %s\n", reason.c_str());
      terminateAll();
      rehearsal.reset();
      return 1;
    }
  }
  if (rehearsal) rehearsal->attach();
  const FrameManagers managers = engineFrameManagers();
  const bool rehearsing = line.rehearse;
  int code = runMainLoop(platform::systemEvents(), systemManager::instance().exitRequested,
                         [&managers, rehearsing] {
                           if (!rehearsing) return runFrame(managers);
                           return rehearsalFrame([&managers] { return runFrame(managers); });
                         });
  stopRehearsal();
  // The show follows the transport's clock until it is terminated.
  terminateAll();
  rehearsal.reset();
  if (capture) {
    const int captured = capture->finish();
    if (code == 0) code = captured;
  }
  return code;
}
