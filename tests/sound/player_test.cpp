// Music player: what the device receives for static and streamed tracks,
// the end of a track, volume, start rounding, result codes, shutdown, and
// the demo clock and start-up failures on SDL's dummy and disk drivers.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/platform.h"
#include "sound_fixtures.h"

using namespace sound_fixtures;
using testing_support::TempDir;

namespace {

std::unique_ptr<platform::SoundOutput> manualOutput(std::string&) {
  return platform::openManualSoundOutput();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Renders `frames` frames from the manual device.
std::vector<uint8_t> pull(uint32_t frames) {
  std::vector<uint8_t> out(size_t{frames} * 4);
  soundOutput()->render(reinterpret_cast<int16_t*>(out.data()), frames);
  return out;
}

// Lets the worker run at least one whole poll.
void letWorkerPoll(const SoundPlayer& player) {
  const uint64_t start = player.workerPolls();
  for (int i = 0; i < 2000 && player.workerPolls() < start + 2; ++i) sleepMs(1);
}

// Plays until the buffer stops, in steps of half a segment with a worker
// poll between steps (the refill rule keeps up with that), then `after`
// frames more. Returns everything the device produced.
std::vector<uint8_t> playOut(SoundPlayer& player, uint32_t after, uint32_t limitFrames) {
  const uint32_t step = player.streaming() ? player.segmentSize() / 2 / 4 : 4410;
  std::vector<uint8_t> out;
  while (player.isPlaying() && out.size() / 4 < limitFrames) {
    if (player.streaming()) letWorkerPoll(player);
    const auto chunk = pull(step);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  if (player.streaming()) letWorkerPoll(player);
  const auto tail = pull(after);
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

bool allZero(const std::vector<uint8_t>& v, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (v[i] != 0) return false;
  }
  return true;
}

void expectTrackThenSilence(const std::vector<uint8_t>& out, const std::vector<uint8_t>& pcm) {
  ASSERT_GT(out.size(), pcm.size());
  for (size_t i = 0; i < pcm.size(); ++i) {
    ASSERT_EQ(out[i], pcm[i]) << "first difference at byte " << i;
  }
  EXPECT_TRUE(allZero(out, pcm.size(), out.size())) << "the track is followed by silence";
}

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { setSoundOutputFactory(&manualOutput); }
  void TearDown() override {
    setSoundOutputFactory(nullptr);
    EXPECT_EQ(soundOutput(), nullptr) << "the last player released the device";
  }
  // Writes `image` as the track and opens it on `player`.
  void open(SoundPlayer& player, const std::vector<uint8_t>& image) {
    testing_support::writeFile(dir.file("music.ogg"), image);
    player.trackName = dir.file("music.ogg");
    ASSERT_EQ(player.startDevice(nullptr), soundResult::ok);
    ASSERT_EQ(player.openTrack(), soundResult::ok);
  }
  TempDir dir;
};

TEST_F(PlayerTest, StaticTrackPlaysOnceThenStops) {
  const auto pcm = rampPcm(22050);  // half a second: filled once
  SoundPlayer player;
  open(player, makeWave(pcm));
  EXPECT_FALSE(player.streaming());
  EXPECT_NE(dynamic_cast<WaveLoader*>(player.decoder()), nullptr) << "WAVE named music.ogg";
  EXPECT_EQ(player.buffer()->size(), pcm.size());
  EXPECT_FALSE(player.isPlaying());
  EXPECT_TRUE(allZero(pull(1000), 0, 4000)) << "nothing plays before playFromStart";
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  EXPECT_TRUE(player.isPlaying());
  expectTrackThenSilence(playOut(player, 2000, 100000), pcm);
  EXPECT_FALSE(player.isPlaying());
  // Played again from the start.
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  expectTrackThenSilence(playOut(player, 100, 100000), pcm);
}

TEST_F(PlayerTest, StreamedWaveTrackArrivesWholeAndStopsAtItsEnd) {
  // 1.2 MB, streamed: once ending inside a segment, once on a segment's end.
  for (const uint32_t frames : {300001u, 28u * 11025u}) {
    const auto pcm = rampPcm(frames);
    SoundPlayer player;
    open(player, makeWave(pcm));
    ASSERT_TRUE(player.streaming());
    EXPECT_EQ(player.segmentSize(), 44100u);
    EXPECT_EQ(player.buffer()->size(), 44100u * 12);
    ASSERT_EQ(player.playFromStart(), soundResult::ok);
    EXPECT_TRUE(player.isPlaying());
    const auto out = playOut(player, 30000, 400000);
    expectTrackThenSilence(out, pcm);
    EXPECT_FALSE(player.isPlaying()) << frames;
  }
}

TEST_F(PlayerTest, StreamedOggTrackArrivesWholeAndStopsAtItsEnd) {
  runMusicgen(dir, simpleScore(3), dir.file("music.ogg"));  // 6.1 s: over 1 MiB of PCM
  OggVorbisLoader reference;
  const auto pcm = decodeWhole(reference, dir.file("music.ogg"));
  ASSERT_GE(pcm.size(), SoundPlayer::kStaticLimit);
  SoundPlayer player;
  player.trackName = dir.file("music.ogg");
  ASSERT_EQ(player.startDevice(nullptr), soundResult::ok);
  ASSERT_EQ(player.openTrack(), soundResult::ok);
  EXPECT_NE(dynamic_cast<OggVorbisLoader*>(player.decoder()), nullptr);
  ASSERT_TRUE(player.streaming());
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  expectTrackThenSilence(playOut(player, 20000, 400000), pcm);
  EXPECT_FALSE(player.isPlaying());
}

// A streamed track whose reads fail (its decoder cannot be built) plays
// silence, and the worker's later seeks and reads stay away from libvorbis,
// which would trap if called again on that stream.
TEST_F(PlayerTest, UnreadableStreamedOggPlaysSilenceUntilShutdown) {
  SoundPlayer player;
  open(player, makeOggWithBadCodebook(2, 300000));
  ASSERT_TRUE(player.streaming());
  std::vector<uint8_t> out;
  for (int start = 0; start < 2; ++start) {
    ASSERT_EQ(player.playFromStart(), soundResult::ok);  // a seek, then reads
    for (int i = 0; i < 8; ++i) {
      letWorkerPoll(player);
      const auto chunk = pull(player.segmentSize() / 4);
      out.insert(out.end(), chunk.begin(), chunk.end());
    }
  }
  EXPECT_TRUE(allZero(out, 0, out.size()));
  EXPECT_EQ(player.decoder()->seekBytes(0, SEEK_SET), soundResult::cannotRead);
  player.shutdown();
}

TEST_F(PlayerTest, VolumeSilencesAndUnityIsExact) {
  const auto pcm = rampPcm(4410);
  SoundPlayer player;
  open(player, makeWave(pcm));
  player.setVolume(-10000);
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  EXPECT_TRUE(allZero(pull(4410), 0, pcm.size()));
  player.setVolume(0);
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  EXPECT_EQ(pull(4410), pcm);
  player.setVolume(-600);  // -6 dB: about half
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  const auto out = pull(4410);
  const auto sample = [](const std::vector<uint8_t>& v, size_t frame) {
    return static_cast<int16_t>(v[frame * 4 + 2] | v[frame * 4 + 3] << 8);
  };
  EXPECT_NEAR(sample(out, 10), 0x4000 * 0.5012, 1.0);
}

TEST_F(PlayerTest, OtherFormatsAreConvertedToStereo44k) {
  // 22.05 kHz mono: every output frame has equal channels, and the track
  // lasts twice as many output frames as it has.
  std::vector<uint8_t> pcm;
  for (int i = 0; i < 11025; ++i) {
    put16(pcm, static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.05))));
  }
  WaveSpec spec;
  spec.channels = 1;
  spec.rate = 22050;
  SoundPlayer player;
  open(player, makeWave(pcm, spec));
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  const auto out = playOut(player, 4410, 100000);
  size_t lastSound = 0;
  for (size_t f = 0; f < out.size() / 4; ++f) {
    ASSERT_EQ(out[f * 4], out[f * 4 + 2]) << f;
    ASSERT_EQ(out[f * 4 + 1], out[f * 4 + 3]) << f;
    if (out[f * 4] || out[f * 4 + 1]) lastSound = f;
  }
  EXPECT_NEAR(static_cast<double>(lastSound), 22050.0, 64.0);
}

