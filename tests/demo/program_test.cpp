// The vesper program playing a pack's music headless: the exit statuses of a
// missing track and of a show that runs to the end of its music.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "demo/show_production.h"
#include "support/support.h"

namespace {

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

std::string vesper(const std::string& dir) {
  return "env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy " + builtProgram("vesper") +
         " --run --headless --windowed --resolution 320x180 --data '" + dir + "'";
}

void writeTinyPack(const TempDir& dir) {
  std::vector<PackSource> files = show_testing::coreEffects();
  files.push_back({"data\\credits.txt", testing_support::bytes("tiny")});
  testing_support::makePack(dir.file("vesper.pak"), files);
}

TEST(DemoProgram, MissingMusicIsAOneLineFailureWithStatus1) {
  TempDir dir;
  writeTinyPack(dir);
  const auto r = runCommand(vesper(dir.path()));
  EXPECT_EQ(r.exitStatus, 1);
  // The player's message box text goes to stderr too; the reason is the
  // last line, and nothing follows it.
  const std::string reason = "vesper: music.ogg is missing or neither RIFF WAVE nor Ogg Vorbis\n";
  ASSERT_GE(r.stdErr.size(), reason.size());
  EXPECT_EQ(r.stdErr.substr(r.stdErr.size() - reason.size()), reason) << r.stdErr;
  EXPECT_TRUE(r.stdErr.size() == reason.size() || r.stdErr[r.stdErr.size() - reason.size() - 1] == '\n');
}

TEST(DemoProgram, PlaysTheTrackToItsEndAndExits0) {
  TempDir dir;
  writeTinyPack(dir);
  // One second: eight steps at 120 beats a minute.
  std::ofstream(dir.file("score.txt")) << "tempo 120\n"
                                          "instrument lead sine attack=0 release=0.02\n"
                                          "pattern a lead C4 - - - E4 - - .\n"
                                          "play a\n";
  auto r = runCommand(builtProgram("musicgen") + " " + dir.file("score.txt") + " " +
                      dir.file("music.ogg"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;

  const auto start = std::chrono::steady_clock::now();
  r = runCommand(vesper(dir.path()));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_EQ(r.stdErr, "");
  // 1.8 s of loader fade, then the one-second track.
  EXPECT_GE(ms, 2700);
  EXPECT_LT(ms, 20000);
}

}  // namespace
