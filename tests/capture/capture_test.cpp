// Capture building blocks: the PNG frame pool (pixels back as handed in,
// a bounded set of buffers), the music of a range (exact to the sample,
// clamped at the track's end) and the progress line.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "../sound/sound_fixtures.h"
#include "capture/capture.h"
#include "platform/platform.h"
#include "texture/decode.h"
#include "texture/texture.h"

namespace {

using testing_support::TempDir;

// Pixel (x, y) of frame f, rows bottom first as GL reads them back.
uint8_t pixelByte(uint64_t f, uint32_t x, uint32_t y, int c) {
  return static_cast<uint8_t>(f * 40 + x * 7 + y * 13 + c * 50);
}

void fillFrame(uint8_t* buffer, uint64_t f, uint32_t w, uint32_t h) {
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = buffer + (static_cast<size_t>(y) * w + x) * 4;
      for (int c = 0; c < 3; ++c) p[c] = pixelByte(f, x, y, c);
      p[3] = 0x55;  // the default framebuffer's alpha means nothing
    }
  }
}

class PngPool : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = textureManager::instance().nonPowerOfTwo();
    textureManager::instance().setNonPowerOfTwo(true);
  }
  void TearDown() override { textureManager::instance().setNonPowerOfTwo(saved); }

  // The decoded file equals frame f (top row of the file = last buffer row).
  void expectFrame(const std::string& where, uint64_t f, uint32_t w, uint32_t h) {
    const std::vector<uint8_t> file = testing_support::readFile(captureFramePath(where, f));
    std::string reason;
    const auto tex = texture_decode::decodePng(file.data(), file.size(), reason);
    ASSERT_TRUE(tex) << reason;
    ASSERT_EQ(tex->width(), w);
    ASSERT_EQ(tex->height(), h);
    int wrong = 0;
    for (uint32_t row = 0; row < h; ++row) {
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = tex->pixels() + (static_cast<size_t>(row) * w + x) * 4;
        for (int c = 0; c < 3; ++c) wrong += p[c] != pixelByte(f, x, h - 1 - row, c);
        wrong += p[3] != 255;
      }
    }
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }

  bool saved = false;
  TempDir dir;
};

TEST_F(PngPool, WritesEveryFrameWithThePixelsHandedIn) {
  constexpr uint32_t w = 5, h = 3;
  constexpr uint64_t frames = 9;
  PngFramePool pool(dir.path(), w, h, 2, 3);
  for (uint64_t f = 0; f < frames; ++f) {
    uint8_t* buffer = pool.acquire();
    fillFrame(buffer, f, w, h);
    pool.submit(buffer, f);
  }
  std::string reason;
  ASSERT_TRUE(pool.finish(reason)) << reason;
  EXPECT_EQ(pool.written(), frames);
  for (uint64_t f = 0; f < frames; ++f) expectFrame(dir.path(), f, w, h);
  EXPECT_FALSE(std::filesystem::exists(captureFramePath(dir.path(), frames)));
  EXPECT_EQ(captureFramePath("d", 42), "d/frame_000042.png");
}

TEST_F(PngPool, TheRenderThreadWaitsOnlyWhenEveryBufferIsInFlight) {
  constexpr uint32_t w = 4, h = 4;
  PngFramePool pool(dir.path(), w, h, 1, 2);
  std::mutex m;
  std::condition_variable cv;
  bool writerHeld = false, release = false;
  pool.beforeWrite = [&](uint64_t index) {
    if (index != 0) return;
    std::unique_lock<std::mutex> lock(m);
    writerHeld = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
  };
  uint8_t* first = pool.acquire();
  fillFrame(first, 0, w, h);
  pool.submit(first, 0);
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return writerHeld; });
  }
  // The one worker is stuck on frame 0; the second buffer is still free.
  uint8_t* second = pool.acquire();
  EXPECT_NE(second, first);
  EXPECT_EQ(pool.waits(), 0u);
  fillFrame(second, 1, w, h);
  pool.submit(second, 1);

  std::atomic<bool> acquired{false};
  uint8_t* third = nullptr;
  std::thread render([&] {
    third = pool.acquire();
    acquired = true;
  });
  while (pool.waitingForBuffer() == 0) std::this_thread::yield();
  EXPECT_FALSE(acquired) << "no buffer is free while both are in flight";
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  render.join();
  EXPECT_TRUE(third == first || third == second) << "buffers are reused, never new";
  EXPECT_EQ(pool.waits(), 1u);
  fillFrame(third, 2, w, h);
  pool.submit(third, 2);
  std::string reason;
  ASSERT_TRUE(pool.finish(reason)) << reason;
  for (uint64_t f = 0; f < 3; ++f) expectFrame(dir.path(), f, w, h);
}

