#include "render.h"

#include <algorithm>
#include <cmath>

#include "dsp.h"
#include "master.h"

namespace musicgen {
namespace {

constexpr double kPi = 3.14159265358979323846;

// One note of one instrument, placed in the song.
struct Event {
  const std::string* instrument;
  const Instrument* inst;
  Note note;
  size_t at;      // first frame
  size_t frames;  // held time plus release
};

struct Buses {
  std::vector<float> dry, delay, reverb;  // interleaved stereo; sends empty when unused
  std::vector<float> duck;                // per frame, 0..1; empty when nothing ducks
};

// The correction that takes the step out of a naive saw or square at a
// wrap, so high notes do not alias (t is the phase, dt the phase step).
double blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

double oscillator(Wave wave, double phase, double dt) {
  switch (wave) {
    case Wave::Sine: return std::sin(2 * kPi * phase);
    case Wave::Square: {
      const double half = phase + 0.5 - std::floor(phase + 0.5);
      return 0.8 * ((phase < 0.5 ? 1 : -1) + blep(phase, dt) - blep(half, dt));
    }
    case Wave::Saw: return 2 * phase - 1 - blep(phase, dt);
    case Wave::Triangle: return phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase;
    default: return 0;
  }
}

bool pitched(Wave wave) {
  return wave == Wave::Sine || wave == Wave::Square || wave == Wave::Saw || wave == Wave::Triangle;
}

// The percussive waves: one voice, their pitch and noise made here.
class Drum {
 public:
  Drum(Wave wave, double freq, size_t seed) : mWave(wave), mFreq(freq), mNoise(0x9E3779B9u ^ static_cast<uint32_t>(seed)) {}
  double next(double t) {
    double s = 0, f = mFreq;
    switch (mWave) {
      case Wave::Noise: s = noise(); break;
      case Wave::Kick:
        // A falling sine, and a millisecond of noise for the beater's click.
        s = std::sin(2 * kPi * mPhase) * std::exp(-t * 18) + 0.3 * noise() * std::exp(-t * 1500);
        f = 45 + 110 * std::exp(-t * 30);
        break;
      case Wave::Snare: s = 0.6 * noise() + 0.9 * std::sin(2 * kPi * mPhase) * std::exp(-t * 30); break;
      case Wave::Clap: {
        // Three quick slaps 10 ms apart, then the envelope's tail.
        const double slap = t < 0.03 ? std::exp(-std::fmod(t, 0.01) * 250) : 1.0;
        s = noise() * slap;
        break;
      }
      default: break;
    }
    mPhase += f / kRate;
    mPhase -= std::floor(mPhase);
    return s;
  }

