// Start-up failures end initialisation with a recorded exit status (no
// exit from inside a manager), and abandoning the start-up closes video.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/managers.h"
#include "platform/window.h"
#include "support/support.h"

namespace {

TEST(StartupFailure, ManagerRecordsStatusAndReturnsInsteadOfExiting) {
  const auto r = testing_support::runInChild([] {
    setStartupExitStatus(0);
    settingsManager& s = settingsManager::instance();
    s.options.headless = true;
    s.options.skipLauncher = true;
    s.options.display = 9;
    if (s.initialize()) std::_Exit(20);     // must fail
    if (startupExitStatus() != 1) std::_Exit(21);
    if (platform::displayCount() < 1) std::_Exit(22);  // video was started
    abandonStartup();
    if (platform::displayCount() != 0) std::_Exit(23);  // and is closed again
    std::_Exit(40);  // reached the end: the manager did not exit by itself
  });
  EXPECT_EQ(r.exitStatus, 40);
  EXPECT_EQ(r.stdErr, "vesper: no display 9\n");
}

TEST(StartupFailure, ProgramEndsWithTheRecordedStatus) {
  testing_support::TempDir dir;
  const auto r = testing_support::runCommand("cd '" + dir.path() + "' && env -u DISPLAY -u WAYLAND_DISPLAY " +
                                             testing_support::builtProgram("vesper") +
                                             " --run --headless --display 7");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, "vesper: no display 7\n");
}

}  // namespace