TEST_F(PlayerTest, EightBitMonoPlaysAsSignedStereo) {
  const std::vector<uint8_t> pcm(4410, 0xC0);  // +64 in unsigned 8-bit
  WaveSpec spec;
  spec.channels = 1;
  spec.bits = 8;
  SoundPlayer player;
  open(player, makeWave(pcm, spec));
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  const auto out = playOut(player, 4410, 100000);
  ASSERT_GT(out.size(), 4410u * 4);
  for (size_t i = 0; i < 4410 * 2; ++i) {
    // SDL's converter rounds the last few samples of a run differently.
    const auto v = static_cast<int16_t>(out[i * 2] | out[i * 2 + 1] << 8);
    ASSERT_NEAR(v, 0x4000, 1) << "sample " << i;
  }
  EXPECT_TRUE(allZero(out, 4410 * 4, out.size())) << "8-bit silence (0x80) plays as 0";
}

TEST_F(PlayerTest, StartPositionRoundsToTheNearerBlock) {
  WaveFormat f{};
  f.blockAlign = 4;
  f.avgBytesPerSec = 176400;
  EXPECT_EQ(SoundPlayer::startByteFor(1000, f), 176400u);
  EXPECT_EQ(SoundPlayer::startByteFor(3, f), 528u);   // 529: down
  EXPECT_EQ(SoundPlayer::startByteFor(8, f), 1412u);  // 1411: up
  EXPECT_EQ(SoundPlayer::startByteFor(5, f), 880u);   // 882: exactly half, down
  f.blockAlign = 6;
  f.avgBytesPerSec = 264600;
  EXPECT_EQ(SoundPlayer::startByteFor(15, f), 3966u);  // 3969: exactly half, down
  EXPECT_EQ(SoundPlayer::startByteFor(16, f), 4230u);  // 4233: exactly half, down
  EXPECT_EQ(SoundPlayer::startByteFor(17, f), 4500u);  // 4498: up
  // Hours past any track: clamped to the last whole block, never wrapped.
  const uint32_t far = SoundPlayer::startByteFor(UINT32_MAX, f);
  EXPECT_GT(far, UINT32_MAX - 12u);
  EXPECT_EQ(far % 6u, 0u);

  // The worker starts the stream there.
  const auto pcm = rampPcm(300000);
  SoundPlayer player;
  open(player, makeWave(pcm));
  ASSERT_TRUE(player.streaming());
  ASSERT_EQ(player.playFrom(8), soundResult::ok);
  auto out = pull(16);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            std::vector<uint8_t>(pcm.begin() + 1412, pcm.begin() + 1420));
  ASSERT_EQ(player.playFrom(5), soundResult::ok);
  out = pull(16);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            std::vector<uint8_t>(pcm.begin() + 880, pcm.begin() + 888));
}