 private:
  double noise() {
    mNoise = mNoise * 1664525u + 1013904223u;
    return static_cast<double>(mNoise >> 8) / 8388608.0 - 1.0;
  }
  Wave mWave;
  double mFreq, mPhase = 0;
  uint32_t mNoise;
};

struct Voice {
  double phase, step, left, right;
};

void panGains(double pan, double gain, double& left, double& right) {
  left = std::cos((pan + 1) * kPi / 4) * gain;
  right = std::sin((pan + 1) * kPi / 4) * gain;
}

void renderNote(const Event& e, double stepSeconds, Buses& buses) {
  const Instrument& inst = *e.inst;
  const double held = e.note.length * stepSeconds;
  const double freq = 440.0 * std::pow(2.0, (e.note.midi + 12 * inst.octave - 69) / 12.0);
  std::vector<Voice> voices;
  if (pitched(inst.wave)) {
    const int n = inst.voices;
    for (int v = 0; v < n; ++v) {
      const double spot = n > 1 ? 2.0 * v / (n - 1) - 1 : 0;  // -1..1 across the voices
      Voice voice{};
      // Fixed, spread start phases: in phase, detuned voices would start as one loud wave.
      voice.phase = n > 1 ? std::fmod(v * 0.6180339887, 1.0) : 0;
      voice.step = freq * std::pow(2.0, spot * inst.detune / 2400) / kRate;
      panGains(std::clamp(inst.pan + inst.spread * spot, -1.0, 1.0), 1 / std::sqrt(n), voice.left, voice.right);
      voices.push_back(voice);
    }
  }
  Drum drum(inst.wave, freq, e.at);
  double drumLeft = 0, drumRight = 0;
  panGains(inst.pan, 1, drumLeft, drumRight);
  StateVariableFilter filters[2];
  constexpr size_t kFilterUpdate = 16;  // frames between cutoff updates

  for (size_t i = 0; i < e.frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double l = 0, r = 0;
    if (voices.empty()) {
      const double s = drum.next(t);
      l = s * drumLeft;
      r = s * drumRight;
    }
    for (Voice& v : voices) {
      const double s = oscillator(inst.wave, v.phase, v.step);
      l += s * v.left;
      r += s * v.right;
      v.phase += v.step;
      if (v.phase >= 1) v.phase -= 1;
    }
    if (inst.filter != FilterMode::Off) {
      if (i % kFilterUpdate == 0) {
        const double octaves = inst.filterAmount * envelopeLevel(inst.filterEnv, t, held);
        const double cutoff = inst.cutoff * std::pow(2.0, octaves);
        for (auto& f : filters) f.set(cutoff, inst.resonance);
      }
      l = filters[0].process(l, inst.filter);
      r = filters[1].process(r, inst.filter);
    }
    const size_t frame = e.at + i;
    double amp = envelopeLevel(inst.amp, t, held) * inst.gain * e.note.level;
    if (!buses.duck.empty()) amp *= 1 - inst.duck * buses.duck[frame];
    l *= amp;
    r *= amp;
    buses.dry[frame * 2] += static_cast<float>(l);
    buses.dry[frame * 2 + 1] += static_cast<float>(r);
    if (inst.delaySend > 0) {
      buses.delay[frame * 2] += static_cast<float>(l * inst.delaySend);
      buses.delay[frame * 2 + 1] += static_cast<float>(r * inst.delaySend);
    }
    if (inst.reverbSend > 0) {
      buses.reverb[frame * 2] += static_cast<float>(l * inst.reverbSend);
      buses.reverb[frame * 2 + 1] += static_cast<float>(r * inst.reverbSend);
    }
  }
}

// The side-chain curve: 1 just after each trigger note starts (reached in
// 2 ms, so the duck does not click), back to 0 along a square curve.
std::vector<float> duckCurve(const std::vector<const Event*>& triggers, size_t frames, double release) {
  std::vector<float> curve(frames, 0.0f);
  const size_t attack = kRate / 500, length = static_cast<size_t>(release * kRate);
  for (const Event* e : triggers) {
    for (size_t i = 0; i < attack + length && e->at + i < frames; ++i) {
      const double u = i < attack ? 0 : double(i - attack) / length;
      const double level = i < attack ? double(i) / attack : (1 - u) * (1 - u);
      float& c = curve[e->at + i];
      c = std::max(c, static_cast<float>(level));
    }
  }
  return curve;
}

void addReturn(std::vector<float>& dry, const std::vector<float>& wet) {
  for (size_t i = 0; i < dry.size(); ++i) dry[i] += wet[i];
}

}  // namespace

std::vector<float> renderMix(const Score& score) {
  const double stepSeconds = 60.0 / score.tempo / score.stepsPerBeat;
  std::vector<Event> events;
  int step = 0;
  size_t frames = 0;
  for (const auto& play : score.plays) {
    int longest = 0;
    for (const auto& name : play.patterns) longest = std::max(longest, score.patterns.at(name).steps);
    for (int r = 0; r < play.repeat; ++r) {
      for (const auto& name : play.patterns) {
        const Pattern& p = score.patterns.at(name);
        const Instrument& inst = score.instruments.at(p.instrument);
        for (const Note& n : p.notes) {
          const auto at = static_cast<size_t>(std::llround((step + n.step) * stepSeconds * kRate));
          const auto length = static_cast<size_t>((n.length * stepSeconds + inst.amp.release) * kRate);
          events.push_back(Event{&p.instrument, &inst, n, at, length});
          frames = std::max(frames, at + length);
        }
      }
      step += longest;
    }
  }
  frames = std::max(frames, static_cast<size_t>(std::llround(step * stepSeconds * kRate)));

  Buses buses;
  buses.dry.assign(frames * 2, 0.0f);
  bool delay = false, reverb = false, duck = false;
  for (const auto& [name, inst] : score.instruments) {
    delay = delay || inst.delaySend > 0;
    reverb = reverb || inst.reverbSend > 0;
    duck = duck || inst.duck > 0;
  }
  if (delay) buses.delay.assign(frames * 2, 0.0f);
  if (reverb) buses.reverb.assign(frames * 2, 0.0f);
  if (duck) {
    std::vector<const Event*> triggers;
    for (const Event& e : events) {
      if (score.sidechain.empty() ? e.inst->wave == Wave::Kick : *e.instrument == score.sidechain) {
        triggers.push_back(&e);
      }
    }
    buses.duck = duckCurve(triggers, frames, score.sidechainRelease);
  }
  for (const Event& e : events) renderNote(e, stepSeconds, buses);
  if (delay) {
    const auto echo = static_cast<size_t>(std::llround(score.delayBeats * 60.0 / score.tempo * kRate));
    PingPongDelay(echo, score.delayFeedback).process(buses.delay);
    addReturn(buses.dry, buses.delay);
  }
  if (reverb) {
    Reverb(score.reverbSize, score.reverbDamping).process(buses.reverb);
    addReturn(buses.dry, buses.reverb);
  }
  return std::move(buses.dry);
}

std::vector<int16_t> renderScore(const Score& score) { return masterBus(renderMix(score), score); }

}  // namespace musicgen
