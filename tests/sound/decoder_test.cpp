// Decoders: file and memory sources, the three read cases, looping, seeks,
// whole-data decodes, the memory callbacks and broken inputs.
#include <cstring>

#include "sound_fixtures.h"

using namespace sound_fixtures;
using testing_support::TempDir;

namespace {

// Reads `size` bytes at `start` and hands back the result code and bytes.
struct Read {
  int32_t result;
  std::vector<uint8_t> bytes;
};
Read readAt(CSoundLoader& loader, int32_t start, int32_t size, bool loop = false) {
  void* data = nullptr;
  Read r{loader.readLocked(&data, start, size, loop), {}};
  if (data) {
    const auto* p = static_cast<const uint8_t*>(data);
    r.bytes.assign(p, p + size);
  }
  std::free(data);
  return r;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
  return {v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + n)};
}

// Every stretch of a track read from a file equals the same read from memory.
void expectFileAndMemoryAgree(CSoundLoader& fromFile, CSoundLoader& fromMemory,
                              const std::string& path, const std::vector<uint8_t>& image) {
  ASSERT_EQ(fromFile.open(path.c_str()), soundResult::ok);
  ASSERT_EQ(fromMemory.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())),
            soundResult::ok);
  EXPECT_EQ(fromFile.getTotalBytes(), fromMemory.getTotalBytes());
  WaveFormat a{}, b{};
  fromFile.getFormat(&a);
  fromMemory.getFormat(&b);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  const int32_t step = 4000;
  for (int i = 0; i * step < static_cast<int32_t>(fromFile.getTotalBytes()) + step; ++i) {
    const Read x = readAt(fromFile, -1, step);
    const Read y = readAt(fromMemory, -1, step);
    ASSERT_EQ(x.result, y.result) << "read " << i;
    ASSERT_EQ(x.bytes, y.bytes) << "read " << i;
  }
}

}  // namespace

TEST(WaveLoaderTest, FileAndMemoryGiveTheSameBytesAndFormat) {
  TempDir dir;
  const std::vector<uint8_t> pcm = rampPcm(10000);
  const auto image = makeWave(pcm);
  testing_support::writeFile(dir.file("t.wav"), image);
  WaveLoader a, b;
  expectFileAndMemoryAgree(a, b, dir.file("t.wav"), image);
  WaveLoader whole;
  EXPECT_EQ(decodeWhole(whole, dir.file("t.wav")), pcm);
  WaveFormat f{};
  whole.getFormat(&f);
  EXPECT_EQ(f.formatTag, 1);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100u);
  EXPECT_EQ(f.avgBytesPerSec, 176400u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(whole.getLengthMs(), 227u);  // 40000 bytes / 176 bytes per ms
}

TEST(WaveLoaderTest, ReadCasesAtTheEndOf8BitData) {
  std::vector<uint8_t> pcm(1000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 7 + 1);
  WaveSpec spec;
  spec.channels = 1;
  spec.bits = 8;
  spec.rate = 8000;
  const auto image = makeWave(pcm, spec);
  WaveLoader w;
  ASSERT_EQ(w.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())), 1);

  Read r = readAt(w, 0, 1000);  // exactly to the end: no silence added
  EXPECT_EQ(r.result, soundResult::ok);
  EXPECT_EQ(r.bytes, pcm);
  EXPECT_EQ(w.getPosition(), 1000u);

  r = readAt(w, 0, 1001);  // one byte more: one byte of silence
  EXPECT_EQ(r.result, soundResult::endReached);
  EXPECT_EQ(slice(r.bytes, 0, 1000), pcm);
  EXPECT_EQ(r.bytes[1000], 0x80);

  r = readAt(w, -1, 16);  // at the end without loop: all silence
  EXPECT_EQ(r.result, soundResult::atEnd);
  EXPECT_EQ(r.bytes, std::vector<uint8_t>(16, 0x80));

  r = readAt(w, 990, 30);  // past the end: rest of the data, then silence
  EXPECT_EQ(r.result, soundResult::endReached);
  EXPECT_EQ(slice(r.bytes, 0, 10), slice(pcm, 990, 10));
  EXPECT_EQ(slice(r.bytes, 10, 20), std::vector<uint8_t>(20, 0x80));
}

