// The demo manager's frame loop on a software GL context, with the music
// played through the manual sound device and a test clock for the fades.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/managers.h"
#include "demo/demo_clock.h"
#include "demo/demo_manager.h"
#include "demo/show_options.h"
#include "platform/sound_output.h"
#include "render/render.h"
#include "sound/sound.h"
#include "sound/sound_fixtures.h"
#include "demo/show_production.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace {

uint32_t gClock = 0;
uint32_t testClock() { return gClock; }

std::unique_ptr<platform::SoundOutput> manualOutput(std::string&) {
  return platform::openManualSoundOutput();
}

// A tenth of a second of 16-bit stereo WAVE (non-silent), played statically.
std::vector<uint8_t> shortWave() {
  const uint32_t frames = 4410;
  std::vector<uint8_t> out;
  auto put16 = [&out](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto id = [&out](const char* s) { out.insert(out.end(), s, s + 4); };
  id("RIFF");
  put32(36 + frames * 4);
  id("WAVE");
  id("fmt ");
  put32(16);
  put16(1);
  put16(2);
  put32(44100);
  put32(44100 * 4);
  put16(4);
  put16(16);
  id("data");
  put32(frames * 4);
  for (uint32_t i = 0; i < frames; ++i) {
    put16(0x1000 + i);
    put16(0x2000);
  }
  return out;
}

class DemoFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    setSoundOutputFactory(&manualOutput);
    list.setArenaSizesForTesting(0, 0);
    ASSERT_TRUE(list.initialize());
    testing_support::installPack(dir, show_testing::coreEffects());
    testing_support::writeFile(dir.file("music.wav"), shortWave());
    systemManager::instance().exitRequested = false;
    gClock = 1000;
    demo.setTimeSource(testClock);
    options.musicPath = dir.file("music.wav");
    demo.setShowOptions(options);
    ASSERT_TRUE(demo.initialize());
    ASSERT_NE(demo.sound(), nullptr);
  }
  // The show again from its start under `options`.
  void restart() {
    demo.terminate();
    demo.setShowOptions(options);
    ASSERT_TRUE(demo.initialize());
  }
  void TearDown() override {
    if (!gl.ok()) return;
    demo.terminate();
    demo.setTimeSource(nullptr);
    EXPECT_EQ(demo.showOptions().clock, nullptr) << "terminate forgot the options";
    systemManager::instance().exitRequested = false;
    setSoundOutputFactory(nullptr);
    EXPECT_EQ(soundOutput(), nullptr) << "terminate released the sound device";
    list.terminate();
  }
  // Runs frames through the loader fade into Play.
  void toPlay() {
    ASSERT_TRUE(demo.update());  // Reset
    ASSERT_TRUE(demo.update());  // Load, then the fade's first frame
    gClock += 1801;
    ASSERT_TRUE(demo.update());  // the fade is over
    ASSERT_EQ(demo.state(), demoManager::StartMusic);
    ASSERT_TRUE(demo.update());
    ASSERT_EQ(demo.state(), demoManager::Play);
  }
  // Lets the manual device play the whole track.
  void playOut() {
    std::vector<int16_t> mix(2 * 8820);
    soundOutput()->render(mix.data(), 8820);
    ASSERT_TRUE(demo.sound()->musicOver());
  }
  int32_t volume() const { return demo.sound()->getPlayer()->buffer()->volume(); }
  bool blackEverywhere() const {
    const std::vector<uint8_t> px = gl.readPixels(0, 0, 320, 180);
    for (size_t i = 0; i < px.size(); i += 4) {
      if (px[i] > 1 || px[i + 1] > 1 || px[i + 2] > 1) return false;
    }
    return true;
  }

  testing_support::GlContext gl;
  testing_support::TempDir dir;
  intermediateCommand& list = intermediateCommand::instance();
  demoManager& demo = demoManager::instance();
  ShowOptions options;
};

