// The captured range's music: decoded with the player's decoders and
// written as PCM RIFF WAVE, sample-exact.
#include <algorithm>
#include <cstdlib>

#include "capture/capture.h"
#include "sound/sound.h"

namespace {

struct DecoderFormat {
  std::unique_ptr<CSoundLoader> decoder;
  WaveFormat format{};
  uint64_t totalSamples = 0;
};

bool openMusic(const std::string& track, DecoderFormat& out, std::string& reason) {
  out.decoder = chooseDecoder(track.c_str());
  if (!out.decoder) {
    reason = track + " is missing or neither RIFF WAVE nor Ogg Vorbis";
    return false;
  }
  if (out.decoder->open(track.c_str()) != soundResult::ok) {
    reason = "cannot read " + track;
    return false;
  }
  out.decoder->getFormat(&out.format);
  if (out.format.blockAlign == 0 || out.format.samplesPerSec == 0) {
    reason = "cannot read " + track;
    return false;
  }
  out.totalSamples = out.decoder->getTotalBytes() / out.format.blockAlign;
  return true;
}

}  // namespace

bool probeMusic(const std::string& track, MusicInfo& out, std::string& reason) {
  DecoderFormat m;
  if (!openMusic(track, m, reason)) return false;
  out.sampleRate = m.format.samplesPerSec;
  out.channels = m.format.channels;
  out.totalSamples = m.totalSamples;
  out.lengthMs = static_cast<uint32_t>(m.totalSamples * 1000 / m.format.samplesPerSec);
  return true;
}

bool writeMusicRange(const std::string& track, uint32_t fromMs, uint64_t firstFrame,
                     uint64_t frames, FrameRate rate, const std::string& wavPath,
                     uint64_t& samples, std::string& reason) {
  DecoderFormat m;
  if (!openMusic(track, m, reason)) return false;
  const uint32_t align = m.format.blockAlign;
  SampleRange range = captureSampleRange(fromMs, firstFrame, frames, rate, m.format.samplesPerSec);
  range.end = std::min(range.end, m.totalSamples);
  range.first = std::min(range.first, range.end);
  const uint64_t bytes = (range.end - range.first) * align;
  if (bytes > UINT32_MAX - 36) {
    reason = "the captured music exceeds the 4 GiB a WAVE file holds";
    return false;
  }

  std::FILE* fp = std::fopen(wavPath.c_str(), "wb");
  if (!fp) {
    reason = "cannot create " + wavPath;
    return false;
  }
  const std::vector<uint8_t> header = waveFileHeader(m.format, static_cast<uint32_t>(bytes));
  bool ok = std::fwrite(header.data(), 1, header.size(), fp) == header.size();
  // About a second at a time; the first read places the decoder.
  const uint64_t chunk = std::max<uint64_t>(m.format.samplesPerSec, 1) * align;
  int64_t start = static_cast<int64_t>(range.first * align);
  void* data = nullptr;
  for (uint64_t done = 0; ok && done < bytes;) {
    const uint64_t want = std::min(chunk, bytes - done);
    const int32_t result =
        m.decoder->decode(nullptr, &data, start, static_cast<int64_t>(want), false);
    // The range ends at the track's end, so every read fits.
    ok = result == soundResult::ok && std::fwrite(data, 1, want, fp) == want;
    start = -1;
    done += want;
  }
  std::free(data);
  if (std::fclose(fp) != 0) ok = false;
  if (!ok) {
    std::remove(wavPath.c_str());
    reason = "cannot write the music of the range to " + wavPath;
    return false;
  }
  samples = range.end - range.first;
  return true;
}