TEST(WaveLoaderTest, LoopedReadContinuesFromTheFirstSample) {
  const std::vector<uint8_t> pcm = rampPcm(100);  // 400 bytes
  const auto image = makeWave(pcm);
  WaveLoader w;
  ASSERT_EQ(w.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())), 1);
  Read r = readAt(w, 360, 100, true);
  EXPECT_EQ(r.result, soundResult::ok);
  EXPECT_EQ(slice(r.bytes, 0, 40), slice(pcm, 360, 40));
  EXPECT_EQ(slice(r.bytes, 40, 60), slice(pcm, 0, 60));
  EXPECT_EQ(w.getPosition(), 60u);
  r = readAt(w, -1, 8);  // the stream goes on after the wrapped part
  EXPECT_EQ(r.bytes, slice(pcm, 60, 8));

  // A looped read longer than the whole track wraps as often as needed.
  r = readAt(w, 0, 1000, true);
  EXPECT_EQ(r.result, soundResult::ok);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(r.bytes[i], pcm[i % 400]) << i;
}

TEST(WaveLoaderTest, SeeksMoveTheReadPosition) {
  const std::vector<uint8_t> pcm = rampPcm(44100);
  const auto image = makeWave(pcm);
  WaveLoader w;
  EXPECT_EQ(w.seekBytes(0, SEEK_SET), soundResult::notOpen);
  ASSERT_EQ(w.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())), 1);
  EXPECT_EQ(w.seekBytes(4000, SEEK_SET), soundResult::ok);
  EXPECT_EQ(w.getPosition(), 4000u);
  EXPECT_EQ(readAt(w, -1, 8).bytes, slice(pcm, 4000, 8));
  EXPECT_EQ(w.seekMs(500, SEEK_SET), soundResult::ok);
  EXPECT_EQ(w.getPosition(), 88200u);
  EXPECT_EQ(readAt(w, -1, 8).bytes, slice(pcm, 88200, 8));
}

TEST(WaveLoaderTest, LongFormatChunkAndOddChunksAreWalked) {
  const std::vector<uint8_t> pcm = rampPcm(50);
  WaveSpec spec;
  spec.fmtSize = 40;  // an extensible-sized record: first 18 bytes used
  spec.junkBeforeFmt = true;
  const auto image = makeWave(pcm, spec);
  WaveLoader w;
  ASSERT_EQ(w.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())), 1);
  WaveFormat f{};
  w.getFormat(&f);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.extraSize, 0);
  EXPECT_EQ(readAt(w, 0, 200).bytes, pcm);
}

TEST(WaveLoaderTest, BrokenFilesFailToOpen) {
  TempDir dir;
  const std::vector<uint8_t> pcm = rampPcm(64);
  const auto good = makeWave(pcm);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"truncated header", slice(good, 0, 10)});
  auto notWave = good;
  std::memcpy(notWave.data() + 8, "AVI ", 4);
  cases.push_back({"not WAVE", notWave});
  auto noFmt = good;
  std::memcpy(noFmt.data() + 12, "fmx ", 4);
  cases.push_back({"no fmt", noFmt});
  WaveSpec big;
  big.dataSizeField = 1000000;  // beyond the file's end
  cases.push_back({"data size beyond end", makeWave(pcm, big)});
  cases.push_back({"cut inside data", slice(good, 0, good.size() - 20)});
  auto zeroAlign = good;
  zeroAlign[32] = 0;  // block align
  zeroAlign[33] = 0;
  cases.push_back({"zero block align", zeroAlign});
  WaveSpec shortFmt;
  shortFmt.fmtSize = 16;
  auto tinyFmt = makeWave(pcm, shortFmt);
  tinyFmt[16] = 12;  // "fmt " size 12, too short for the record
  cases.push_back({"short fmt", tinyFmt});
  for (const auto& [what, image] : cases) {
    WaveLoader w;
    EXPECT_EQ(w.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size())),
              soundResult::openFailed)
        << what;
    testing_support::writeFile(dir.file("bad.wav"), image);
    EXPECT_EQ(w.open(dir.file("bad.wav").c_str()), soundResult::openFailed) << what;
    EXPECT_FALSE(w.probe(dir.file("bad.wav").c_str())) << what;
    EXPECT_EQ(w.getInfo(nullptr), soundResult::notOpen) << what;
  }
  WaveLoader w;
  EXPECT_EQ(w.open(dir.file("missing.wav").c_str()), soundResult::openFailed);
  EXPECT_EQ(w.open(kMemorySourceName, nullptr, 100), soundResult::openFailed);
}