TEST_F(DemoFrames, StatesFollowTheLoaderFadeAndTheMusicEndsTheShow) {
  EXPECT_EQ(demo.state(), demoManager::Reset);
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::Load) << "the first frame only resets";

  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::LoaderFade) << "loading runs on straight into the fade";
  // f = 0: the full loading bar, not faded yet, on black.
  EXPECT_EQ(gl.readPixels(160, 90, 1, 1)[0], 255);
  EXPECT_EQ(gl.readPixels(0, 0, 1, 1)[0], 0);

  // 1.8 s exactly (f = 1.2) is still the fade; just past it the fade ends
  // without drawing, and the music waits for the next frame.
  gClock += 1800;
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::LoaderFade);
  gClock += 1;
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::StartMusic);
  EXPECT_FALSE(blackEverywhere()) << "the last fade frame draws nothing";
  EXPECT_FALSE(demo.sound()->isPlaying());
  EXPECT_EQ(demo.musicTime(), 0u);

  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::Play) << "the music starts and plays in the same frame";
  EXPECT_FALSE(demo.sound()->musicOver()) << "told to play; the device has yet to take it";
  EXPECT_LT(demo.musicTime(), 50u);
  EXPECT_TRUE(blackEverywhere());
  ASSERT_TRUE(demo.update());

  playOut();
  EXPECT_FALSE(demo.update()) << "the end of the music ends the show";
}

TEST_F(DemoFrames, LoopStartsTheMusicAgainOnTheNextFrame) {
  options.loop = true;
  restart();
  toPlay();
  for (int round = 0; round < 2; ++round) {
    playOut();
    ASSERT_TRUE(demo.update());
    EXPECT_EQ(demo.state(), demoManager::StartMusic);
    ASSERT_TRUE(demo.update());
    EXPECT_EQ(demo.state(), demoManager::Play);
    EXPECT_FALSE(demo.sound()->musicOver()) << "round " << round;
  }
}

TEST_F(DemoFrames, AStartTimeStartsClockAndMusicThere) {
  options.startMs = 50;
  restart();
  toPlay();
  EXPECT_EQ(demo.musicTime(), 50u) << "the first reading is the start time";
  const SoundPlayer* player = demo.sound()->getPlayer();
  EXPECT_EQ(player->buffer()->currentPosition(), SoundPlayer::startByteFor(50, player->format()));
  EXPECT_EQ(player->buffer()->currentPosition(), 8820u) << "50 ms of 44.1 kHz stereo 16-bit";
  gClock += 20;
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.musicTime(), 50u) << "it waits there until the device takes the music";
  // Two device periods (the first only fills its queue): 46 ms taken, and
  // no latency on the manual device, plus at most a period since, less
  // the 2 ms the wall-clock sum may lag.
  std::vector<int16_t> mix(2 * 1024);
  soundOutput()->render(mix.data(), 1024);
  soundOutput()->render(mix.data(), 1024);
  gClock += 20;
  ASSERT_TRUE(demo.update());
  EXPECT_GE(demo.musicTime(), 50u + 44u) << "then it follows what the device has played";
  EXPECT_LE(demo.musicTime(), 50u + 46u + 24u);
}

TEST_F(DemoFrames, AStartAtTheEndOfAStreamedTrackEndsEvenALoopedShow) {
  // Long enough to be streamed, and ending on a whole millisecond. The
  // manual device consumes nothing, so only the worker can say "nothing left".
  testing_support::writeFile(dir.file("long.wav"), sound_fixtures::makeWave(sound_fixtures::rampPcm(8 * 44100)));
  options.musicPath = dir.file("long.wav");
  options.loop = true;
  options.startMs = 8000;
  restart();
  ASSERT_TRUE(demo.sound()->getPlayer()->streaming());
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  gClock += 1801;
  ASSERT_TRUE(demo.update());
  ASSERT_EQ(demo.state(), demoManager::StartMusic);
  EXPECT_FALSE(demo.update()) << "a loop would only start it at its end again";
  EXPECT_FALSE(demo.sound()->isPlaying());
}