TEST_F(PngPool, AStreamedVideoHoldsThePixelsHandedInInOrder) {
  if (platform::findProgram("ffmpeg").empty()) GTEST_SKIP() << "ffmpeg is not installed";
  // Odd sizes: no row padding may creep in.
  constexpr uint32_t w = 7, h = 5;
  constexpr uint64_t frames = 6;
  testing_support::writeFile(dir.file("music.wav"),
                             sound_fixtures::makeWave(sound_fixtures::rampPcm(44100)));
  std::string reason;
  auto stream = VideoStream::start(dir.file("v.mkv"), FrameRate{24, 1}, w, h,
                                   dir.file("music.wav"), reason);
  ASSERT_TRUE(stream) << reason;
  for (uint64_t f = 0; f < frames; ++f) {
    uint8_t* buffer = stream->frames().acquire();
    fillFrame(buffer, f, w, h);
    stream->frames().submit(buffer, f);
  }
  ASSERT_TRUE(stream->finish(reason)) << reason;
  EXPECT_FALSE(std::filesystem::exists(partialVideoPath(dir.file("v.mkv"))));

  // Decoded back to RGB, top row first.
  const auto r = testing_support::runCommand("ffmpeg -nostdin -v error -i '" + dir.file("v.mkv") +
                                             "' -map 0:v -f rawvideo -pix_fmt rgb24 '" +
                                             dir.file("v.rgb") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  const std::vector<uint8_t> rgb = testing_support::readFile(dir.file("v.rgb"));
  ASSERT_EQ(rgb.size(), frames * w * h * 3);
  int wrong = 0;
  for (uint64_t f = 0; f < frames; ++f) {
    for (uint32_t row = 0; row < h; ++row) {
      for (uint32_t x = 0; x < w; ++x) {
        const uint8_t* p = rgb.data() + ((f * h + row) * w + x) * 3;
        for (int c = 0; c < 3; ++c) wrong += p[c] != pixelByte(f, x, h - 1 - row, c);
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(PngPool, AFailedWriteNamesTheFrame) {
  PngFramePool pool(dir.file("missing"), 2, 2, 1, 1);
  uint8_t* buffer = pool.acquire();
  fillFrame(buffer, 0, 2, 2);
  pool.submit(buffer, 3);
  std::string reason;
  EXPECT_FALSE(pool.finish(reason));
  EXPECT_EQ(reason.rfind(dir.file("missing/frame_000003.png: "), 0), 0u) << reason;
}

// ---------------------------------------------------------------------------

struct WaveFile {
  uint16_t channels = 0;
  uint32_t rate = 0;
  std::vector<uint8_t> data;
};

WaveFile readWave(const std::string& path) {
  const std::vector<uint8_t> bytes = testing_support::readFile(path);
  WaveFile w;
  if (bytes.size() < 44) return w;
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
  EXPECT_EQ(u32(4), bytes.size() - 8);
  EXPECT_EQ(std::memcmp(bytes.data() + 36, "data", 4), 0);
  EXPECT_EQ(u32(40), bytes.size() - 44);
  w.channels = static_cast<uint16_t>(u16(22));
  w.rate = u32(24);
  w.data.assign(bytes.begin() + 44, bytes.end());
  return w;
}

TEST(MusicRange, ExactSamplesOfTheRangeClampedAtTheEnd) {
  TempDir dir;
  constexpr uint32_t kFrames = 110250;  // 2.5 s of 44.1 kHz stereo
  const std::vector<uint8_t> pcm = sound_fixtures::rampPcm(kFrames);
  testing_support::writeFile(dir.file("music.wav"), sound_fixtures::makeWave(pcm));
  MusicInfo info;
  std::string reason;
  ASSERT_TRUE(probeMusic(dir.file("music.wav"), info, reason)) << reason;
  EXPECT_EQ(info.totalSamples, kFrames);
  EXPECT_EQ(info.lengthMs, 2500u);

  struct Case {
    uint32_t from;
    uint64_t frames;
    FrameRate rate;
    uint64_t first, count;
  };
  const Case cases[] = {
      {1000, 30, {60000, 1001}, 44100, 22073},  // [1000, 1500.5 ms): 66173 - 44100
      {1, 1, {60, 1}, 45, 735},
      {2000, 60, {60, 1}, 88200, 22050},        // would end at 3 s: clamped at 2.5 s
      {3000, 10, {60, 1}, kFrames, 0},          // wholly past the end: empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    uint64_t samples = 0;
    ASSERT_TRUE(writeMusicRange(dir.file("music.wav"), c.from, 0, c.frames, c.rate,
                                dir.file("out.wav"), samples, reason))
        << reason;
    EXPECT_EQ(samples, c.count);
    const WaveFile w = readWave(dir.file("out.wav"));
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100u);
    ASSERT_EQ(w.data.size(), c.count * 4);
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), pcm.begin() + c.first * 4))
        << "the samples are those of the range";
  }
}

TEST(MusicRange, OggKeepsItsOwnChannelsAndCutsExactly) {
  TempDir dir;
  const std::vector<uint8_t> ogg = sound_fixtures::makeOgg(1, 44100);
  testing_support::writeFile(dir.file("music.ogg"), ogg);
  OggVorbisLoader loader;
  const std::vector<uint8_t> whole = sound_fixtures::decodeWhole(loader, dir.file("music.ogg"));
  uint64_t samples = 0;
  std::string reason;
  // 100 ms + 10 frames at 60000/1001 ends at sample 11767.35: samples [4410, 11768).
  ASSERT_TRUE(writeMusicRange(dir.file("music.ogg"), 100, 0, 10, {60000, 1001}, dir.file("out.wav"),
                              samples, reason))
      << reason;
  EXPECT_EQ(samples, 11768u - 4410u);
  const WaveFile w = readWave(dir.file("out.wav"));
  EXPECT_EQ(w.channels, 1);
  ASSERT_EQ(w.data.size(), samples * 2);
  ASSERT_GE(whole.size(), 11768u * 2);
  EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), whole.begin() + 4410 * 2));

  EXPECT_FALSE(writeMusicRange(dir.file("none.ogg"), 0, 0, 1, {60, 1}, dir.file("x.wav"), samples,
                               reason));
  EXPECT_EQ(reason, dir.file("none.ogg") + " is missing or neither RIFF WAVE nor Ogg Vorbis");
}

