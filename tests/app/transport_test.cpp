// The rehearsal transport driven by key presses over a scripted show clock
// and a streamed track on the manual sound device: after every press the
// show time is the expected one and the music stands on that time's sample.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/transport.h"
#include "platform/platform.h"
#include "sound/sound_fixtures.h"

namespace {

using namespace platform;

constexpr uint32_t kTrackMs = 40000;
constexpr uint32_t kFramesPerMs10 = 441;  // output frames in 10 ms

std::unique_ptr<SoundOutput> manualOutput(std::string&) { return openManualSoundOutput(); }

struct Press {
  int32_t key;
  uint32_t flags = 0;
};

struct Step {
  std::string what;
  std::vector<Press> keys;
  uint32_t playMs;  // the show plays this long after the keys (a multiple of 10)
  uint32_t time;    // the show time the next frame reads
  bool paused;
  bool reload = false;  // the show restarts the music at its time, as a music reload does
};

// The ramp's frame i is (i & 0xFFFF, 0x4000 + (i >> 16)): the frame the
// device plays next, or -1 for silence.
int64_t nextFrame() {
  int16_t out[2] = {0, 0};
  soundOutput()->render(out, 1);
  const auto left = static_cast<uint16_t>(out[0]);
  const auto right = static_cast<uint16_t>(out[1]);
  if (left == 0 && right == 0) return -1;
  return int64_t{left} + (int64_t{right} - 0x4000) * 65536;
}

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setSoundOutputFactory(&manualOutput);
    testing_support::writeFile(dir.file("music.wav"),
                               sound_fixtures::makeWave(sound_fixtures::rampPcm(kTrackMs / 10 * kFramesPerMs10)));
    sound.trackName = dir.file("music.wav");
    ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
    ASSERT_TRUE(sound.getPlayer()->streaming());
  }
  void TearDown() override {
    sound.getPlayer()->shutdown();
    setSoundOutputFactory(nullptr);
  }

  // Plays `ms` of music on the device, letting the streaming worker refill
  // its ring between half segments, and moves the scripted clock with it.
  void play(uint32_t ms) {
    SoundPlayer& player = *sound.getPlayer();
    uint32_t frames = ms / 10 * kFramesPerMs10;
    const uint32_t step = player.segmentSize() / 2 / kOutputFrameBytes;
    std::vector<int16_t> out(size_t{step} * 2);
    while (frames > 0) {
      const uint64_t polls = player.workerPolls();
      for (int i = 0; i < 2000 && player.workerPolls() < polls + 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const uint32_t n = std::min(frames, step);
      soundOutput()->render(out.data(), n);
      frames -= n;
    }
    clock.music += ms;
  }
  // The run the music plays restarted: frames read by checks are no longer
  // ahead of the show time.
  void noteRun() {
    if (sound.getPlayer()->buffer()->playPosition().frames == 0) checked = 0;
  }

  testing_support::TempDir dir;
  cDemoSound sound;
  ScriptedClock clock;
  uint32_t checked = 0;  // frames the checks took from the current run
};

