// musicgen's Ogg Vorbis output. Lossy coding moves the peaks, so the
// encoded track is decoded again and its true peak held to the score's
// ceiling by mastering once more under a lower one when it overshoots.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

namespace musicgen {

// The score rendered, mastered and encoded at its quality; empty when the
// encoder refuses. Deterministic.
std::vector<uint8_t> encodeTrack(const Score& score);

// The whole stereo Ogg Vorbis image decoded to interleaved floats; empty
// when it is not one.
std::vector<float> decodeOgg(const std::vector<uint8_t>& bytes);

}  // namespace musicgen