TEST_F(PlayerTest, ResultCodesWithoutBufferOrTrack) {
  SoundPlayer player;
  player.loop = true;
  EXPECT_EQ(player.playFromStart(), soundResult::endReached);
  EXPECT_TRUE(player.loop) << "a refused play changes nothing";
  player.trackName = dir.file("none.ogg");
  ASSERT_EQ(player.startDevice(nullptr), soundResult::ok);
  SoundPlayer second;
  EXPECT_EQ(second.startDevice(nullptr), soundResult::otherFailure);
  EXPECT_EQ(player.playFromStart(), soundResult::endReached);

  const auto child = testing_support::runInChild([&] {
    const int32_t code = player.openTrack();
    std::fflush(nullptr);
    _exit(code);
  });
  EXPECT_EQ(child.exitStatus, soundResult::noDecoder);
  EXPECT_EQ(child.stdErr, ": Sound::" + dir.file("none.ogg") +
                              "の読み取りインターフェイス取得に失敗.\n"
                              "ファイルが存在するかもしくは対応形式か確認して下さい.\n");
}

TEST_F(PlayerTest, ShutdownWhileStreamingStopsTheBufferFirst) {
  const auto pcm = rampPcm(300000);
  SoundPlayer player;
  open(player, makeWave(pcm));
  ASSERT_EQ(player.playFromStart(), soundResult::ok);
  for (int i = 0; i < 3; ++i) {
    letWorkerPoll(player);
    pull(5000);
  }
  const std::shared_ptr<platform::SoundBuffer> buffer = player.buffer();
  ASSERT_TRUE(buffer->isPlaying());
  player.shutdown();
  EXPECT_FALSE(buffer->isPlaying());
  EXPECT_EQ(player.buffer(), nullptr);
  EXPECT_EQ(soundOutput(), nullptr);
  player.shutdown();  // twice is harmless
  EXPECT_EQ(player.playFromStart(), soundResult::endReached);
}

