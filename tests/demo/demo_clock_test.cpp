// The show clocks and the capture arithmetic behind the fixed step: exact
// frame times over long runs, frame counts of a range, and the samples a
// range covers.
#include <gtest/gtest.h>

#include "capture/capture.h"
#include "demo/demo_clock.h"
#include "sound/sound.h"

namespace {

constexpr FrameRate kNtsc{60000, 1001};
constexpr FrameRate k60{60, 1};

TEST(CaptureArithmetic, FrameTimesAreExactAtEveryStep) {
  struct Case {
    uint32_t from;
    uint64_t k;
    FrameRate rate;
    uint64_t ms;
  };
  const Case cases[] = {
      {0, 0, k60, 0},
      {0, 1, k60, 16},
      {0, 3, k60, 50},
      {0, 60, k60, 1000},
      {500, 1, {24, 1}, 541},
      {0, 1, kNtsc, 16},
      // 1001 ms is exactly frame 60; the frames around it round down.
      {0, 59, kNtsc, 984},
      {0, 60, kNtsc, 1001},
      {0, 61, kNtsc, 1017},
      {0, 59999, kNtsc, 1000983},
      {0, 60000, kNtsc, 1001000},
      {0, 3, {30000, 1001}, 100},
      // An hour at 60000/1001: the last frame before 3 600 000 ms and the
      // first after it, with no drift from adding up rounded steps.
      {0, 215784, kNtsc, 3599996},
      {0, 215785, kNtsc, 3600013},
      {7, 215785, kNtsc, 3600020},
      {4000000000u, 1, {1, 1000000}, 4000000000u + 1000000000ull},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(captureFrameMs(c.from, c.k, c.rate), c.ms)
        << c.from << " + frame " << c.k << " at " << c.rate.num << "/" << c.rate.den;
  }
}

TEST(CaptureArithmetic, FrameCountsAndSampleRangesOfARange) {
  struct Count {
    uint32_t from, to;
    FrameRate rate;
    uint64_t frames;
  };
  const Count counts[] = {
      {0, 1000, k60, 60},     {0, 1001, kNtsc, 60},  {0, 1002, kNtsc, 61},
      {0, 1, k60, 1},         {1000, 1000, k60, 0},  {2000, 1000, k60, 0},
      {0, 3600000, kNtsc, 215785},                   {200, 700, {30, 1}, 15},
  };
  for (const Count& c : counts) {
    EXPECT_EQ(captureFrameCount(c.from, c.to, c.rate), c.frames) << c.from << ".." << c.to;
  }

  struct Samples {
    uint32_t from;
    uint64_t frames;
    FrameRate rate;
    uint32_t sampleRate;
    uint64_t first, end;
  };
  const Samples samples[] = {
      {0, 60, k60, 44100, 0, 44100},
      {0, 1, k60, 44100, 0, 735},
      // 735.735 samples long: sample 735 still lies inside.
      {0, 1, kNtsc, 44100, 0, 736},
      {1, 1, k60, 44100, 45, 780},
      {1000, 30, kNtsc, 44100, 44100, 66173},
      {0, 215785, kNtsc, 44100, 0, 158760577},
      {0, 215785, kNtsc, 48000, 0, 172800628},  // ends exactly on a sample: excluded
      {200, 15, {30, 1}, 44100, 8820, 30870},
  };
  for (const Samples& s : samples) {
    const SampleRange r = captureSampleRange(s.from, 0, s.frames, s.rate, s.sampleRate);
    EXPECT_EQ(r.first, s.first) << s.from << " + " << s.frames << " frames";
    EXPECT_EQ(r.end, s.end) << s.from << " + " << s.frames << " frames";
    // Split into two parts, the parts' samples abut and add up to the whole.
    const uint64_t split = s.frames / 3;
    const SampleRange a = captureSampleRange(s.from, 0, split, s.rate, s.sampleRate);
    const SampleRange b = captureSampleRange(s.from, split, s.frames - split, s.rate, s.sampleRate);
    EXPECT_EQ(a.first, s.first) << s.from << " + " << s.frames << " frames, split";
    EXPECT_EQ(a.end, b.first) << s.from << " + " << s.frames << " frames, split";
    EXPECT_EQ(b.end, s.end) << s.from << " + " << s.frames << " frames, split";
  }
}

TEST(CaptureArithmetic, FrameRatesParse) {
  const std::pair<const char*, FrameRate> good[] = {
      {"60", {60, 1}}, {"60000/1001", {60000, 1001}}, {"1/1000000", {1, 1000000}}};
  for (const auto& [text, rate] : good) {
    FrameRate r;
    ASSERT_TRUE(parseFrameRate(text, r)) << text;
    EXPECT_EQ(r.num, rate.num);
    EXPECT_EQ(r.den, rate.den);
  }
  for (const char* bad : {"", "0", "60/0", "/1001", "60/", "60/1/2", "29.97", "-60", "+60",
                          " 60", "1000001", "60000/1001x"}) {
    FrameRate r{7, 7};
    EXPECT_FALSE(parseFrameRate(bad, r)) << bad;
    EXPECT_EQ(r.num, 7) << "untouched on failure";
  }
}

TEST(CaptureClockTest, ReadingsStepByFramesAndTheRangeEnds) {
  CaptureClock clock(kNtsc, 0, 3);
  EXPECT_EQ(clock.ticksMs(), 0u);
  uint64_t index = 99;
  EXPECT_FALSE(clock.takeFrame(index)) << "nothing read yet";
  clock.start(1000);
  const uint32_t expected[] = {1000, 1016, 1033};
  for (uint64_t k = 0; k < 3; ++k) {
    EXPECT_EQ(clock.musicTimeMs(), expected[k]);
    EXPECT_TRUE(clock.playing());
    ASSERT_TRUE(clock.takeFrame(index));
    EXPECT_EQ(index, k);
    EXPECT_FALSE(clock.takeFrame(index)) << "each frame is taken once";
    clock.framePresented();
  }
  EXPECT_EQ(clock.musicTimeMs(), 1050u);
  EXPECT_FALSE(clock.playing()) << "the reading after the range ends the show";
  EXPECT_FALSE(clock.takeFrame(index));
  // The fade timer: one frame step per presented frame, from zero.
  EXPECT_EQ(clock.ticksMs(), 50u);
  clock.framePresented();
  EXPECT_EQ(clock.ticksMs(), 66u);
  // A new start begins the range again.
  clock.start(0);
  EXPECT_EQ(clock.musicTimeMs(), 0u);
  ASSERT_TRUE(clock.takeFrame(index));
  EXPECT_EQ(index, 0u);

  // The last two frames of an hour's capture at 7 ms, run as a part of it:
  // the whole capture's numbers and times.
  CaptureClock part(kNtsc, 215784, 2);
  part.start(7);
  for (const auto& [k, ms] : {std::pair<uint64_t, uint32_t>{215784, 3600003},
                              std::pair<uint64_t, uint32_t>{215785, 3600020}}) {
    EXPECT_EQ(part.musicTimeMs(), ms);
    ASSERT_TRUE(part.takeFrame(index));
    EXPECT_EQ(index, k);
  }
  part.musicTimeMs();
  EXPECT_FALSE(part.playing());
}

uint32_t gTicks = 0;
uint32_t testTicks() { return gTicks; }

TEST(PlaybackClockTest, WithoutMusicNothingPlaysAndTimeStands) {
  PlaybackClock clock;
  clock.setTimeSource(testTicks);
  gTicks = 1234;
  EXPECT_EQ(clock.ticksMs(), 1234u);
  clock.start(500);
  gTicks += 100;
  EXPECT_EQ(clock.musicTimeMs(), 0u);
  EXPECT_FALSE(clock.playing());

  // A music player that does not play keeps the start time.
  cDemoSound sound;
  clock.setSound(&sound);
  clock.start(500);
  gTicks += 100;
  EXPECT_EQ(clock.musicTimeMs(), 500u);
  EXPECT_FALSE(clock.playing());
}

}  // namespace
