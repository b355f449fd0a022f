// The vesper program itself on a private X display: the launcher appears
// without options, and real clicks on Close and Run decide what follows.
#include <gtest/gtest.h>

#include "app/launcher.h"
#include "app/fixtures.h"
#include "demo/show_production.h"
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
      // SDL drops a click that comes within 10 ms of the focus; here the two
      // may well come together.
      "cd '" + dir.path() + "' || exit 99\n" + "SDL_MOUSE_FOCUS_CLICKTHROUGH=1 " +
      testing_support::builtProgram("vesper") + " --windowed --resolution 320x180 &\n"
      "pid=$!\n"
      // xdotool gives up on an X error when a window it lists goes before it
      // is asked about (the program's probe windows do): search again.
      "for i in $(seq 600); do\n"
      "  wid=$(xdotool search --onlyvisible --pid $pid --name '^Vesper Launcher$' 2>/dev/null "
      "| head -1)\n"
      "  [ -n \"$wid\" ] && break; sleep 0.05\n"
      "done\n"
      "[ -n \"$wid\" ] || { kill $pid; echo nowindow; exit 98; }\n"
      // The dialog reads the pointer only while it has the keyboard focus,
      // which it takes when shown: once the server says it has, the program
      // is told of it before the pointer events below.
      "timeout 30 sh -c 'until [ \"$(xdotool getwindowfocus)\" = \"$0\" ]; do sleep 0.05; done' $wid "
      "|| { kill $pid; echo nofocus; exit 97; }\n"
      "eval $(xdotool getwindowgeometry --shell $wid)\n"
      "xdotool mousemove $((X + " + cx + ")) $((Y + " + cy + ")) click 1\n"
      "wait $pid\n"
      "echo status=$?\n";
  return runCommand(script);
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display.ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
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

  testing_support::makePack(dir.file("vesper.pak"), show_testing::coreEffects());
  // A tenth of a second of music: the show plays it and ends with status 0.
  testing_support::writeFile(dir.file("music.ogg"),
                             sound_fixtures::makeWave(sound_fixtures::rampPcm(4410)));
  r = clickInLauncher(dir, LauncherControl::Run);
  EXPECT_NE(r.stdOut.find("status=0"), std::string::npos) << r.stdOut << r.stdErr;
  EXPECT_EQ(r.stdErr, "");
}

}  // namespace