// --- the demo clock on a device of its own pace ---------------------------

uint64_t gSoundUs = 0;
uint64_t scriptedSoundUs() { return gSoundUs; }

// A manual device that plays `pace` times as fast as the sound clock runs
// (a sound card's crystal is never exact): it renders a period each time its
// queue has room for one, the first render only filling the queue, so
// sound is heard from its second render on. `stalled` stops its renders;
// `lateUs` makes every third render after the first one heard run that late
// (its audio thread waited for the CPU) while the queue goes on playing.
struct PacedDevice {
  static constexpr uint32_t kPeriod = 1024;
  static constexpr double kPeriodUs = kPeriod * 1e6 / 44100;
  double pace = 1.0;
  double lateUs = 0;
  double nextUs = 0;
  bool stalled = false;
  int renders = 0;        // renders of the current run
  double heardFromUs = 0;  // when the current run became audible

  void advanceTo(uint64_t us) {
    while (!stalled && nextUs <= static_cast<double>(us)) {
      const double late = renders > 1 && renders % 3 == 0 ? lateUs : 0.0;
      gSoundUs = static_cast<uint64_t>(std::min(nextUs + late, static_cast<double>(us)));
      pull(kPeriod);
      if (++renders == 2) heardFromUs = nextUs;
      nextUs += kPeriodUs / pace;
    }
    gSoundUs = us;
  }
  // Milliseconds of the run a listener has heard at the sound clock's now.
  double heardMs() const {
    if (renders < 2) return 0;
    return std::max(0.0, (static_cast<double>(gSoundUs) - heardFromUs) * pace / 1000);
  }
};

