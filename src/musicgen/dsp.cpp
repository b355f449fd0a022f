#include "dsp.h"

#include <algorithm>
#include <cmath>

namespace musicgen {
namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

double envelopeLevel(const Envelope& env, double t, double held) {
  auto level = [&env](double u) {
    if (u < env.attack) return u / env.attack;
    u -= env.attack;
    if (u < env.decay) return 1.0 + (env.sustain - 1.0) * (u / env.decay);
    return env.sustain;
  };
  if (t < held) return level(t);
  if (env.release <= 0) return 0.0;
  const double r = 1.0 - (t - held) / env.release;
  return r > 0 ? level(held) * r : 0.0;
}

void StateVariableFilter::set(double cutoff, double resonance) {
  const double g = std::tan(kPi * std::min(cutoff, 0.45 * kRate) / kRate);
  mK = 1.0 / resonance;
  mA1 = 1.0 / (1.0 + g * (g + mK));
  mA2 = g * mA1;
  mA3 = g * mA2;
}

double StateVariableFilter::process(double in, FilterMode mode) {
  const double v3 = in - mIc2;
  const double band = mA1 * mIc1 + mA2 * v3;
  const double low = mIc2 + mA2 * mIc1 + mA3 * v3;
  mIc1 = 2 * band - mIc1;
  mIc2 = 2 * low - mIc2;
  switch (mode) {
    case FilterMode::HighPass: return in - mK * band - low;
    // Scaled by k so the band-pass peak is unity whatever the resonance.
    case FilterMode::BandPass: return mK * band;
    case FilterMode::LowPass: return low;
    case FilterMode::Off: break;
  }
  return in;
}

PingPongDelay::PingPongDelay(size_t frames, double feedback)
    : mLeft(std::max<size_t>(frames, 1), 0.0f), mRight(mLeft.size(), 0.0f), mFeedback(feedback) {}

void PingPongDelay::process(std::vector<float>& io) {
  // A one-pole low-pass in the loop darkens each repeat.
  constexpr double kTone = 0.35;
  for (size_t i = 0; i + 1 < io.size(); i += 2) {
    const double outL = mLeft[mAt], outR = mRight[mAt];
    mToneL += (outL - mToneL) * (1 - kTone);
    mToneR += (outR - mToneR) * (1 - kTone);
    const double in = 0.5 * (io[i] + io[i + 1]);
    mLeft[mAt] = static_cast<float>(in + mFeedback * mToneR);
    mRight[mAt] = static_cast<float>(mFeedback * mToneL);
    if (++mAt == mLeft.size()) mAt = 0;
    io[i] = static_cast<float>(outL);
    io[i + 1] = static_cast<float>(outR);
  }
}

Reverb::Reverb(double size, double damping)
    : mFeedback(static_cast<float>(0.70 + 0.28 * size)), mDamping(static_cast<float>(0.05 + 0.7 * damping)) {
  // Line lengths in frames, mutually prime so the echoes do not pile up.
  static const size_t combs[] = {1087, 1153, 1229, 1297, 1373, 1439, 1511, 1601};
  static const size_t allPasses[] = {563, 443, 347, 233};
  constexpr size_t kStereoOffset = 27;
  for (int c = 0; c < 2; ++c) {
    const size_t extra = c * kStereoOffset;
    for (size_t n : combs) mCombs[c].push_back(Comb{std::vector<float>(n + extra, 0.0f)});
    for (size_t n : allPasses) mAllPasses[c].push_back(AllPass{std::vector<float>(n + extra, 0.0f)});
  }
}

void Reverb::process(std::vector<float>& io) {
  constexpr float kInput = 0.04f, kAllPass = 0.5f;
  for (size_t i = 0; i + 1 < io.size(); i += 2) {
    const float in = kInput * (io[i] + io[i + 1]);
    for (int c = 0; c < 2; ++c) {
      float sum = 0;
      for (Comb& comb : mCombs[c]) {
        const float out = comb.line[comb.at];
        comb.store = out + (comb.store - out) * mDamping;
        comb.line[comb.at] = in + comb.store * mFeedback;
        if (++comb.at == comb.line.size()) comb.at = 0;
        sum += out;
      }
      for (AllPass& ap : mAllPasses[c]) {
        const float delayed = ap.line[ap.at];
        const float v = sum + delayed * kAllPass;
        ap.line[ap.at] = v;
        if (++ap.at == ap.line.size()) ap.at = 0;
        sum = delayed - v * kAllPass;
      }
      io[i + c] = sum;
    }
  }
}

}  // namespace musicgen
