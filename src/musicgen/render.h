// musicgen's renderer: a score to 44.1 kHz stereo 16-bit PCM, through the
// instruments, the send effects, the side-chain ducking and the master bus.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

namespace musicgen {

// The mix before the master bus, interleaved stereo. Its length is the
// song's, or longer when the last notes' releases ring past its end; the
// send effects' tails stop there too.
std::vector<float> renderMix(const Score& score);

// The finished track: renderMix() through masterBus(). Deterministic.
std::vector<int16_t> renderScore(const Score& score);

}  // namespace musicgen
