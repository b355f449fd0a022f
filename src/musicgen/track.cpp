#include "track.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp.h"
#include "master.h"
#include "render.h"
#include "musicgen/vorbis_encode.h"

namespace musicgen {

std::vector<float> decodeOgg(const std::vector<uint8_t>& bytes) {
  struct Source {
    const std::vector<uint8_t>* bytes;
    size_t at;
  } source{&bytes, 0};
  // A read-only stream with no seeking: vorbisfile then reads straight through.
  ov_callbacks callbacks{};
  callbacks.read_func = [](void* to, size_t size, size_t count, void* from) -> size_t {
    auto* s = static_cast<Source*>(from);
    const size_t n = std::min(size * count, s->bytes->size() - s->at);
    std::memcpy(to, s->bytes->data() + s->at, n);
    s->at += n;
    return size ? n / size : 0;
  };
  OggVorbis_File file;
  std::vector<float> out;
  if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return out;
  if (ov_info(&file, -1)->channels == 2) {
    float** pcm = nullptr;
    int section = 0;
    long frames = 0;
    while ((frames = ov_read_float(&file, &pcm, 4096, &section)) > 0) {
      for (long i = 0; i < frames; ++i) {
        out.push_back(pcm[0][i]);
        out.push_back(pcm[1][i]);
      }
    }
  }
  ov_clear(&file);
  return out;
}

std::vector<uint8_t> encodeTrack(const Score& score) {
  // Vorbis adds about half a decibel to the true peak of a limited mix, so
  // the first pass aims that much lower; a pass that still overshoots is
  // mastered again, lower by the overshoot and a little more, since the
  // codec's overshoot grows as the limiter works harder.
  constexpr double kCodecAllowance = 0.5, kMore = 0.15;
  const std::vector<float> mix = renderMix(score);
  Score tuned = score;
  if (score.limit) tuned.ceiling -= kCodecAllowance;
  std::vector<uint8_t> bytes;
  for (int pass = 0; pass < 4; ++pass) {
    bytes = vorbis_encode::encodeOgg(masterBus(mix, tuned), 2, kRate, score.quality, "vesper musicgen");
    if (!score.limit || bytes.empty()) break;
    const double overshoot = 20 * std::log10(truePeak(decodeOgg(bytes))) - score.ceiling;
    if (overshoot <= 0) break;
    tuned.ceiling -= overshoot + kMore;
  }
  return bytes;
}

}  // namespace musicgen