TEST_F(DemoFrames, AnInstalledClockGivesTheShowTimeAndItsEnd) {
  ScriptedClock clock;
  clock.ticks = 1000;
  options.clock = &clock;
  options.startMs = 300;
  restart();
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  clock.ticks += 1801;  // the fades follow the installed clock's timer
  ASSERT_TRUE(demo.update());
  ASSERT_EQ(demo.state(), demoManager::StartMusic);
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(clock.starts, 1u);
  EXPECT_EQ(demo.musicTime(), 300u);
  clock.music = 12345;
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.musicTime(), 12345u);
  clock.isPlaying = false;
  EXPECT_FALSE(demo.update()) << "the clock, not the player, says when the show is over";
}

TEST_F(DemoFrames, SeekMovesTheStartBeforeTheMusicAndBothMusicAndClockWhilePlaying) {
  ScriptedClock clock;
  options.clock = &clock;
  restart();
  const SoundPlayer* player = demo.sound()->getPlayer();
  demo.seek(40);  // still loading: the run starts there
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  clock.ticks += 1801;
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  ASSERT_EQ(demo.state(), demoManager::Play);
  EXPECT_EQ(clock.starts, 1u);
  EXPECT_EQ(demo.musicTime(), 40u);
  EXPECT_EQ(player->buffer()->currentPosition(), SoundPlayer::startByteFor(40, player->format()));

  demo.seek(70);
  EXPECT_EQ(clock.starts, 2u) << "the clock starts again at once";
  EXPECT_EQ(clock.music, 70u);
  EXPECT_EQ(player->buffer()->currentPosition(), SoundPlayer::startByteFor(70, player->format()));
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.musicTime(), 70u);
  EXPECT_EQ(demo.showOptions().startMs, 40u) << "a loop still starts where the run did";
}

TEST(DemoEnding, VolumeFollowsTheSquareRootOfTheBrightness) {
  EXPECT_EQ(demoManager::endingVolume(1.0f), 0);
  EXPECT_EQ(demoManager::endingVolume(0.5625f), -2500);
  EXPECT_EQ(demoManager::endingVolume(0.25f), -5000);
  EXPECT_EQ(demoManager::endingVolume(0.0f), -10000);
  // Truncated toward zero, not rounded.
  EXPECT_EQ(demoManager::endingVolume(0.9f), -513);
}

TEST_F(DemoFrames, EscapeDuringPlayFadesOutAndEndsThreeSecondsLater) {
  toPlay();
  systemManager::instance().exitRequested = true;
  const uint32_t pressed = gClock;
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(volume(), 0);
  EXPECT_GT(list.layerCount(6), 0u) << "the fade is recorded as an overlay";
  list.reset();

  gClock = pressed + 2250;  // b = 0.25
  ASSERT_TRUE(demo.update());
  EXPECT_FLOAT_EQ(demo.endingBrightness(), 0.25f);
  EXPECT_EQ(volume(), -5000);
  gClock = pressed + 3000;  // b = 0: silent, still running
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(volume(), -10000);
  gClock = pressed + 3001;
  EXPECT_FALSE(demo.update());
}

TEST_F(DemoFrames, EscapeDuringTheLoaderFadeEndsTheShowWithoutMusic) {
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  systemManager::instance().exitRequested = true;
  const uint32_t pressed = gClock;
  gClock = pressed + 1000;
  ASSERT_TRUE(demo.update());  // T1 is taken here: the first ending step
  gClock = pressed + 3900;
  ASSERT_TRUE(demo.update()) << "the state machine keeps advancing under the fade";
  EXPECT_EQ(demo.state(), demoManager::StartMusic);
  gClock = pressed + 4000;  // b = 0
  ASSERT_TRUE(demo.update());
  gClock = pressed + 4001;
  EXPECT_FALSE(demo.update());
}

}  // namespace