// Start-up, a long stretch at a pace off the wall clock or with late
// renders, an underrun, a seek and the track's end: the clock shows what the
// device has played.
TEST_F(PlayerTest, DemoClockIsHeldToWhatTheDevicePlayed) {
  testing_support::writeFile(dir.file("music.ogg"), makeWave(rampPcm(44100 * 5)));  // 5 s, static
  const struct {
    double pace;
    double lateUs;
  } cases[] = {{1.0, 0}, {1.02, 0}, {0.98, 0}, {1.0, 9000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pace " << c.pace << ", late " << c.lateUs << " us");
    const double pace = c.pace;
    cDemoSound sound;
    sound.trackName = dir.file("music.ogg");
    ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
    platform::SoundOutput& output = *soundOutput();
    output.setClock(&scriptedSoundUs);
    // Two periods between a render and the ear: the period being played
    // and the one just rendered.
    output.setOutputLatencyUs(static_cast<uint64_t>(2 * PacedDevice::kPeriodUs));
    PacedDevice device;
    device.pace = pace;
    device.lateUs = c.lateUs;
    gSoundUs = 7000000;
    const auto ms = [] { return static_cast<uint32_t>(gSoundUs / 1000); };
    uint32_t last = 0;
    // Reads the clock at 60 Hz for `frames` frames; checks it against what
    // was heard since `from` and that it never goes back. Tolerance: the
    // clock's millisecond steps, the 2 ms the wall sum may lag, and the
    // device's pace over the part of a period it is extrapolated.
    const auto play = [&](uint32_t from, int frames, double tolerance) {
      for (int f = 0; f < frames; ++f) {
        device.advanceTo(gSoundUs + 16667);
        const uint32_t clock = sound.getPositionMs(ms());
        ASSERT_GE(clock, last) << "frame " << f;
        last = clock;
        ASSERT_NEAR(clock, from + device.heardMs(), tolerance) << "frame " << f;
      }
    };

    // Start-up: the server waits a second before it consumes the first
    // render; the clock waits with it, and the music is not over.
    ASSERT_EQ(sound.getPlayer()->playFrom(500), soundResult::ok);
    sound.startClock(500, ms());
    last = 500;
    device.nextUs = static_cast<double>(gSoundUs);
    device.advanceTo(gSoundUs);
    device.nextUs += 1e6;
    for (int f = 0; f < 60; ++f) {
      gSoundUs += 16667;
      EXPECT_EQ(sound.getPositionMs(ms()), 500u);
    }
    EXPECT_FALSE(sound.isPlaying());
    EXPECT_FALSE(sound.musicOver()) << "told to play, not yet consumed: not over";
    ASSERT_NO_FATAL_FAILURE(play(500, 150, 3.5));
    EXPECT_TRUE(sound.isPlaying());
    EXPECT_GT(last, 2500u);

    // Underrun: no renders for half a second. The clock runs on while the
    // device's queue plays out and stops at its end, never past what the
    // device took, then follows the device again.
    const double takenMs =
        static_cast<double>(sound.getPlayer()->buffer()->playPosition().frames) / 44.1;
    device.stalled = true;
    for (int f = 0; f < 30; ++f) {
      gSoundUs += 16667;
      const uint32_t clock = sound.getPositionMs(ms());
      ASSERT_GE(clock, last);
      last = clock;
      ASSERT_LE(clock, 500 + takenMs) << "frame " << f;
    }
    EXPECT_GE(last, 500 + takenMs - 1) << "the queue played out";
    const double gapUs = static_cast<double>(gSoundUs) - device.nextUs;
    device.stalled = false;
    device.nextUs = static_cast<double>(gSoundUs);
    device.heardFromUs += gapUs;  // the listener heard nothing meanwhile
    ASSERT_NO_FATAL_FAILURE(play(500, 30, PacedDevice::kPeriodUs / 1000 + 3.5));
    ASSERT_NO_FATAL_FAILURE(play(500, 30, 3.5));

    // A seek: the new run's clock starts at its position and waits for the
    // device to take it.
    ASSERT_EQ(sound.getPlayer()->playFrom(3000), soundResult::ok);
    sound.startClock(3000, ms());
    last = 3000;
    device.renders = 0;
    EXPECT_EQ(sound.getPositionMs(ms()), 3000u);
    ASSERT_NO_FATAL_FAILURE(play(3000, 100, 3.5));

    // The end: 2 s after 3000 the music is over once its last frames are
    // heard; the clock reaches them and stands.
    for (int f = 0; f < 100 && !sound.musicOver(); ++f) {
      device.advanceTo(gSoundUs + 16667);
      sound.getPositionMs(ms());
    }
    ASSERT_TRUE(sound.musicOver());
    const uint32_t end = sound.getPositionMs(ms());
    EXPECT_GE(end, 4998u);
    EXPECT_LE(end, 5000u);
    device.advanceTo(gSoundUs + 500000);
    EXPECT_EQ(sound.getPositionMs(ms()), end);
  }
}

// --- cDemoSound on SDL drivers -------------------------------------------

// Sets environment variables for one test and restores them afterwards.
class ScopedEnv {
 public:
  void set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    mSaved.push_back({name, old ? std::string(old) : std::string(), old != nullptr});
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (auto it = mSaved.rbegin(); it != mSaved.rend(); ++it) {
      if (it->had) setenv(it->name, it->value.c_str(), 1);
      else unsetenv(it->name);
    }
  }

 private:
  struct Saved {
    const char* name;
    std::string value;
    bool had;
  };
  std::vector<Saved> mSaved;
};

bool waitUntilStopped(cDemoSound& sound, int limitMs) {
  for (int t = 0; t < limitMs && !sound.musicOver(); t += 5) {
    sound.getPositionMs();
    sleepMs(5);
  }
  return sound.musicOver();
}

TEST(DemoSoundTest, ClockRunsOnlyWhilePlaying) {
  TempDir dir;
  testing_support::writeFile(dir.file("music.ogg"), makeWave(rampPcm(13230)));  // 0.3 s
  cDemoSound sound;
  sound.trackName = dir.file("music.ogg");
  ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
  EXPECT_EQ(sound.failureCode(), soundResult::ok);
  sound.lastTick = platform::ticksMs();
  sleepMs(30);
  EXPECT_EQ(sound.getPositionMs(), 0u) << "no time passes before the music starts";
  ASSERT_EQ(sound.getPlayer()->playFromStart(), soundResult::ok);
  sound.elapsed = 0;
  sound.lastTick = platform::ticksMs();
  ASSERT_TRUE(waitUntilStopped(sound, 3000));
  const uint32_t end = sound.getPositionMs();
  EXPECT_GE(end, 250u);
  EXPECT_LE(end, 700u);
  sleepMs(60);
  EXPECT_EQ(sound.getPositionMs(), end) << "the clock stops with the track";
}