// ---------------------------------------------------------------------------

std::string progressOutput(bool terminal, const std::vector<std::pair<uint64_t, double>>& steps,
                           uint64_t total) {
  std::FILE* f = std::tmpfile();
  CaptureProgress progress(total, terminal, f);
  for (const auto& [done, seconds] : steps) progress.update(done, seconds);
  progress.finish();
  std::string text(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), f), text.size());
  std::fclose(f);
  return text;
}

TEST(Progress, PlainLinesAtEachTenthAndOneRedrawnLineOnATerminal) {
  std::vector<std::pair<uint64_t, double>> steps;
  for (uint64_t n = 1; n <= 200; ++n) steps.emplace_back(n, static_cast<double>(n) / 4.0);
  const std::string plain = progressOutput(false, steps, 200);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 10);
  EXPECT_EQ(plain.find('\r'), std::string::npos);
  EXPECT_NE(plain.find("capture: frame 100 of 200, 4.0 fps, 0:25 left\n"), std::string::npos)
      << plain;
  EXPECT_NE(plain.find("capture: frame 200 of 200, 4.0 fps, 0:00 left\n"), std::string::npos);

  const std::string tty = progressOutput(true, {{1, 0.0}, {2, 0.1}, {3, 0.3}, {4, 2.0}}, 1000);
  EXPECT_EQ(tty.find('\n'), tty.size() - 1) << "one line, ended at the finish";
  EXPECT_EQ(std::count(tty.begin(), tty.end(), '\r'), 3) << "redrawn at most five times a second";
  EXPECT_NE(tty.find("\rcapture: frame 4 of 1000, 2.0 fps, 8:18 left"), std::string::npos) << tty;
}

}  // namespace
