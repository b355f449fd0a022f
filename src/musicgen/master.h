// musicgen's master bus and its meters: integrated loudness after
// ITU-R BS.1770 (K-weighting, 400 ms blocks, absolute and relative gates),
// the 4x-oversampled true peak, and a look-ahead limiter that keeps that
// true peak under a ceiling. Signals are interleaved stereo at kRate.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

namespace musicgen {

// The integrated loudness in LUFS; minus infinity when no 400 ms block
// passes the gates (silence, or less than one block).
double integratedLoudness(const std::vector<float>& stereo);

// The largest magnitude of the signal upsampled four times (linear; 1.0 is
// 0 dBTP).
double truePeak(const std::vector<float>& stereo);

// Limits in place so that truePeak() stays at or under `ceiling` (linear):
// the gain falls ahead of each peak over a 5 ms look-ahead and recovers over
// about 100 ms, so no sample is clipped.
void limitTruePeak(std::vector<float>& stereo, double ceiling);

// The score's master bus on the whole mix: `master` gain, then loudness
// normalisation and limiting as the score asks (or plain clipping when it
// asks for neither), then 16-bit samples.
std::vector<int16_t> masterBus(std::vector<float> mix, const Score& score);

}  // namespace musicgen
