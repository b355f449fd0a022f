// The vesper program playing a pack's music headless: the exit statuses of a
// missing track, of a show that runs to the end of its music and of one that
// starts past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "demo/show_production.h"
#include "sound/sound.h"
#include "sound/sound_fixtures.h"
#include "support/support.h"
#include "texture/decode.h"

namespace {

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

// `env` is added to the run's environment (its settings win).
std::string vesper(const std::string& dir, const char* resolution = "320x180", const std::string& env = "") {
  return "env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy " + env + " " + builtProgram("vesper") +
         " --run --headless --windowed --resolution " + resolution + " --data '" + dir + "'";
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

TEST(DemoProgram, AStartPastTheEndOfTheMusicEndsTheShowAtOnce) {
  TempDir dir;
  writeTinyPack(dir);
  // Eight seconds: long enough to be streamed rather than held whole.
  sound_fixtures::runMusicgen(dir, sound_fixtures::simpleScore(4), dir.file("music.ogg"));
  OggVorbisLoader ogg;
  ASSERT_EQ(ogg.open(dir.file("music.ogg").c_str()), soundResult::ok);
  ASSERT_GT(ogg.getTotalBytes(), SoundPlayer::kStaticLimit);
  ogg.close();
  for (const char* options : {"", " --loop"}) {
    SCOPED_TRACE(options);
    // The disk driver writes what a listener would hear. A looped show that
    // never ends is killed.
    const std::string heard = dir.file("heard.raw");
    std::remove(heard.c_str());
    const auto r =
        runCommand("timeout -s KILL 60 " +
                   vesper(dir.path(), "320x180", "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" + heard + "'") +
                   " --start 999999" + options);
    EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
    // Nothing but the disk driver's own notices.
    std::istringstream lines(r.stdErr);
    for (std::string text; std::getline(lines, text);) EXPECT_EQ(text.rfind("CRITICAL: ", 0), 0u) << text;
    const std::vector<uint8_t> samples = testing_support::readFile(heard);
    EXPECT_FALSE(samples.empty()) << "the device ran";
    EXPECT_EQ(std::count(samples.begin(), samples.end(), 0), static_cast<std::ptrdiff_t>(samples.size()))
        << "only silence, not the track from its beginning";
  }
}

// Two lines of model scenes and a three-second track.
void writeTwoLineProduction(const TempDir& dir) {
  std::vector<PackSource> files = show_testing::twoLineProduction();
  for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
  testing_support::makePack(dir.file("vesper.pak"), files);
  std::ofstream(dir.file("score.txt")) << "tempo 120\n"
                                          "instrument lead sine attack=0 release=0.02\n"
                                          "pattern a lead C4 - - - E4 - - .\n"
                                          "play a\nplay a\nplay a\n";
  const auto r = runCommand(builtProgram("musicgen") + " " + dir.file("score.txt") + " " + dir.file("music.ogg"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
}

// The RGB of pixel (x, y), y counted from the top, of a captured frame.
struct Frame {
  texture_decode::TexturePtr picture;
  std::vector<int> at(uint32_t x, uint32_t y) const {
    const uint8_t* p = picture->pixels() + (static_cast<size_t>(y) * picture->width() + x) * 4;
    return {p[0], p[1], p[2]};
  }
};

Frame readFrame(const std::string& path) {
  const std::vector<uint8_t> bytes = testing_support::readFile(path);
  std::string reason;
  Frame f{texture_decode::decodePng(bytes.data(), bytes.size(), reason)};
  EXPECT_TRUE(f.picture) << path << ": " << reason;
  return f;
}

TEST(DemoProgram, CapturedFramesShowEachLineInItsWindowLetterboxed) {
  TempDir dir;
  writeTwoLineProduction(dir);
  // A 4:3 window: the 16:9 picture between bars of 30 rows.
  const auto r = runCommand(vesper(dir.path(), "320x240") + " --capture '" + dir.file("frames") +
                            "' --fps 4 --to 3000");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  const std::string problem = "demo: data\\definition\\sceneLineDefine.xml: SceneLineEntry 2: line \"12\"";
  const size_t first = r.stdErr.find(problem);
  EXPECT_NE(first, std::string::npos) << r.stdErr;
  EXPECT_EQ(r.stdErr.find(problem, first + 1), std::string::npos) << "reported once";
  using Rgb = std::vector<int>;
  const Rgb black = {0, 0, 0}, red = {255, 0, 0}, green = {0, 255, 0};
  struct Case {
    int frame;  // 250 ms each
    uint32_t x, y;
    Rgb rgb;
  } cases[] = {
      {2, 160, 120, black},  // before either window
      {6, 160, 120, red},    {6, 160, 28, black},   {6, 160, 211, black}, {6, 160, 32, red},
      {6, 160, 208, red},    {10, 160, 120, green}, {10, 100, 120, red},
  };
  for (const Case& c : cases) {
    char name[32];
    std::snprintf(name, sizeof name, "frames/frame_%06d.png", c.frame);
    const Frame f = readFrame(dir.file(name));
    if (!f.picture) continue;
    EXPECT_EQ(f.at(c.x, c.y), c.rgb) << name << " at " << c.x << "," << c.y;
  }
}

}  // namespace
