// Track builders shared by the sound tests: RIFF WAVE images with chosen
// chunks, PCM whose every frame is distinct, Ogg tracks from musicgen and
// Ogg tracks of any channel count and declared rate.
#pragma once

#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "musicgen/vorbis_encode.h"
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

// Vorbis header fields are packed from each byte's lowest bit up.
class VorbisBits {
 public:
  explicit VorbisBits(const std::vector<uint8_t>& bytes, size_t bit = 0) : mBytes(bytes), mBit(bit) {}
  uint32_t read(int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i, ++mBit) {
      const size_t byte = mBit / 8;
      if (byte < mBytes.size() && (mBytes[byte] >> (mBit % 8) & 1)) v |= 1u << i;
    }
    return v;
  }
  size_t at() const { return mBit; }

 private:
  const std::vector<uint8_t>& mBytes;
  size_t mBit;
};
inline void putBits(std::vector<uint8_t>& out, size_t& bit, uint32_t value, int count) {
  for (int i = 0; i < count; ++i, ++bit) {
    if (bit / 8 >= out.size()) out.push_back(0);
    // Fields wider than the value (the 64 zero bits) are zero above bit 31.
    if (i < 32 && (value >> i & 1)) out[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
}
inline int vorbisIlog(uint32_t v) {
  int bits = 0;
  for (; v; v >>= 1) ++bits;
  return bits;
}

// Skips one codebook of a setup header; false when it does not start with
// the codebook sync pattern.
inline bool skipCodebook(VorbisBits& in) {
  if (in.read(24) != 0x564342) return false;
  const uint32_t dimensions = in.read(16);
  const uint32_t entries = in.read(24);
  if (in.read(1)) {  // ordered lengths: runs of entries per length
    in.read(5);
    for (uint32_t entry = 0; entry < entries;) entry += in.read(vorbisIlog(entries - entry));
  } else {
    const bool sparse = in.read(1);
    for (uint32_t e = 0; e < entries; ++e) {
      if (!sparse || in.read(1)) in.read(5);
    }
  }
  const uint32_t lookup = in.read(4);
  if (lookup == 1 || lookup == 2) {
    in.read(32);
    in.read(32);
    const int valueBits = static_cast<int>(in.read(4)) + 1;
    in.read(1);
    uint64_t values = uint64_t{entries} * dimensions;
    if (lookup == 1) {  // the largest v with v^dimensions <= entries
      values = 0;
      for (;;) {
        uint64_t power = 1;
        for (uint32_t d = 0; d < dimensions && power <= entries; ++d) power *= values + 1;
        if (power > entries) break;
        ++values;
      }
    }
    for (uint64_t v = 0; v < values; ++v) in.read(valueBits);
  }
  return true;
}

// makeOgg's track whose first codebook is replaced by one of one entry with
// a two-bit codeword. The headers parse, so the stream opens, but no
// decoder can be built from them: the first read fails, and libvorbis,
// called again, divides by zero.
inline std::vector<uint8_t> makeOggWithBadCodebook(int channels, uint32_t frames) {
  const std::vector<uint8_t> good = makeOgg(channels, frames);
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* in = ogg_sync_buffer(&sync, static_cast<long>(good.size()));
  std::copy(good.begin(), good.end(), in);
  ogg_sync_wrote(&sync, static_cast<long>(good.size()));
  ogg_stream_state reader, writer;
  bool started = false;
  std::vector<uint8_t> out;
  ogg_page page;
  auto putPages = [&out, &page](ogg_stream_state& s, bool flush) {
    while (flush ? ogg_stream_flush(&s, &page) : ogg_stream_pageout(&s, &page)) {
      out.insert(out.end(), page.header, page.header + page.header_len);
      out.insert(out.end(), page.body, page.body + page.body_len);
    }
  };
  int packets = 0;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (!started) {
      ogg_stream_init(&reader, ogg_page_serialno(&page));
      ogg_stream_init(&writer, ogg_page_serialno(&page));
      started = true;
    }
    ogg_stream_pagein(&reader, &page);
    ogg_packet packet;
    while (ogg_stream_packetout(&reader, &packet) == 1) {
      std::vector<uint8_t> setup;
      if (++packets == 3) {
        // Type 5, "vorbis", the codebook count less one, the codebooks.
        const std::vector<uint8_t> bytes(packet.packet, packet.packet + packet.bytes);
        VorbisBits bits(bytes, 7 * 8);
        bits.read(8);
        EXPECT_TRUE(skipCodebook(bits));
        setup.assign(bytes.begin(), bytes.begin() + 8);
        size_t bit = 8 * 8;
        putBits(setup, bit, 0x564342, 24);
        putBits(setup, bit, 1, 16);  // dimensions
        putBits(setup, bit, 1, 24);  // entries
        putBits(setup, bit, 0, 2);   // not ordered, not sparse
        putBits(setup, bit, 1, 5);   // codeword length 2
        putBits(setup, bit, 1, 4);   // value lookup 1, as residue books need:
        putBits(setup, bit, 0, 64);  // minimum and step 0,
        putBits(setup, bit, 0, 5);   // one-bit values, no sequence,
        putBits(setup, bit, 0, 1);   // and the one value
        VorbisBits rest(bytes, bits.at());
        while (rest.at() < bytes.size() * 8) putBits(setup, bit, rest.read(1), 1);
        packet.packet = setup.data();
        packet.bytes = static_cast<long>(setup.size());
      }
      ogg_stream_packetin(&writer, &packet);
      putPages(writer, packets == 3);
    }
  }
  putPages(writer, true);
  if (started) {
    ogg_stream_clear(&reader);
    ogg_stream_clear(&writer);
  }
  ogg_sync_clear(&sync);
  EXPECT_GE(packets, 4);
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
