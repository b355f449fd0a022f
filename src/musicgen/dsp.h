// musicgen's signal blocks: the state-variable filter, the envelope, and
// the two send effects (a ping-pong delay and a comb/all-pass reverb).
// Every block is deterministic and allocates only when built.
#pragma once

#include <cstddef>
#include <vector>

#include "score.h"

namespace musicgen {

constexpr int kRate = 44100;

// The level of `env` at `t` seconds for a note held `held` seconds (the
// release starts from the level reached then and falls linearly to 0).
double envelopeLevel(const Envelope& env, double t, double held);

// A two-pole state-variable filter (trapezoidal integration, so it stays
// stable when the cutoff moves every sample). Resonance is the Q: the gain at
// the cutoff of the low-pass and high-pass, 0.7071 for a flat top.
class StateVariableFilter {
 public:
  // `cutoff` is clamped below the Nyquist frequency.
  void set(double cutoff, double resonance);
  double process(double in, FilterMode mode);

 private:
  double mA1 = 0, mA2 = 0, mA3 = 0, mK = 1.414;
  double mIc1 = 0, mIc2 = 0;
};

// A stereo ping-pong echo: the first repeat on the left, the next on the
// right, each darker and `feedback` times quieter than the one before.
class PingPongDelay {
 public:
  PingPongDelay(size_t frames, double feedback);
  // Processes interleaved stereo in place: `io` holds the send, gets the echo.
  void process(std::vector<float>& io);

 private:
  std::vector<float> mLeft, mRight;
  size_t mAt = 0;
  double mFeedback, mToneL = 0, mToneR = 0;
};

// A reverb of parallel damped comb filters feeding series all-passes, per
// channel, with the right channel's lines a little longer for width.
// `size` (0..1) sets the decay, `damping` (0..1) how fast the highs die.
class Reverb {
 public:
  Reverb(double size, double damping);
  void process(std::vector<float>& io);  // as PingPongDelay::process

 private:
  struct Comb {
    std::vector<float> line;
    size_t at = 0;
    float store = 0;
  };
  struct AllPass {
    std::vector<float> line;
    size_t at = 0;
  };
  std::vector<Comb> mCombs[2];
  std::vector<AllPass> mAllPasses[2];
  float mFeedback, mDamping;
};

}  // namespace musicgen