TEST(SoundLoaderTest, SourceInfoAndCloseReset) {
  TempDir dir;
  const auto image = makeWave(rampPcm(256));
  testing_support::writeFile(dir.file("t.wav"), image);
  WaveLoader w;
  SoundSourceInfo info{};
  EXPECT_EQ(w.getInfo(&info), soundResult::notOpen);
  ASSERT_EQ(w.open(dir.file("t.wav").c_str()), soundResult::ok);
  ASSERT_EQ(w.getInfo(&info), soundResult::ok);
  EXPECT_EQ(info.blockSize, 288u);
  EXPECT_STREQ(info.name, dir.file("t.wav").c_str());
  EXPECT_EQ(info.dataSize, image.size());
  EXPECT_EQ(info.memory, nullptr);
  EXPECT_EQ(w.close(), soundResult::ok);
  WaveFormat f{};
  f.channels = 99;
  w.getFormat(&f);
  EXPECT_EQ(f.channels, 0);
  EXPECT_EQ(w.getTotalBytes(), 0u);
  EXPECT_EQ(w.getInfo(&info), soundResult::notOpen);
  EXPECT_TRUE(w.probe(dir.file("t.wav").c_str()));
  EXPECT_EQ(w.getTotalBytes(), 0u);  // probe leaves the decoder closed
}

TEST(OggMemoryCallbacksTest, ReadReturnsWholeItemsAndSeekFollowsStdio) {
  uint8_t data[30];
  for (int i = 0; i < 30; ++i) data[i] = static_cast<uint8_t>(i);
  SoundSourceInfo info{};
  info.memory = data;
  info.dataSize = 30;
  info.readPosition = 20;
  uint8_t out[16] = {};
  EXPECT_EQ(OggVorbisLoader::memoryRead(out, 4, 4, &info), 2u);  // 10 bytes left
  EXPECT_EQ(std::memcmp(out, data + 20, 10), 0);
  EXPECT_EQ(info.readPosition, 30u);
  EXPECT_EQ(OggVorbisLoader::memoryRead(out, 1, 4, &info), 0u);
  EXPECT_EQ(OggVorbisLoader::memorySeek(&info, 5, SEEK_SET), 0);
  EXPECT_EQ(OggVorbisLoader::memorySeek(&info, 3, SEEK_CUR), 0);
  EXPECT_EQ(OggVorbisLoader::memoryTell(&info), 8);
  EXPECT_EQ(OggVorbisLoader::memorySeek(&info, -2, SEEK_END), 0);
  EXPECT_EQ(OggVorbisLoader::memoryTell(&info), 28);
  EXPECT_EQ(OggVorbisLoader::memorySeek(&info, -40, SEEK_CUR), -1);
  EXPECT_EQ(OggVorbisLoader::memoryTell(&info), 28);
  EXPECT_EQ(OggVorbisLoader::memoryClose(&info), 0);
  EXPECT_EQ(OggVorbisLoader::memoryClose(nullptr), -1);
  EXPECT_EQ(OggVorbisLoader::memoryTell(nullptr), -1);
}

// Frames of simpleScore(1): 2 s of bars and the last note's 0.1 s release.
constexpr uint32_t kScoreFrames = 92610;

class OggLoaderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new TempDir;
    runMusicgen(*dir, simpleScore(1), dir->file("t.ogg"));
    image = new std::vector<uint8_t>(testing_support::readFile(dir->file("t.ogg")));
  }
  static void TearDownTestSuite() {
    delete image;
    delete dir;
  }
  static TempDir* dir;
  static std::vector<uint8_t>* image;
};
TempDir* OggLoaderTest::dir = nullptr;
std::vector<uint8_t>* OggLoaderTest::image = nullptr;

TEST_F(OggLoaderTest, FileAndMemoryGiveTheSameBytes) {
  OggVorbisLoader a, b;
  expectFileAndMemoryAgree(a, b, dir->file("t.ogg"), *image);
  WaveFormat f{};
  a.getFormat(&f);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.avgBytesPerSec, 176400u);
  // The exact PCM length: the 2 s score plus its 0.1 s release tail, in
  // whole frames, as many as musicgen rendered.
  EXPECT_EQ(a.getTotalBytes(), kScoreFrames * 4);
  EXPECT_EQ(a.getLengthMs(), 2104u);  // 370440 bytes / 176 whole bytes per ms
}

TEST_F(OggLoaderTest, ReadAtZeroStartsOverAfterEarlierReads) {
  OggVorbisLoader whole;
  const std::vector<uint8_t> pcm = decodeWhole(whole, dir->file("t.ogg"));
  OggVorbisLoader o;
  ASSERT_EQ(o.open(kMemorySourceName, image->data(), static_cast<uint32_t>(image->size())), 1);
  ASSERT_EQ(readAt(o, 0, 4096).result, soundResult::ok);
  const Read again = readAt(o, 0, 256);
  EXPECT_EQ(again.result, soundResult::ok);
  EXPECT_EQ(again.bytes, slice(pcm, 0, 256)) << "start 0 is a position, not 'here'";
}

TEST_F(OggLoaderTest, ReadCasesLoopAndSeek) {
  OggVorbisLoader whole;
  const std::vector<uint8_t> pcm = decodeWhole(whole, dir->file("t.ogg"));
  ASSERT_EQ(pcm.size(), kScoreFrames * 4);
  const auto total = static_cast<int32_t>(pcm.size());
  EXPECT_NE(slice(pcm, 0, 4), std::vector<uint8_t>(4, 0));

  OggVorbisLoader o;
  ASSERT_EQ(o.open(kMemorySourceName, image->data(), static_cast<uint32_t>(image->size())), 1);
  Read r = readAt(o, 0, total);
  EXPECT_EQ(r.result, soundResult::ok);
  EXPECT_EQ(r.bytes, pcm);
  r = readAt(o, -1, 64);
  EXPECT_EQ(r.result, soundResult::atEnd);
  EXPECT_EQ(r.bytes, std::vector<uint8_t>(64, 0));

  EXPECT_EQ(o.seekBytes(static_cast<uint32_t>(total - 40), SEEK_SET), soundResult::ok);
  r = readAt(o, -1, 41);
  EXPECT_EQ(r.result, soundResult::endReached);
  EXPECT_EQ(slice(r.bytes, 0, 40), slice(pcm, pcm.size() - 40, 40));
  EXPECT_EQ(r.bytes[40], 0);

  EXPECT_EQ(o.seekBytes(static_cast<uint32_t>(total - 40), SEEK_SET), soundResult::ok);
  r = readAt(o, -1, 100, true);
  EXPECT_EQ(r.result, soundResult::ok);
  EXPECT_EQ(slice(r.bytes, 0, 40), slice(pcm, pcm.size() - 40, 40));
  EXPECT_EQ(slice(r.bytes, 40, 60), slice(pcm, 0, 60));
  EXPECT_EQ(o.getPosition(), 60u);

  EXPECT_EQ(o.seekMs(1000, SEEK_SET), soundResult::ok);
  EXPECT_EQ(o.getPosition(), 176400u);
  EXPECT_EQ(readAt(o, -1, 16).bytes, slice(pcm, 176400, 16));
  r = readAt(o, 4000, 16);  // a start offset seeks first
  EXPECT_EQ(r.bytes, slice(pcm, 4000, 16));
}

