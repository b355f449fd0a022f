// The vesper program's command line and start-up failures, run as a child
// without any display (the offscreen video driver renders with --headless).
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

std::string vesper(const std::string& dir, const std::string& args, const std::string& env = "") {
  return "cd '" + dir + "' && env -u DISPLAY -u WAYLAND_DISPLAY " + env + " " + builtProgram("vesper") +
         " " + args;
}

TEST(CommandLine, HelpVersionAndBadOptions) {
  TempDir dir;
  auto r = runCommand(vesper(dir.path(), "--help"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.stdOut.find("--resolution WxH"), std::string::npos);
  EXPECT_NE(r.stdOut.find("--display N"), std::string::npos);
  r = runCommand(vesper(dir.path(), "--version"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.stdOut, std::string("vesper ") + VESPER_VERSION + "\nproduction: none found\n");
  TempDir production;
  testing_support::writeFile(production.file("vesper.pak"), {});
  r = runCommand(vesper(dir.path(), "--version --data '" + production.path() + "'"));
  EXPECT_EQ(r.stdOut, std::string("vesper ") + VESPER_VERSION + "\nproduction: " + production.path() + "\n");

  const char* bad[] = {"--resolution 640", "--resolution 0x360", "--resolution 640x360x2",
                       "--aspect 3:2", "--fsaa 3", "--fsaa x", "--display -1", "--bogus",
                       "--resolution"};
  for (const char* args : bad) {
    r = runCommand(vesper(dir.path(), args));
    EXPECT_EQ(r.exitStatus, 1) << args;
    EXPECT_NE(r.stdErr.find("vesper: "), std::string::npos) << args;
    EXPECT_EQ(r.stdErr.find('\n'), r.stdErr.size() - 1) << "one line for " << args;
  }
}

TEST(CommandLine, NoDisplayWithoutHeadlessIsAOneLineFailure) {
  TempDir dir;
  const auto r = runCommand(vesper(dir.path(), "--run"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, "vesper: no display (set DISPLAY, or run with --headless)\n");
}

TEST(CommandLine, HeadlessLauncherWithoutDisplayIsRefused) {
  TempDir dir;
  const auto r = runCommand(vesper(dir.path(), "--headless"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, "vesper: the launcher needs a display (use --run)\n");
}

TEST(CommandLine, HeadlessRunOpensThePackAndRunsOffscreen) {
  TempDir dir;
  // Without a pack the system manager's first step fails critically.
  auto r = runCommand(vesper(dir.path(), "--run --headless --windowed --resolution 320x180"));
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr, testing_support::missingPackError(dir.path()));

  // With the pack the window opens offscreen and start-up gets as far as
  // the music, which this directory lacks: its reason is the last line.
  const std::string noMusic = "vesper: music.ogg is missing or neither RIFF WAVE nor Ogg Vorbis\n";
  auto endsWith = [](const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  };
  testing_support::makePack(dir.file("vesper.pak"), {{"data\\a.txt", testing_support::bytes("a")}});
  r = runCommand(vesper(dir.path(), "--run --headless --windowed --resolution 320x180 --no-vsync"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(endsWith(r.stdErr, noMusic)) << r.stdErr;
  // --data finds the pack from elsewhere.
  TempDir other;
  r = runCommand(vesper(other.path(), "--run --headless --data '" + dir.path() + "'"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_TRUE(endsWith(r.stdErr, noMusic)) << r.stdErr;
}

TEST(CommandLine, MissingOpenGL20EndsBeforeTheWindowWithTheFixedMessage) {
  TempDir dir;
  testing_support::makePack(dir.file("vesper.pak"), {{"data\\a.txt", testing_support::bytes("a")}});
  const auto r = runCommand(vesper(dir.path(), "--run --headless --windowed --resolution 320x180",
                                   "MESA_GL_VERSION_OVERRIDE=1.5"));
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr, std::string(critical::kNoOpenGL20) + "\n");
}

}  // namespace
