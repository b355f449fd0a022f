// vesper --capture run as a user runs it, on a small production the test
// builds, with no display (SDL's offscreen driver) and an audio driver that
// cannot open: a capture decodes the music and opens no sound device.
#include <gtest/gtest.h>

#include <algorithm>
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
  // No display, and no sound device to be had.
  static std::string environment() {
    return "env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=no-such-driver ";
  }
  static std::string playerOptions() {
    return " --headless --windowed --resolution 64x36 --data '" + data->path() + "' ";
  }
  static testing_support::ChildResult vesper(const std::string& args,
                                             const std::string& env = "") {
    return runCommand(environment() + env + " " + builtProgram("vesper") + playerOptions() + args);
  }
  static TempDir* data;
};
TempDir* CaptureProgram::data = nullptr;

TEST_F(CaptureProgram, WritesEveryFrameOfTheRangeAndItsMusicTheSameEachTime) {
  TempDir out;
  // The music lasts one second, at 44.1 kHz.
  struct Case {
    const char* range;
    uint64_t first, end;  // frame numbers written
    uint64_t samples;     // in music.wav
  };
  const Case cases[] = {
      // [200, 700) ms: samples 8820 to 30870.
      {"--fps 30 --from 200 --to 700", 0, 15, 22050},
      // Past the music: [800, 1000) ms.
      {"--fps 30 --from 800 --to 5000", 0, 6, 8820},
      // [100 ms, 100 ms + 30 frames) ends at sample 26482.05.
      {"--fps 60000/1001 --from 100 --to 600", 0, 30, 26483 - 4410},
      // A part of the first range, cut at its end: from 200 + 10/30 s.
      {"--fps 30 --from 200 --to 700 --first-frame 10 --frames 9", 10, 15, 30870 - 23520},
      // The first range again.
      {"--fps 30 --from 200 --to 700", 0, 15, 22050},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.range);
    const std::string dir = out.file(std::to_string(i));
    const auto r = vesper("--capture '" + dir + "' " + c.range);
    ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
    const std::string count = std::to_string(c.end - c.first);
    EXPECT_NE(r.stdErr.find("capture: frame " + count + " of " + count), std::string::npos)
        << r.stdErr;
    for (uint64_t k = 0; k <= c.end; ++k) {
      EXPECT_EQ(std::filesystem::exists(captureFramePath(dir, k)), k >= c.first && k < c.end)
          << "frame " << k;
    }
    EXPECT_EQ(std::filesystem::file_size(dir + "/music.wav"), 44u + c.samples * 4u);
  }
  // Frames 10 to 14 from the whole range, its part and the repeat.
  for (uint64_t k = 0; k < 15; ++k) {
    const auto a = testing_support::readFile(captureFramePath(out.file("0"), k));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, testing_support::readFile(captureFramePath(out.file("4"), k))) << "frame " << k;
    if (k >= 10) {
      EXPECT_EQ(a, testing_support::readFile(captureFramePath(out.file("3"), k))) << "frame " << k;
    }
  }
  EXPECT_EQ(testing_support::readFile(out.file("0/music.wav")),
            testing_support::readFile(out.file("4/music.wav")));
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
  // From 250 ms to the music's end (1000 ms) at 24 frames a second: 18, of
  // which the part from frame 6 holds 12.
  auto r = vesper("--capture '" + out.file("f") + "' --fps 24 --from 250 --first-frame 6" +
                  " --video '" + out.file("show.mp4") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand("ffprobe -v error -count_frames -show_entries stream=codec_type,nb_read_frames "
                 "-of csv=p=0 '" + out.file("show.mp4") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdOut.find("video,12\n"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("audio,"), std::string::npos) << r.stdOut;
  r = runCommand("ffprobe -v error -show_entries stream=codec_type,duration -of csv=p=0 '" +
                 out.file("show.mp4") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdOut.find("video,0.500000\n"), std::string::npos) << r.stdOut;
  // AAC ends on whole blocks of 1024 samples: at most one more.
  const size_t audio = r.stdOut.find("audio,");
  ASSERT_NE(audio, std::string::npos) << r.stdOut;
  EXPECT_NEAR(std::stod(r.stdOut.substr(audio + 6)), 0.5, 1024.0 / 44100.0) << r.stdOut;
}

TEST_F(CaptureProgram, AFarmedCaptureEqualsOneProcesssCapture) {
  if (platform::findProgram("parallel").empty() || platform::findProgram("ffmpeg").empty()) {
    GTEST_SKIP() << "GNU parallel or ffmpeg is not installed";
  }
  TempDir out;
  // 24 frames in three parts, two processes at a time.
  const std::string range = " --fps 30 --from 100 --to 900";
  auto r = vesper("--capture '" + out.file("one") + "'" + range);
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand(environment() + "bash " + testing_support::sourcePath("scripts/capture_farm.sh") +
                 " --capture '" + out.file("farm") + "'" + range + " --jobs 2 --parts 3 --vesper " +
                 builtProgram("vesper") + " --" + playerOptions());
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdErr.find("capture_farm: 24 frames in "), std::string::npos) << r.stdErr;

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out.file("one"))) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names.size(), 25u) << "24 frames and the music";
  for (const auto& entry : std::filesystem::directory_iterator(out.file("farm"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name << " is extra";
  }
  for (const std::string& name : names) {
    const auto one = testing_support::readFile(out.file("one/" + name));
    ASSERT_FALSE(one.empty()) << name;
    EXPECT_EQ(one, testing_support::readFile(out.file("farm/" + name))) << name;
  }
}

}  // namespace