TEST_F(OggLoaderTest, BrokenStreamsFailToOpen) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"garbage", std::vector<uint8_t>(4096, 0x5A)});
  cases.push_back({"headers cut", slice(*image, 0, 200)});
  auto wave = makeWave(rampPcm(100));
  cases.push_back({"a WAVE file", wave});
  for (const auto& [what, bytes] : cases) {
    OggVorbisLoader o;
    EXPECT_EQ(o.open(kMemorySourceName, bytes.data(), static_cast<uint32_t>(bytes.size())),
              soundResult::openFailed)
        << what;
    testing_support::writeFile(dir->file("bad.ogg"), bytes);
    EXPECT_EQ(o.open(dir->file("bad.ogg").c_str()), soundResult::openFailed) << what;
  }
  OggVorbisLoader o;
  EXPECT_EQ(o.open(dir->file("missing.ogg").c_str()), soundResult::openFailed);
  EXPECT_EQ(o.seekBytes(0, SEEK_SET), soundResult::ok);  // closed: nothing to do
  // A RIFF WAVE file is the WAVE decoder's whatever its name.
  testing_support::writeFile(dir->file("music.ogg"), wave);
  WaveLoader w;
  EXPECT_TRUE(w.probe(dir->file("music.ogg").c_str()));
  EXPECT_FALSE(o.probe(dir->file("music.ogg").c_str()));
}

TEST_F(OggLoaderTest, WholeDecodeReleasesAndReopens) {
  OggVorbisLoader o;
  const std::vector<uint8_t> pcm = decodeWhole(o, dir->file("t.ogg"));
  // The whole-data decode released the stream; the next read opens it anew.
  const Read r = readAt(o, 0, 64);
  EXPECT_EQ(r.result, soundResult::ok);
  EXPECT_EQ(r.bytes, slice(pcm, 0, 64));
}

TEST(MusicgenTest, DeterministicOutputAndScoreErrors) {
  TempDir dir;
  runMusicgen(dir, simpleScore(1), dir.file("a.wav"));
  runMusicgen(dir, simpleScore(1), dir.file("b.wav"));
  runMusicgen(dir, simpleScore(1), dir.file("a.ogg"));
  runMusicgen(dir, simpleScore(1), dir.file("b.ogg"));
  EXPECT_EQ(testing_support::readFile(dir.file("a.wav")), testing_support::readFile(dir.file("b.wav")));
  EXPECT_EQ(testing_support::readFile(dir.file("a.ogg")), testing_support::readFile(dir.file("b.ogg")));
  WaveLoader w;
  const std::vector<uint8_t> pcm = decodeWhole(w, dir.file("a.wav"));
  EXPECT_EQ(pcm.size(), kScoreFrames * 4);
  int peak = 0;
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    peak = std::max(peak, std::abs(static_cast<int16_t>(pcm[i] | pcm[i + 1] << 8)));
  }
  EXPECT_GT(peak, 3000);  // it sounds

  std::ofstream(dir.file("bad.txt")) << "tempo 120\npattern p nobody C4\n";
  const auto r = testing_support::runCommand(testing_support::builtProgram("musicgen") + " " +
                                             dir.file("bad.txt") + " " + dir.file("x.ogg"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, "musicgen: " + dir.file("bad.txt") + ":2: unknown instrument 'nobody'\n");
}

