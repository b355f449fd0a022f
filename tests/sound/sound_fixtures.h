// Track builders shared by the sound tests: RIFF WAVE images with chosen
// chunks, PCM whose every frame is distinct, Ogg tracks from musicgen and
// Ogg tracks of any channel count and declared rate.
#pragma once

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../../tools/vorbis_encode.h"
#include "sound/sound.h"
#include "support/support.h"

namespace sound_fixtures {

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
inline void putId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

struct WaveSpec {
  uint16_t channels = 2;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint32_t fmtSize = 16;         // > 16: zero-filled extension bytes
  bool junkBeforeFmt = false;    // an odd-sized chunk the walker must skip
  int64_t dataSizeField = -1;    // overrides the data chunk's size field
};

// A RIFF WAVE image around `pcm`.
inline std::vector<uint8_t> makeWave(const std::vector<uint8_t>& pcm, const WaveSpec& spec = {}) {
  std::vector<uint8_t> body;
  putId(body, "WAVE");
  if (spec.junkBeforeFmt) {
    putId(body, "JUNK");
    put32(body, 3);
    body.insert(body.end(), {1, 2, 3, 0});  // 3 bytes and the pad byte
  }
  putId(body, "fmt ");
  put32(body, spec.fmtSize);
  const uint16_t align = static_cast<uint16_t>(spec.channels * spec.bits / 8);
  put16(body, 1);
  put16(body, spec.channels);
  put32(body, spec.rate);
  put32(body, spec.rate * align);
  put16(body, align);
  put16(body, spec.bits);
  body.resize(body.size() + spec.fmtSize - 16, 0);
  putId(body, "data");
  put32(body, spec.dataSizeField >= 0 ? static_cast<uint32_t>(spec.dataSizeField)
                                      : static_cast<uint32_t>(pcm.size()));
  body.insert(body.end(), pcm.begin(), pcm.end());
  if (pcm.size() & 1) body.push_back(0);
  std::vector<uint8_t> out;
  putId(out, "RIFF");
  put32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Stereo 16-bit PCM in which frame i is (i, 0x4000 + i / 65536): every
// frame distinct and the first one not silent.
inline std::vector<uint8_t> rampPcm(uint32_t frames) {
  std::vector<uint8_t> out;
  out.reserve(size_t{frames} * 4);
  for (uint32_t i = 0; i < frames; ++i) {
    put16(out, i & 0xFFFF);
    put16(out, 0x4000 + (i >> 16));
  }
  return out;
}

// `frames` frames of `channels` interleaved samples, a tone of its own on
// each channel, encoded at 44.1 kHz; the identification header then
// declares `rate` (the page checksum redone), which decoding does not use.
inline std::vector<uint8_t> makeOgg(int channels, uint32_t frames, uint32_t rate = 44100) {
  std::vector<int16_t> pcm;
  for (uint32_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      pcm.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.01 * (c + 1))));
    }
  }
  std::vector<uint8_t> out = vorbis_encode::encodeOgg(pcm, channels, 44100, 0.3f);
  EXPECT_FALSE(out.empty()) << channels << " channels";
  if (out.size() < 27 || rate == 44100) return out;
  // The first page holds just the identification packet: type, "vorbis",
  // version, channels, then the rate.
  const long headerLen = 27 + out[26];
  long bodyLen = 0;
  for (long i = 27; i < headerLen; ++i) bodyLen += out[static_cast<size_t>(i)];
  for (int i = 0; i < 4; ++i) {
    out[static_cast<size_t>(headerLen + 12 + i)] = static_cast<uint8_t>(rate >> (8 * i));
  }
  ogg_page page{out.data(), headerLen, out.data() + headerLen, bodyLen};
  ogg_page_checksum_set(&page);
  return out;
}

// Writes a score and renders it with musicgen to `out` (.ogg or .wav).
inline void runMusicgen(const testing_support::TempDir& dir, const std::string& score,
                        const std::string& out) {
  const std::string scorePath = dir.file("score.txt");
  std::ofstream(scorePath) << score;
  const auto r = testing_support::runCommand(testing_support::builtProgram("musicgen") + " " +
                                             scorePath + " " + out);
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
}

// A simple score of `bars` bars of 2 s (tempo 120) with a sounding first sample.
inline std::string simpleScore(int bars) {
  return "tempo 120\n"
         "instrument lead saw attack=0 decay=0.1 sustain=0.6 release=0.05 gain=0.3\n"
         "instrument low sine attack=0 gain=0.3 pan=-0.5\n"
         "pattern a lead C4 - E4 . G4 - - . C5 . G4 . E4 - C4 .\n"
         "pattern b low C2 - - - - - - - G1 - - - - - - -\n"
         "play a b x" + std::to_string(bars) + "\n";
}

// The whole decoded PCM of a track file.
inline std::vector<uint8_t> decodeWhole(CSoundLoader& loader, const std::string& path) {
  EXPECT_EQ(loader.open(path.c_str()), soundResult::ok) << path;
  void* data = nullptr;
  EXPECT_EQ(loader.readLocked(&data, 0, 0, false), soundResult::ok);
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> out(bytes, bytes + loader.getTotalBytes());
  std::free(data);
  return out;
}

}  // namespace sound_fixtures