TEST(DemoSoundTest, OpeningTheMusicAgainReplacesThePlayer) {
  TempDir dir;
  testing_support::writeFile(dir.file("music.ogg"), makeWave(rampPcm(4410)));
  cDemoSound sound;
  sound.trackName = dir.file("music.ogg");
  ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
  ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
  EXPECT_EQ(sound.failureCode(), soundResult::ok);
  EXPECT_EQ(sound.getPlayer()->playFromStart(), soundResult::ok);
}

TEST(DemoSoundTest, NoSoundDeviceIsAOneLineFailureWithStatus1) {
  TempDir dir;
  testing_support::writeFile(dir.file("music.ogg"), makeWave(rampPcm(100)));
  {
    ScopedEnv env;
    env.set("SDL_AUDIODRIVER", "no-such-driver");
    cDemoSound sound;
    sound.trackName = dir.file("music.ogg");
    EXPECT_FALSE(sound.openMusic(nullptr));
    EXPECT_EQ(sound.failureCode(), soundResult::noDevice);
    EXPECT_EQ(sound.getPlayer(), nullptr);
    EXPECT_FALSE(sound.isPlaying());
  }
  const auto child = testing_support::runInChild([&] {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    cDemoSound sound;
    sound.trackName = dir.file("music.ogg");
    if (sound.openMusic(nullptr)) _exit(0);
    _exit(reportSoundStartupFailure(sound));
  });
  EXPECT_EQ(child.exitStatus, 1);
  EXPECT_EQ(child.stdErr.rfind("vesper: no sound device (", 0), 0u) << child.stdErr;
  const std::string tail = "); set SDL_AUDIODRIVER=dummy to play without sound\n";
  ASSERT_GE(child.stdErr.size(), tail.size());
  EXPECT_EQ(child.stdErr.substr(child.stdErr.size() - tail.size()), tail);
  EXPECT_EQ(std::count(child.stdErr.begin(), child.stdErr.end(), '\n'), 1);
}

TEST(DemoSoundTest, MissingTrackFailsOpenMusic) {
  TempDir dir;
  cDemoSound sound;
  sound.trackName = dir.file("music.ogg");
  const auto child = testing_support::runInChild([&] {
    if (sound.openMusic(nullptr)) _exit(0);
    _exit(reportSoundStartupFailure(sound));
  });
  EXPECT_EQ(child.exitStatus, 1);
  EXPECT_NE(child.stdErr.find("の読み取りインターフェイス取得に失敗"), std::string::npos);
  EXPECT_NE(child.stdErr.find("vesper: " + dir.file("music.ogg") + " is missing"), std::string::npos);
}

TEST(DemoSoundTest, DiskDriverReceivesTheTrackBitExact) {
  TempDir dir;
  const auto pcm = rampPcm(22050);
  testing_support::writeFile(dir.file("music.ogg"), makeWave(pcm));
  {
    ScopedEnv env;
    env.set("SDL_AUDIODRIVER", "disk");
    env.set("SDL_DISKAUDIOFILE", dir.file("out.raw"));
    env.set("SDL_DISKAUDIODELAY", "2");  // about ten times real time
    cDemoSound sound;
    sound.trackName = dir.file("music.ogg");
    ASSERT_TRUE(sound.openMusic(nullptr)) << sound.failureMessage();
    ASSERT_EQ(sound.getPlayer()->playFromStart(), soundResult::ok);
    ASSERT_TRUE(waitUntilStopped(sound, 3000));
    sleepMs(30);
  }  // the device closes with the player: the file is complete
  const auto out = testing_support::readFile(dir.file("out.raw"));
  size_t at = 0;
  while (at + 8 <= out.size() && std::memcmp(out.data() + at, pcm.data(), 8) != 0) at += 4;
  ASSERT_LT(at + pcm.size(), out.size()) << "the track's first frames were not found";
  EXPECT_TRUE(allZero(out, 0, at)) << "silence before the track";
  const std::vector<uint8_t> played(out.begin() + static_cast<long>(at),
                                    out.begin() + static_cast<long>(at + pcm.size()));
  EXPECT_EQ(played, pcm);
  EXPECT_TRUE(allZero(out, at + pcm.size(), out.size())) << "silence after the track";
}

}  // namespace