// The track's bytes go bad under an open decoder, so vorbisfile's seeks
// fail. Nothing is read after a failed seek: the stream starts over from
// its source when that is sound (a file replaced under its name), and the
// read fails when it is not (the same memory block).
TEST_F(OggLoaderTest, FailedSeeksStartOverOrFail) {
  OggVorbisLoader whole;
  const std::vector<uint8_t> pcm = decodeWhole(whole, dir->file("t.ogg"));
  const auto total = static_cast<uint32_t>(pcm.size());
  const std::string path = dir->file("seek.ogg");
  enum Step { none, nearEndFirst, seekFails };  // seekBytes before / after the damage
  struct Case {
    const char* what;
    bool file;  // else the memory block
    Step step;
    int32_t start;  // -1: on from the current position
    int32_t size;   // 0: the whole track
    bool loop;
    int32_t result;
    size_t checkAt;  // the read's bytes from here on equal the track's from 0
  };
  const Case cases[] = {
      {"whole, memory", false, none, 0, 0, false, soundResult::cannotRead, 0},
      {"whole, file", true, none, 0, 0, false, soundResult::ok, 0},
      {"at 0, file", true, none, 0, 64, false, soundResult::ok, 0},
      {"at 4000, memory", false, none, 4000, 64, false, soundResult::cannotRead, 0},
      {"at 4000 looped, memory", false, none, 4000, 64, true, soundResult::cannotRead, 0},
      {"at 4000, file", true, none, 4000, 64, false, soundResult::cannotRead, 0},
      {"wrap, memory", false, nearEndFirst, -1, 100, true, soundResult::cannotRead, 0},
      {"wrap, file", true, nearEndFirst, -1, 100, true, soundResult::ok, 40},
      {"seekBytes, memory", false, seekFails, -1, 64, false, soundResult::cannotRead, 0},
      {"seekBytes, file", true, seekFails, -1, 64, false, soundResult::ok, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = *image;
    OggVorbisLoader o;
    testing_support::writeFile(path, bytes);
    ASSERT_EQ(c.file ? o.open(path.c_str())
                     : o.open(kMemorySourceName, bytes.data(), static_cast<uint32_t>(bytes.size())),
              soundResult::ok);
    if (c.step == nearEndFirst) {
      ASSERT_EQ(o.seekBytes(total - 40, SEEK_SET), soundResult::ok);
    }
    std::fill(bytes.begin(), bytes.end(), 0);
    if (c.file) {
      // The open file's own bytes go bad; its name then holds a sound copy.
      std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
      testing_support::writeFile(path + ".new", *image);
      ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
    }
    if (c.step == seekFails) {
      EXPECT_EQ(o.seekBytes(4000, SEEK_SET), soundResult::cannotRead) << c.what;
      EXPECT_EQ(o.getPosition(), 0u) << c.what;
    }
    void* data = nullptr;
    EXPECT_EQ(o.readLocked(&data, c.start, c.size, c.loop), c.result) << c.what;
    const size_t got = c.size ? static_cast<size_t>(c.size) : pcm.size();
    if (c.result == soundResult::ok && data) {
      const auto* p = static_cast<const uint8_t*>(data);
      EXPECT_EQ(std::vector<uint8_t>(p + c.checkAt, p + got), slice(pcm, 0, got - c.checkAt))
          << c.what;
    } else {
      EXPECT_EQ(data, nullptr) << c.what;
    }
    std::free(data);
  }
}

// Bytes become frames by whole-number division: 9948 bytes into 44.1 kHz
// 6-channel PCM is frame 829, where a floating-point ratio gives 828.99...
// Milliseconds become bytes rounded to the nearer frame (5 ms: 2646 bytes,
// exactly half a frame past 2640).
TEST(SoundLoaderTest, PositionsLandOnWholeFrames) {
  TempDir dir;
  testing_support::writeFile(dir.file("six.ogg"), makeOgg(6, 4410));
  const std::vector<uint8_t> wavePcm = rampPcm(4410 * 3);  // 4410 frames of 12 bytes
  WaveSpec six;
  six.channels = 6;
  testing_support::writeFile(dir.file("six.wav"), makeWave(wavePcm, six));
  OggVorbisLoader ogg;
  WaveLoader wave;
  const std::vector<std::pair<CSoundLoader*, std::string>> loaders = {{&ogg, "six.ogg"},
                                                                      {&wave, "six.wav"}};
  for (const auto& [loader, name] : loaders) {
    const std::vector<uint8_t> pcm = decodeWhole(*loader, dir.file(name));
    ASSERT_EQ(pcm.size(), 4410u * 12) << name;
    ASSERT_EQ(loader->open(dir.file(name).c_str()), soundResult::ok);
    EXPECT_EQ(readAt(*loader, 9948, 24).bytes, slice(pcm, 9948, 24)) << name;
    const struct {
      uint32_t bytes, ms, position;  // seekBytes(bytes) when ms is 0, else seekMs(ms)
    } seeks[] = {{9948, 0, 9948}, {0, 5, 2640}, {0, 7, 3708}, {0, 50, 26460}};
    for (const auto& s : seeks) {
      EXPECT_EQ(s.ms ? loader->seekMs(s.ms, SEEK_SET) : loader->seekBytes(s.bytes, SEEK_SET),
                soundResult::ok);
      EXPECT_EQ(loader->getPosition(), s.position) << name << " " << s.ms;
      EXPECT_EQ(readAt(*loader, -1, 24).bytes, slice(pcm, s.position, 24)) << name << " " << s.ms;
    }
  }
}

// Formats the output cannot play are refused like an unreadable source,
// whichever decoder reads them.
TEST(SoundLoaderTest, UnplayableRatesAndChannelCountsAreRefused) {
  const struct {
    uint32_t rate;
    uint16_t channels;
    bool accepted;
  } cases[] = {{44100, 2, true},  {999, 2, false},   {1000, 2, true},  {384000, 2, true},
               {384001, 2, false}, {0, 2, false},     {4294967295u, 2, false},
               {44100, 8, true},   {44100, 9, false}};
  for (const auto& c : cases) {
    WaveSpec spec;
    spec.rate = c.rate;
    spec.channels = c.channels;
    const auto wave = makeWave(rampPcm(c.channels * 1000u), spec);
    const auto ogg = makeOgg(c.channels, 2000, c.rate);
    WaveLoader w;
    OggVorbisLoader o;
    for (const auto& [loader, bytes] :
         {std::pair<CSoundLoader*, const std::vector<uint8_t>*>{&w, &wave}, {&o, &ogg}}) {
      const int32_t result =
          loader->open(kMemorySourceName, bytes->data(), static_cast<uint32_t>(bytes->size()));
      EXPECT_EQ(result, c.accepted ? soundResult::ok : soundResult::openFailed)
          << c.rate << " Hz, " << c.channels << " channels";
      WaveFormat f{};
      loader->getFormat(&f);
      EXPECT_EQ(f.samplesPerSec, c.accepted ? c.rate : 0u);
      EXPECT_EQ(loader->getLengthMs() > 0, c.accepted);
    }
  }
}

// A setup header that parses but cannot become a decoder: the stream opens
// and its first read fails. vorbisfile must not be called again after that
// (its next read or seek divides by zero), so every later call fails at
// once, until the decoder is opened anew.
TEST(OggLoaderBrokenSetupTest, AFailedReadIsFinal) {
  TempDir dir;
  const std::vector<uint8_t> image = makeOggWithBadCodebook(2, 20000);
  testing_support::writeFile(dir.file("bad.ogg"), image);
  for (const bool file : {false, true}) {
    SCOPED_TRACE(file ? "file" : "memory");
    OggVorbisLoader o;
    auto open = [&] {
      return file ? o.open(dir.file("bad.ogg").c_str())
                  : o.open(kMemorySourceName, image.data(), static_cast<uint32_t>(image.size()));
    };
    ASSERT_EQ(open(), soundResult::ok);
    EXPECT_EQ(o.getTotalBytes(), 20000u * 4);
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(readAt(o, 0, 4096).result, soundResult::cannotRead);
      EXPECT_EQ(readAt(o, -1, 4096).result, soundResult::cannotRead);
      EXPECT_EQ(o.seekBytes(8000, SEEK_SET), soundResult::cannotRead);
      EXPECT_EQ(o.seekMs(10, SEEK_SET), soundResult::cannotRead);
      EXPECT_EQ(readAt(o, -1, 4096, true).result, soundResult::cannotRead);
      EXPECT_EQ(readAt(o, 4000, 64).result, soundResult::cannotRead);
      void* data = nullptr;
      EXPECT_EQ(o.readLocked(&data, 0, 0, false), soundResult::cannotRead);
      EXPECT_EQ(data, nullptr);
      ASSERT_EQ(open(), soundResult::ok);  // a fresh start, failing the same way
    }
  }
}