TEST_F(TransportTest, KeysMoveTheShowTimeAndTheMusicToTheSample) {
  Transport transport(clock);
  transport.setMusic([this] { return &sound; });
  const std::vector<SceneLineRecord> timeline = {
      {"a", 0, 1000, 3000, "default"}, {"b", 1, 2000, 3000, "default"}, {"c", 0, 12000, 20000, "default"}};
  transport.setTimeline(&timeline);
  EXPECT_FALSE(transport.handleKey(KeySpace, 0)) << "nothing moves before the show starts";
  sound.getPlayer()->playFrom(0);
  transport.start(0);

  const Press space{KeySpace}, right{KeyRight}, left{KeyLeft}, farRight{KeyRight, KeyFlagShift},
      farLeft{KeyLeft, KeyFlagShift}, pageUp{KeyPageUp}, pageDown{KeyPageDown}, home{KeyHome},
      loopIn{KeyLeftBracket}, loopOut{KeyRightBracket}, loop{'L'}, back{KeyComma}, step{KeyPeriod};
  std::vector<Step> steps = {
      {"plays", {}, 500, 500, false},
      {"+1 s", {right}, 0, 1500, false},
      {"+10 s", {farRight}, 0, 11500, false},
      {"-1 s", {left}, 0, 10500, false},
      {"-10 s, then plays", {farLeft}, 250, 750, false},
      {"-10 s stops at 0", {farLeft}, 0, 0, false},
      {"next boundary", {pageDown}, 0, 1000, false},
      {"next boundaries", {pageDown, pageDown}, 0, 3000, false},
      {"next boundary, plays", {pageDown}, 300, 12300, false},
      {"playing: a boundary just left counts as left", {pageUp}, 0, 3000, false},
      {"Space pauses", {space}, 0, 3000, true},
      {"a music reload under the pause keeps it", {}, 0, 3000, true, true},
      {"paused: previous boundary", {pageUp}, 0, 2000, true},
      {"a held Space repeats nothing", {{KeySpace, KeyFlagRepeat}}, 0, 2000, true},
      {"frame step", {step}, 0, 2016, true},
      {"frame steps", {step, step}, 0, 2050, true},
      {"frame back", {back}, 0, 2033, true},
      {"loop in; +1 s; loop out; Space: the loop's end goes to its start", {loopIn, right, loopOut, loop, space},
       0, 2033, false},
      {"the loop plays", {}, 500, 2533, false},
      {"and returns to its start", {}, 500, 2033, false},
      {"L: no more loop", {loop}, 1000, 3033, false},
      {"Home", {home}, 0, 0, false},
      {"past the end: held there, paused", {farRight, farRight, farRight, farRight, farRight}, 0, kTrackMs, true},
      {"Space at the end pauses again", {space}, 0, kTrackMs, true},
      {"Home, plays", {home, space}, 100, 100, false},
  };
  // Fifty seeks of both sizes in both directions: the show time is their sum
  // and the music is on its sample, however many came before.
  int64_t t = 100;
  for (int i = 0; i < 50; ++i) {
    const Press keys[5] = {right, right, farRight, left, farLeft};
    const int64_t moves[5] = {1000, 1000, 10000, -1000, -10000};
    t += moves[i % 5];
    steps.push_back({"seek " + std::to_string(i), {keys[i % 5]}, i % 7 == 0 ? 20u : 0u,
                     static_cast<uint32_t>(t + (i % 7 == 0 ? 20 : 0)), false});
    if (i % 7 == 0) t += 20;
  }
  // Sixty frame steps at 60 Hz are one second exactly, not 60 x 16 ms.
  steps.push_back({"pause", {space}, 0, static_cast<uint32_t>(t), true});
  for (int i = 1; i <= 60; ++i) {
    steps.push_back({"step " + std::to_string(i), {step}, 0, static_cast<uint32_t>(t + i * 1000 / 60), true});
  }
  steps.push_back({"resume after the steps", {space}, 0, static_cast<uint32_t>(t + 1000), false});

  const WaveFormat format = sound.getPlayer()->format();
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    for (const Press& p : s.keys) ASSERT_TRUE(transport.handleKey(p.key, p.flags));
    if (s.reload) {
      sound.getPlayer()->playFrom(transport.time());
      transport.start(transport.time());
    }
    noteRun();
    if (s.playMs) play(s.playMs);
    // The playback clock's rule: the music is over once the player stops.
    clock.isPlaying = !sound.musicOver();
    ASSERT_EQ(transport.musicTimeMs(), s.time);
    ASSERT_TRUE(transport.playing()) << "a rehearsal never runs out";
    ASSERT_EQ(transport.paused(), s.paused);
    noteRun();
    if (s.paused) {
      EXPECT_FALSE(sound.getPlayer()->isPlaying());
      EXPECT_EQ(nextFrame(), -1) << "paused: the music is silent";
    } else {
      ASSERT_EQ(nextFrame(), SoundPlayer::startByteFor(s.time, format) / format.blockAlign + checked)
          << "the music is on the show time's sample";
      ++checked;
    }
  }
  EXPECT_FALSE(transport.handleKey('Q', 0));
}

}  // namespace
