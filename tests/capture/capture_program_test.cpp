// vesper --capture run as a user runs it, on a small production the test
// builds, with no display (SDL's offscreen driver) and an audio driver that
// cannot open: a capture decodes the music and opens no sound device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "capture/capture.h"
#include "demo/show_production.h"
#include "platform/platform.h"
#include "support/support.h"

namespace {

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

class CaptureProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data = new TempDir;
    std::vector<PackSource> files = show_testing::coreEffects();
    files.push_back({"data\\credits.txt", testing_support::bytes("tiny")});
    testing_support::makePack(data->file("vesper.pak"), files);
    // One second: eight steps at 120 beats a minute.
    std::ofstream(data->file("score.txt")) << "tempo 120\n"
                                              "instrument lead sine attack=0 release=0.02\n"
                                              "pattern a lead C4 - - - E4 - - .\n"
                                              "play a\n";
    const auto r = runCommand(builtProgram("musicgen") + " " + data->file("score.txt") + " " +
                              data->file("music.ogg"));
    ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  }
  static void TearDownTestSuite() {
    delete data;
    data = nullptr;
  }
  static testing_support::ChildResult vesper(const std::string& args,
                                             const std::string& env = "") {
    return runCommand("env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=no-such-driver " + env +
                      " " + builtProgram("vesper") +
                      " --headless --windowed --resolution 64x36 --data '" + data->path() + "' " +
                      args);
  }
  static TempDir* data;
};
TempDir* CaptureProgram::data = nullptr;

TEST_F(CaptureProgram, WritesEveryFrameOfTheRangeAndItsMusicTheSameEachTime) {
  TempDir out;
  // [200, 700) ms at 30 frames a second: 15 frames; the music of
  // [200, 700) ms at 44.1 kHz is samples 8820 to 30870.
  const std::string range = " --fps 30 --from 200 --to 700";
  for (const char* name : {"a", "b"}) {
    const auto r = vesper("--capture '" + out.file(name) + "'" + range);
    ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
    EXPECT_NE(r.stdErr.find("capture: frame 15 of 15"), std::string::npos) << r.stdErr;
    for (uint64_t k = 0; k < 15; ++k) {
      EXPECT_TRUE(std::filesystem::exists(captureFramePath(out.file(name), k))) << name << k;
    }
    EXPECT_FALSE(std::filesystem::exists(captureFramePath(out.file(name), 15)));
    EXPECT_EQ(std::filesystem::file_size(out.file(name) + "/music.wav"), 44u + 22050u * 4u);
  }
  for (uint64_t k = 0; k < 15; ++k) {
    const auto a = testing_support::readFile(captureFramePath(out.file("a"), k));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, testing_support::readFile(captureFramePath(out.file("b"), k))) << "frame " << k;
  }
  EXPECT_EQ(testing_support::readFile(out.file("a/music.wav")),
            testing_support::readFile(out.file("b/music.wav")));
}

TEST_F(CaptureProgram, RangesPastTheMusicAndAMissingFfmpegAreOneLineFailures) {
  TempDir out;
  // The music lasts one second.
  auto r = vesper("--capture '" + out.file("x") + "' --fps 30 --from 1000");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr,
            "vesper: nothing to capture: --from lies at or after the music's end (1000 ms)\n");

  r = vesper("--capture '" + out.file("v") + "' --fps 30 --video '" + out.file("v.mp4") + "'",
             "PATH=/nonexistent");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, "vesper: --video needs ffmpeg, which is not on PATH\n");
  EXPECT_FALSE(std::filesystem::exists(out.file("v")));
}

TEST_F(CaptureProgram, VideoHoldsEveryFrameAndTheMusic) {
  if (platform::findProgram("ffmpeg").empty() || platform::findProgram("ffprobe").empty()) {
    GTEST_SKIP() << "ffmpeg is not installed";
  }
  TempDir out;
  // From 500 ms to the music's end (1000 ms) at 24 frames a second: 12.
  auto r = vesper("--capture '" + out.file("f") + "' --fps 24 --from 500 --video '" +
                  out.file("show.mp4") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand("ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames "
                 "-of csv=p=0 '" + out.file("show.mp4") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdOut.find("video,12\n"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("audio,"), std::string::npos) << r.stdOut;
}

}  // namespace
