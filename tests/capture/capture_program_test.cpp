// vesper --capture run as a user runs it, on a small production the test
// builds, with no display (SDL's offscreen driver) and an audio driver that
// cannot open: a capture decodes the music and opens no sound device.
#include <gtest/gtest.h>
#include <md5.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/capture.h"
#include "demo/show_production.h"
#include "platform/platform.h"
#include "support/support.h"
#include "texture/decode.h"
#include "texture/texture.h"

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

bool haveFfmpeg() {
  return !platform::findProgram("ffmpeg").empty() && !platform::findProgram("ffprobe").empty();
}

// The MD5 of each video frame's pixels as RGB, from ffmpeg's framemd5.
std::vector<std::string> videoFrameMd5s(const std::string& file) {
  const auto r = testing_support::runCommand("ffmpeg -nostdin -v error -i '" + file +
                                             "' -map 0:v -pix_fmt rgb24 -f framemd5 -");
  EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
  std::vector<std::string> sums;
  std::istringstream lines(r.stdOut);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') sums.push_back(line.substr(line.rfind(' ') + 1));
  }
  return sums;
}

// The same for frames [first, end) of a PNG capture, decoded by the
// player's own PNG reader.
std::vector<std::string> pngFrameMd5s(const std::string& dir, uint64_t first, uint64_t end) {
  const bool saved = textureManager::instance().nonPowerOfTwo();
  textureManager::instance().setNonPowerOfTwo(true);
  std::vector<std::string> sums;
  for (uint64_t k = first; k < end; ++k) {
    const std::vector<uint8_t> file = testing_support::readFile(captureFramePath(dir, k));
    std::string reason;
    const auto tex = texture_decode::decodePng(file.data(), file.size(), reason);
    if (!tex) {
      ADD_FAILURE() << "frame " << k << ": " << reason;
      break;
    }
    std::vector<uint8_t> rgb;
    const size_t pixels = static_cast<size_t>(tex->width()) * tex->height();
    for (size_t i = 0; i < pixels; ++i) {
      rgb.insert(rgb.end(), tex->pixels() + i * 4, tex->pixels() + i * 4 + 3);
    }
    char sum[33];
    sums.push_back(MD5Data(rgb.data(), rgb.size(), sum));
  }
  textureManager::instance().setNonPowerOfTwo(saved);
  return sums;
}

// The MD5 of a file's decoded audio.
std::string audioMd5(const std::string& file) {
  const auto r = testing_support::runCommand("ffmpeg -nostdin -v error -i '" + file +
                                             "' -map 0:a -f md5 -");
  EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
  return r.stdOut;
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

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

TEST_F(CaptureProgram, AStreamedVideoHoldsExactlyThePixelsAndMusicOfThePngCapture) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir out;
  // Frames 6 to 13 of [250, 1000) ms at 24 frames a second.
  const std::string range = " --fps 24 --from 250 --first-frame 6 --frames 8";
  auto r = vesper("--capture '" + out.file("png") + "'" + range);
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  // The video's directory is made as a capture directory would be.
  const std::string video = out.file("video/streamed.mkv");
  r = vesper("--video '" + video + "'" + range);
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdErr.find("capture: 8 frames in "), std::string::npos) << r.stdErr;
  EXPECT_NE(r.stdErr.find("waiting on ffmpeg"), std::string::npos) << r.stdErr;
  // Nothing but the video: no frames, no music, no partial file.
  EXPECT_EQ(entries(out.path()), (std::vector<std::string>{"png", "video"}));
  EXPECT_EQ(entries(out.file("video")), std::vector<std::string>{"streamed.mkv"});

  const std::vector<std::string> png = pngFrameMd5s(out.file("png"), 6, 14);
  ASSERT_EQ(png.size(), 8u);
  EXPECT_EQ(videoFrameMd5s(video), png);
  EXPECT_EQ(audioMd5(video), audioMd5(out.file("png/music.wav")));
}

TEST_F(CaptureProgram, AFailedStreamEndsWithOneLineAndLeavesNoVideo) {
  if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  TempDir out;
  // Stand-ins for ffmpeg: one killed while reading the frames, one that
  // refuses at once.
  const std::string killed = out.file("killed");
  const std::string refuses = out.file("refuses");
  std::filesystem::create_directories(killed);
  std::filesystem::create_directories(refuses);
  std::ofstream(killed + "/ffmpeg") << "#!/bin/sh\n/usr/bin/head -c 10000 > /dev/null\n"
                                       "kill -KILL $$\n";
  std::ofstream(refuses + "/ffmpeg") << "#!/bin/sh\necho 'Unknown encoder' >&2\nexit 8\n";
  for (const std::string& dir : {killed, refuses}) {
    std::filesystem::permissions(dir + "/ffmpeg", std::filesystem::perms::owner_all);
  }
  const std::string video = out.file("show.mkv");
  const std::string partial = partialVideoPath(video);
  struct Case {
    const char* name;
    std::string env;
    std::string message;  // the last line of stderr, in part
  };
  const Case cases[] = {
      {"no ffmpeg", "PATH=/nonexistent", "vesper: --video needs ffmpeg, which is not on PATH"},
      {"killed", "PATH=" + killed, "vesper: ffmpeg ended by signal 9 (Killed); no video written"},
      {"refusing", "PATH=" + refuses,
       "vesper: ffmpeg failed (status 8): Unknown encoder; no video written"},
      // The disk fills up under ffmpeg.
      {"disk full", "", "No space left on device; no video written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.env.empty()) std::filesystem::create_symlink("/dev/full", partial);
    const auto r = vesper("--video '" + video + "' --fps 30", c.env);
    EXPECT_EQ(r.exitStatus, 1);
    const size_t last = r.stdErr.rfind('\n', r.stdErr.size() - 2);
    const std::string line = r.stdErr.substr(last == std::string::npos ? 0 : last + 1);
    EXPECT_NE(line.find(c.message), std::string::npos) << r.stdErr;
    EXPECT_EQ(r.stdErr.find("vesper: "), r.stdErr.rfind("vesper: ")) << r.stdErr;
    // Not even a link to a full disk is left behind.
    EXPECT_EQ(entries(out.path()), (std::vector<std::string>{"killed", "refuses"}));
  }
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

  // Streamed segments joined: the same pixels and music, no PNG anywhere.
  r = runCommand(environment() + "bash " + testing_support::sourcePath("scripts/capture_farm.sh") +
                 " --video '" + out.file("farm.mkv") + "'" + range + " --jobs 2 --parts 3" +
                 " --vesper " + builtProgram("vesper") + " --" + playerOptions());
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_EQ(entries(out.path()), (std::vector<std::string>{"farm", "farm.mkv", "one"}));
  EXPECT_EQ(videoFrameMd5s(out.file("farm.mkv")), pngFrameMd5s(out.file("one"), 0, 24));
  EXPECT_EQ(audioMd5(out.file("farm.mkv")), audioMd5(out.file("one/music.wav")));
}

}  // namespace
