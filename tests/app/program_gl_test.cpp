// The vesper program itself on a private X display: the launcher appears
// without options, and real clicks on Close and Run decide what follows.
#include <gtest/gtest.h>

#include "app/app.h"
#include "app/fixtures.h"
#include "sound/sound_fixtures.h"

namespace {

using testing_support::PrivateDisplay;
using testing_support::runCommand;
using testing_support::TempDir;

// Starts vesper in `dir`, waits for its launcher, clicks the middle of
// `control` and returns what the program did.
testing_support::ChildResult clickInLauncher(const TempDir& dir, LauncherControl control) {
  const LauncherRect r = LauncherLayout::rect(control);
  const std::string cx = std::to_string(static_cast<int>(r.x + r.w / 2));
  const std::string cy = std::to_string(static_cast<int>(r.y + r.h / 2));
  const std::string script =
      "cd '" + dir.path() + "' || exit 99\n" + testing_support::builtProgram("vesper") +
      " --windowed --resolution 320x180 &\n"
      "pid=$!\n"
      "wid=$(timeout 30 xdotool search --sync --onlyvisible --pid $pid --name '^Vesper Launcher$' "
      "| head -1)\n"
      "[ -n \"$wid\" ] || { kill $pid; echo nowindow; exit 98; }\n"
      "sleep 0.5\n"
      "eval $(xdotool getwindowgeometry --shell $wid)\n"
      "xdotool mousemove $((X + " + cx + ")) $((Y + " + cy + "))\n"
      "sleep 0.3\n"
      "xdotool click 1\n"
      "wait $pid\n"
      "echo status=$?\n";
  return runCommand(script);
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display.ok()) GTEST_SKIP() << "cannot start a private Xvfb";
  }
  PrivateDisplay display{false};
};

TEST_F(Program, WithoutOptionsTheLauncherShowsAndCloseEndsWithZero) {
  TempDir dir;  // no pack: Close must end before anything opens it
  const auto r = clickInLauncher(dir, LauncherControl::Close);
  EXPECT_NE(r.stdOut.find("status=0"), std::string::npos) << r.stdOut << r.stdErr;
  EXPECT_EQ(r.stdErr, "");
}

TEST_F(Program, RunGoesOnToTheSystemManager) {
  TempDir dir;  // no pack: Run reaches the pack and stops there
  auto r = clickInLauncher(dir, LauncherControl::Run);
  EXPECT_NE(r.stdOut.find("status=3"), std::string::npos) << r.stdOut << r.stdErr;
  EXPECT_EQ(r.stdErr, testing_support::missingPackError(dir.path()));

  testing_support::makePack(dir.file("vesper.pak"), {{"data\\a.txt", testing_support::bytes("a")}});
  // A tenth of a second of music: the show plays it and ends with status 0.
  testing_support::writeFile(dir.file("music.ogg"),
                             sound_fixtures::makeWave(sound_fixtures::rampPcm(4410)));
  r = clickInLauncher(dir, LauncherControl::Run);
  EXPECT_NE(r.stdOut.find("status=0"), std::string::npos) << r.stdOut << r.stdErr;
  EXPECT_EQ(r.stdErr, "");
}

}  // namespace
