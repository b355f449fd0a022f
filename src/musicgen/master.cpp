#include "master.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "dsp.h"

namespace musicgen {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The limiter aims a hair under the ceiling: its gain still moves across the
// interpolation filter's span, so interpolated peaks can rise a little above
// the plan.
constexpr double kMargin = 0.995;

struct Biquad {
  double b0, b1, b2, a1, a2;
  double z1 = 0, z2 = 0;
  double process(double x) {
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

// The two K-weighting stages, made for any rate from their analog
// prototypes by the bilinear transform: a high shelf of about +4 dB above
// 1.7 kHz (the head's effect), then a high-pass near 38 Hz.
Biquad shelfStage(double rate) {
  const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
  const double k = std::tan(kPi * f0 / rate);
  const double vh = std::pow(10.0, gainDb / 20), vb = std::pow(vh, 0.4996667741545416);
  const double a0 = 1 + k / q + k * k;
  return Biquad{(vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
}

Biquad highPassStage(double rate) {
  const double f0 = 38.13547087602444, q = 0.5003270373238773;
  const double k = std::tan(kPi * f0 / rate);
  const double a0 = 1 + k / q + k * k;
  return Biquad{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0};
}

// The interpolation filter for the true peak: a Blackman-windowed sinc, 16
// taps for each of the three in-between phases, each phase summing to 1.
constexpr int kTaps = 16, kPhases = 4;
struct Interpolator {
  double taps[kPhases][kTaps];
  Interpolator() {
    for (int p = 1; p < kPhases; ++p) {
      double sum = 0;
      for (int k = 0; k < kTaps; ++k) {
        const double t = (k - kTaps / 2 + 1) - static_cast<double>(p) / kPhases;  // -7.x .. 8.x
        const double sinc = std::sin(kPi * t) / (kPi * t);
        const double w = 0.42 + 0.5 * std::cos(kPi * t / (kTaps / 2)) + 0.08 * std::cos(2 * kPi * t / (kTaps / 2));
        taps[p][k] = sinc * w;
        sum += taps[p][k];
      }
      for (double& tap : taps[p]) tap /= sum;
    }
  }
};

// For each frame n, the largest magnitude over both channels of the sample
// and the three interpolated values between it and frame n + 1. Where the
// samples around a stretch are too small for any interpolated value to pass
// `floor`, the stretch reports its samples' magnitudes alone, which skips
// the filter for nearly all of a mastered track.
std::vector<float> framePeaks(const std::vector<float>& stereo, double floor) {
  static const Interpolator interp;
  static const double reach = [] {  // the largest gain an interpolated value can have
    double most = 0;
    for (int p = 1; p < kPhases; ++p) {
      double sum = 0;
      for (double tap : interp.taps[p]) sum += std::fabs(tap);
      most = std::max(most, sum);
    }
    return most;
  }();
  constexpr size_t kStretch = 64;
  const size_t frames = stereo.size() / 2;
  const auto at = [&](size_t n, int offset, int c) -> double {
    const long i = static_cast<long>(n) + offset;
    return i < 0 || static_cast<size_t>(i) >= frames ? 0.0 : stereo[static_cast<size_t>(i) * 2 + c];
  };
  std::vector<float> peaks(frames);
  for (size_t from = 0; from < frames; from += kStretch) {
    const size_t to = std::min(frames, from + kStretch);
    const size_t spanFrom = from >= kTaps ? from - kTaps : 0, spanTo = std::min(frames, to + kTaps);
    double loudest = 0;
    for (size_t i = spanFrom * 2; i < spanTo * 2; ++i) loudest = std::max<double>(loudest, std::fabs(stereo[i]));
    const bool quiet = loudest * reach <= floor;
    for (size_t n = from; n < to; ++n) {
      double peak = std::max(std::fabs(stereo[n * 2]), std::fabs(stereo[n * 2 + 1]));
      for (int c = 0; c < 2 && !quiet; ++c) {
        const bool inside = n >= kTaps / 2 && n + kTaps / 2 < frames;
        for (int p = 1; p < kPhases; ++p) {
          double v = 0;
          if (inside) {
            const float* x = &stereo[(n - kTaps / 2 + 1) * 2 + c];
            for (int k = 0; k < kTaps; ++k) v += interp.taps[p][k] * x[k * 2];
          } else {
            for (int k = 0; k < kTaps; ++k) v += interp.taps[p][k] * at(n, k - kTaps / 2 + 1, c);
          }
          peak = std::max(peak, std::fabs(v));
        }
      }
      peaks[n] = static_cast<float>(peak);
    }
  }
  return peaks;
}

void scale(std::vector<float>& signal, double gain) {
  for (float& v : signal) v = static_cast<float>(v * gain);
}

}  // namespace

double integratedLoudness(const std::vector<float>& stereo) {
  constexpr size_t kSegment = kRate / 10;  // blocks are 4 segments, 75% overlapped
  Biquad filters[2][2] = {{shelfStage(kRate), highPassStage(kRate)}, {shelfStage(kRate), highPassStage(kRate)}};
  std::vector<double> segments;  // mean square of each 100 ms, channels summed
  double sum = 0;
  const size_t frames = stereo.size() / 2;
  for (size_t n = 0; n < frames; ++n) {
    for (int c = 0; c < 2; ++c) {
      const double y = filters[c][1].process(filters[c][0].process(stereo[n * 2 + c]));
      sum += y * y;
    }
    if ((n + 1) % kSegment == 0) {
      segments.push_back(sum / kSegment);
      sum = 0;
    }
  }
  const auto lufs = [](double power) { return -0.691 + 10 * std::log10(power); };
  std::vector<double> blocks;
  for (size_t j = 0; j + 4 <= segments.size(); ++j) {
    blocks.push_back((segments[j] + segments[j + 1] + segments[j + 2] + segments[j + 3]) / 4);
  }
  // Mean power of the blocks louder than `gate` LUFS; 0 when there are none.
  const auto gatedMean = [&blocks, &lufs](double gate) {
    double total = 0;
    size_t count = 0;
    for (double b : blocks) {
      if (b > 0 && lufs(b) > gate) total += b, ++count;
    }
    return count ? total / count : 0.0;
  };
  const double absolute = gatedMean(-70);
  if (absolute <= 0) return -std::numeric_limits<double>::infinity();
  const double relative = gatedMean(lufs(absolute) - 10);
  return lufs(relative);
}

double truePeak(const std::vector<float>& stereo) {
  // The true peak is at least the largest sample, so only stretches that
  // could beat that need interpolating.
  double samples = 0;
  for (float v : stereo) samples = std::max<double>(samples, std::fabs(v));
  const std::vector<float> peaks = framePeaks(stereo, samples);
  return peaks.empty() ? 0.0 : *std::max_element(peaks.begin(), peaks.end());
}

namespace {

// Scales by `gain` and limits so that gain times `peaks` (framePeaks() of
// the signal as it is) stays under `ceiling`.
void scaleAndLimit(std::vector<float>& stereo, const std::vector<float>& peaks, double gain, double ceiling) {
  const size_t lookAhead = kRate / 200;
  const double recover = 1 - std::exp(-1.0 / (0.1 * kRate));
  const double target = ceiling * kMargin / gain;
  const size_t frames = peaks.size();
  // The gain each frame needs: its peak and the in-between peaks on both sides.
  std::vector<double> need(frames);
  for (size_t n = 0; n < frames; ++n) {
    const double p = std::max<double>(peaks[n], n > 0 ? peaks[n - 1] : 0.0f);
    need[n] = p > target ? target / p : 1.0;
  }
  // The least need over the next lookAhead frames, averaged over the last
  // lookAhead frames: every frame in that average already sees frame n, so
  // the result never exceeds need[n], and it falls as a smooth ramp.
  std::vector<double> ahead(frames);
  std::deque<size_t> window;  // indices of rising need values
  for (size_t n = frames; n-- > 0;) {
    while (!window.empty() && need[window.back()] >= need[n]) window.pop_back();
    window.push_back(n);
    while (window.front() >= n + lookAhead) window.pop_front();
    ahead[n] = need[window.front()];
  }
  // Frames before the start count as frame 0, whose window covers them.
  double boxSum = frames ? ahead[0] * lookAhead : 0, limit = 1;
  for (size_t n = 0; n < frames; ++n) {
    boxSum += ahead[n] - ahead[n >= lookAhead ? n - lookAhead : 0];
    limit = std::min(boxSum / lookAhead, limit + (1 - limit) * recover);
    stereo[n * 2] = static_cast<float>(stereo[n * 2] * gain * limit);
    stereo[n * 2 + 1] = static_cast<float>(stereo[n * 2 + 1] * gain * limit);
  }
}

// The last guard: whatever slipped past the plan is scaled under the ceiling.
void trimToCeiling(std::vector<float>& stereo, double ceiling) {
  const double peak = truePeak(stereo);
  if (peak > ceiling) scale(stereo, ceiling / peak);
}

}  // namespace

void limitTruePeak(std::vector<float>& stereo, double ceiling) {
  scaleAndLimit(stereo, framePeaks(stereo, ceiling * kMargin), 1.0, ceiling);
  trimToCeiling(stereo, ceiling);
}

std::vector<int16_t> masterBus(std::vector<float> mix, const Score& score) {
  scale(mix, score.master);
  const double ceiling = std::pow(10.0, score.ceiling / 20);
  if (score.normalise) {
    // The limiter takes a little loudness away; measure again and correct
    // until the result lands on the target.
    const std::vector<float> before = mix;
    std::vector<float> peaks;
    double peaksGain = 0;  // the largest gain `peaks` serves
    const double raw = integratedLoudness(mix);
    double gain = std::isfinite(raw) ? std::pow(10.0, (score.loudness - raw) / 20) : 1.0;
    for (int pass = 0; pass < 6; ++pass) {
      if (gain > peaksGain) {
        peaksGain = gain * 1.25;
        peaks = framePeaks(before, ceiling * kMargin / peaksGain);
      }
      mix = before;
      scaleAndLimit(mix, peaks, gain, ceiling);
      const double measured = integratedLoudness(mix);
      if (!std::isfinite(measured) || std::fabs(measured - score.loudness) < 0.05) break;
      gain *= std::pow(10.0, (score.loudness - measured) / 20);
    }
    trimToCeiling(mix, ceiling);
  } else if (score.limit) {
    limitTruePeak(mix, ceiling);
  }
  std::vector<int16_t> pcm(mix.size());
  for (size_t i = 0; i < mix.size(); ++i) {
    const double v = std::max(-1.0, std::min(1.0, static_cast<double>(mix[i])));
    pcm[i] = static_cast<int16_t>(std::lrint(v * 32767));
  }
  return pcm;
}

}  // namespace musicgen
