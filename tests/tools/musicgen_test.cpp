// musicgen's synthesis library: the filter's response, the loudness meter
// against signals of known loudness, the true-peak limiter, the new score
// statements, the effects a score switches on, and whole renders (repeatable
// and normalised to their loudness target, the Ogg Vorbis output included).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "musicgen/dsp.h"
#include "musicgen/master.h"
#include "musicgen/render.h"
#include "musicgen/score.h"
#include "musicgen/track.h"

namespace {

using namespace musicgen;

constexpr double kPi = 3.14159265358979323846;

double db(double ratio) { return 20 * std::log10(ratio); }

// `seconds` of a sine of `dbfs` peak level (0 = full scale) per channel.
std::vector<float> sine(double freq, double seconds, double leftDbfs, double rightDbfs = -999,
                        double phase = 0) {
  const auto frames = static_cast<size_t>(seconds * kRate);
  const double left = std::pow(10.0, leftDbfs / 20), right = rightDbfs < -900 ? left : std::pow(10.0, rightDbfs / 20);
  std::vector<float> out(frames * 2);
  for (size_t n = 0; n < frames; ++n) {
    const double s = std::sin(2 * kPi * freq * n / kRate + phase);
    out[n * 2] = static_cast<float>(s * left);
    out[n * 2 + 1] = static_cast<float>(s * right);
  }
  return out;
}

std::vector<float> join(std::vector<float> a, const std::vector<float>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Score parse(const std::string& text) {
  std::istringstream in(text);
  return parseScore(in);
}

TEST(MusicgenFilter, ResponseMatchesTheTwoPolePrototype) {
  // Expected gains from the analog two-pole responses, |H| at w = f/fc:
  // low-pass 1/|1 - w^2 + jw/Q|, high-pass w^2/|...|, band-pass (w/Q)/|...|.
  // The bilinear transform's frequency warping moves them by under 0.5 dB
  // this far below the Nyquist frequency.
  struct Case {
    FilterMode mode;
    double cutoff, q, freq, expectDb;
  } cases[] = {
      {FilterMode::LowPass, 500, 0.7071, 4000, -36.1},   // three octaves above: 12 dB an octave
      {FilterMode::LowPass, 1000, 0.7071, 100, 0.0},     // the pass band is flat
      {FilterMode::LowPass, 1000, 4, 1000, 12.04},       // at the cutoff the gain is Q
      {FilterMode::HighPass, 2000, 0.7071, 250, -36.1},  // three octaves below
      {FilterMode::HighPass, 2000, 8, 2000, 18.06},
      {FilterMode::BandPass, 1000, 2, 1000, 0.0},        // unity at the centre
      {FilterMode::BandPass, 1000, 2, 4000, -17.5},      // (4/2)/|1-16+2j|: -17.5 dB
  };
  for (const Case& c : cases) {
    StateVariableFilter f;
    f.set(c.cutoff, c.q);
    double in = 0, out = 0;
    for (int n = 0; n < kRate; ++n) {
      const double x = std::sin(2 * kPi * c.freq * n / kRate);
      const double y = f.process(x, c.mode);
      if (n >= kRate / 2) in += x * x, out += y * y;  // after the filter settles
    }
    EXPECT_NEAR(db(std::sqrt(out / in)), c.expectDb, 0.5)
        << static_cast<int>(c.mode) << " cutoff " << c.cutoff << " Q " << c.q << " at " << c.freq;
  }
}

TEST(MusicgenLoudness, KnownSignalsReadTheirLoudness) {
  // A sine of peak level A dBFS has a mean square A - 3.01 dB per channel;
  // two channels add +3.01 dB; the K-weighting's +0.69 dB at 1 kHz is what
  // the meter's -0.691 offset takes back. So a stereo 1 kHz sine reads its
  // peak level in LUFS, and one channel alone 3.01 LU less.
  // Blocks are 400 ms every 100 ms: a tone of 10 s followed by 10 s of
  // silence (or of a tone 16 dB quieter, which the relative gate drops) gives
  // 97 whole tone blocks and three with 3/4, 1/2 and 1/4 of it, so the mean
  // power is 98.5 / 100 of the tone's: -20.07 LUFS. Without the relative gate
  // the -36 dBFS half would pull it to about -23.
  const double edge = -20 + 10 * std::log10(98.5 / 100);
  const double edgeQuiet = -20 + 10 * std::log10((97 + 1.5 + 1.5 * std::pow(10.0, -1.6)) / 100);
  struct Case {
    const char* name;
    std::vector<float> signal;
    double expect;
  } cases[] = {
      {"stereo -20 dBFS", sine(1000, 10, -20), -20.0},
      {"stereo -23 dBFS", sine(1000, 10, -23), -23.0},
      {"left only, 0 dBFS", sine(1000, 10, 0, -300), -3.01},
      {"-60 dBFS passes the absolute gate", sine(1000, 10, -60), -60.0},
      {"then silence", join(sine(1000, 10, -20), std::vector<float>(10 * kRate * 2, 0.0f)), edge},
      {"then a quiet tone", join(sine(1000, 10, -20), sine(1000, 10, -36, -36, 2 * kPi * 1000 * 10)), edgeQuiet},
  };
  for (const Case& c : cases) EXPECT_NEAR(integratedLoudness(c.signal), c.expect, 0.05) << c.name;
  EXPECT_EQ(integratedLoudness(sine(1000, 10, -75)), -INFINITY) << "under the absolute gate";
  EXPECT_EQ(integratedLoudness(sine(1000, 0.3, -20)), -INFINITY) << "shorter than a block";
}

// An independent true-peak read: each in-between point at eight times the
// rate, from a 128-tap Hann-windowed sinc.
double peakAtEightTimes(const std::vector<float>& stereo) {
  constexpr long kHalf = 64;
  static const auto taps = [] {
    std::vector<double> t(8 * 2 * kHalf);
    for (int p = 1; p < 8; ++p) {
      for (long k = -kHalf + 1; k <= kHalf; ++k) {
        const double x = k - p / 8.0;
        t[p * 2 * kHalf + k + kHalf - 1] = std::sin(kPi * x) / (kPi * x) * (0.5 + 0.5 * std::cos(kPi * x / (kHalf + 0.5)));
      }
    }
    return t;
  }();
  const long frames = static_cast<long>(stereo.size() / 2);
  double peak = 0;
  for (long n = 0; n < frames; ++n) {
    for (int c = 0; c < 2; ++c) {
      peak = std::max(peak, std::fabs(static_cast<double>(stereo[n * 2 + c])));
      for (int p = 1; p < 8; ++p) {
        double v = 0;
        for (long k = std::max(-kHalf + 1, -n); k <= kHalf && n + k < frames; ++k) {
          v += stereo[(n + k) * 2 + c] * taps[p * 2 * kHalf + k + kHalf - 1];
        }
        peak = std::max(peak, std::fabs(v));
      }
    }
  }
  return peak;
}

TEST(MusicgenLimiter, KeepsTheOversampledPeakUnderTheCeiling) {
  // A quarter-rate sine at 45 degrees puts every sample at 0.707 of its true
  // peak: the samples read 3 dB under what a converter plays.
  struct Case {
    const char* name;
    std::vector<float> signal;
    double ceilingDb;
  } cases[] = {
      {"inter-sample peaks, +6 dBTP", sine(kRate / 4.0, 0.5, 6, 6, kPi / 4), -1.5},
      {"a quiet start, then a +12 dB burst", join(sine(440, 0.3, -30), sine(3000, 0.2, 12)), -1.0},
      {"a single-sample spike", join(join(sine(100, 0.1, -40), std::vector<float>{4.0f, -4.0f}), sine(100, 0.1, -40)), -1.0},
  };
  for (Case& c : cases) {
    const double ceiling = std::pow(10.0, c.ceilingDb / 20);
    const double before = truePeak(c.signal);
    limitTruePeak(c.signal, ceiling);
    EXPECT_LE(truePeak(c.signal), ceiling) << c.name;
    EXPECT_LE(db(peakAtEightTimes(c.signal)), c.ceilingDb + 0.05) << c.name;
    EXPECT_GT(db(truePeak(c.signal)), c.ceilingDb - 1) << c.name << ": limited, not crushed";
    EXPECT_GT(before, ceiling * 1.4) << c.name << ": the case must be hot";
  }
  // Under the ceiling nothing changes.
  std::vector<float> quiet = sine(1000, 0.5, -6);
  const std::vector<float> copy = quiet;
  limitTruePeak(quiet, std::pow(10.0, -1.0 / 20));
  EXPECT_EQ(quiet, copy);
}

TEST(MusicgenScore, NewStatementsParseAndBadOnesSayWhy) {
  const Score s = parse(
      "tempo 125\n"
      "instrument pad saw voices=5 detune=20 cutoff=800 resonance=2 famount=2 delay=0.2 reverb=0.5 duck=0.7\n"
      "instrument hat noise filter=hp cutoff=7000\n"
      "pattern p pad A3+C4+E4 - . G3:0.25\n"
      "pattern q pad C4 .\n"
      "chain c p q x2\n"
      "sidechain hat 0.3\ndelay 0.5 0.4\nreverb 0.8 0.2\nloudness -16\n"
      "play p\n");
  const Instrument& pad = s.instruments.at("pad");
  EXPECT_EQ(pad.filter, FilterMode::LowPass) << "a cutoff alone means low-pass";
  EXPECT_EQ(pad.voices, 5);
  EXPECT_EQ(pad.duck, 0.7);
  EXPECT_EQ(s.instruments.at("hat").filter, FilterMode::HighPass);
  const std::vector<Note>& notes = s.patterns.at("p").notes;
  ASSERT_EQ(notes.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(notes[i].length, 2) << "a hold holds the whole chord";
  EXPECT_EQ(notes[3].step, 3);
  EXPECT_EQ(notes[0].level, 1.0);
  EXPECT_EQ(notes[3].level, 0.25);
  const Pattern& chain = s.patterns.at("c");
  EXPECT_EQ(chain.instrument, "pad");
  EXPECT_EQ(chain.steps, 12);
  ASSERT_EQ(chain.notes.size(), 10u);
  EXPECT_EQ(chain.notes[4].step, 4) << "q follows p";
  EXPECT_EQ(chain.notes[9].step, 10) << "then both again";
  EXPECT_EQ(chain.notes[7].length, 2);
  EXPECT_EQ(s.sidechain, "hat");
  EXPECT_EQ(s.delayBeats, 0.5);
  EXPECT_TRUE(s.normalise && s.limit) << "normalising limits too";
  EXPECT_EQ(s.ceiling, -1.0);

  const struct {
    const char* line;
    const char* reason;
  } bad[] = {
      {"instrument a saw filter=notch", "filter must be lp, hp or bp"},
      {"instrument a saw voices=40", "voices=40 is outside 1..16"},
      {"instrument a saw resonance=0.1", "resonance=0.1 is outside 0.5..20"},
      {"instrument a saw pan=2", "envelope times must be >= 0 and pan within -1..1"},
      {"sidechain nobody 0.2", "unknown instrument 'nobody'"},
      {"loudness 3", "loudness: 3 is outside -60..0"},
      {"ceiling", "ceiling: value expected"},
      {"reverb 0.5 0.5 0.5", "unexpected '0.5'"},
      {"pattern p a C4+X", "bad step 'C4+X'"},
      {"pattern p a C4:5", "bad step 'C4:5'"},
      {"pattern p a C4:", "bad step 'C4:'"},
      {"chain c nothing", "unknown pattern 'nothing'"},
      {"steps 0.5", "steps must be a whole number"},
  };
  try {
    parse("tempo 1\ninstrument a sine\npattern p a C4 - - -\nplay p x1000\n");
    ADD_FAILURE() << "a track of nearly 17 hours parsed";
  } catch (const ParseError& e) {
    EXPECT_EQ(e.reason, "the track would last over an hour");
  }
  for (const auto& b : bad) {
    try {
      parse(std::string("instrument a sine\n") + b.line + "\n");
      ADD_FAILURE() << b.line << " parsed";
    } catch (const ParseError& e) {
      EXPECT_EQ(e.line, 2) << b.line;
      EXPECT_EQ(e.reason, b.reason) << b.line;
    }
  }
}

// Root-mean-square of the left channel over [from, to) seconds.
double rms(const std::vector<float>& stereo, double from, double to) {
  double sum = 0;
  const auto a = static_cast<size_t>(from * kRate), b = static_cast<size_t>(to * kRate);
  for (size_t n = a; n < b; ++n) sum += stereo[n * 2] * stereo[n * 2];
  return std::sqrt(sum / static_cast<double>(b - a));
}

TEST(MusicgenRender, LevelsSendsAndDuckingDoWhatTheScoreSays) {
  // One bar of 2 s; a short note at the start, a silent kick on beats 2 and 3.
  const std::string base =
      "instrument kick kick gain=0\n"
      "pattern k kick . . . . C2 . . . C2 . . . . . . .\n";
  const auto mix = [&](const std::string& keys, const std::string& notes) {
    return renderMix(parse(base + "instrument a sine attack=0.001 decay=0 sustain=1 release=0.01 " + keys +
                           "\npattern p a " + notes + "\nplay p k\n"));
  };
  const std::string shortNote = "C5 . . . . . . . . . . . . . . .";
  EXPECT_NEAR(db(rms(mix("", "C5:0.5 . . . . . . . . . . . . . . ."), 0, 0.1) / rms(mix("", shortNote), 0, 0.1)),
              db(0.5), 0.01) << "a note's level scales it";
  // Dry, nothing sounds after the note; the sends leave echoes and a tail.
  EXPECT_EQ(rms(mix("", shortNote), 0.5, 2), 0.0);
  EXPECT_GT(db(rms(mix("delay=0.5", shortNote), 0.38, 0.48) / rms(mix("", shortNote), 0, 0.1)), -12)
      << "the first echo, 3/4 beat later on the left";
  EXPECT_GT(rms(mix("reverb=0.5", shortNote), 0.5, 1.0), 1e-3);
  // A held note ducks on each kick and is back a beat later.
  const std::string held = "C5 - - - - - - - - - - - - - - -";
  const std::vector<float> ducked = mix("duck=0.9", held), plain = mix("", held);
  // 5 ms after the kick: 2 ms of attack, then 3 ms into the 0.25 s return,
  // (1 - 0.012)^2 = 0.976 of the full duck: a gain of 1 - 0.9 * 0.976.
  EXPECT_NEAR(db(rms(ducked, 0.504, 0.506) / rms(plain, 0.504, 0.506)), db(1 - 0.9 * 0.976), 1.0)
      << "just after the kick";
  EXPECT_NEAR(db(rms(ducked, 0.85, 0.99) / rms(plain, 0.85, 0.99)), 0, 0.1) << "recovered";
}

TEST(MusicgenRender, RepeatableAndOnItsLoudnessTarget) {
  const std::string score =
      "tempo 124\n"
      "instrument kick kick gain=0.9 decay=0.3 sustain=0\n"
      "instrument hat noise filter=hp cutoff=8000 gain=0.2 decay=0.05 sustain=0 reverb=0.2\n"
      "instrument pad saw voices=5 detune=25 cutoff=600 resonance=3 famount=2 fattack=0.3 "
      "gain=0.2 duck=0.6 reverb=0.4 delay=0.3\n"
      "pattern k kick C2 . . . C2 . . . C2 . . . C2 . . .\n"
      "pattern h hat . . C6 . . . C6 . . . C6 . . . C6 .\n"
      "pattern p pad A3+C4+E4 - - - - - - - F3+A3+C4 - - - - - - -\n"
      "loudness -14\nceiling -1.5\n"
      "play k h p x3\n";
  const std::vector<int16_t> a = renderScore(parse(score)), b = renderScore(parse(score));
  EXPECT_EQ(a, b);
  std::vector<float> pcm(a.size());
  for (size_t i = 0; i < a.size(); ++i) pcm[i] = a[i] / 32768.0f;
  EXPECT_NEAR(integratedLoudness(pcm), -14.0, 0.5);
  EXPECT_LE(db(truePeak(pcm)), -1.5 + 0.01);
  // The Ogg Vorbis track too, made hot and coarse so the codec pushes the
  // peaks past the ceiling: the same bytes twice, and decoded it keeps its
  // loudness and stays under the ceiling.
  std::string hot = score;
  hot.replace(hot.find("loudness -14"), 12, "loudness -9\nquality 0");
  const std::vector<uint8_t> ogg = encodeTrack(parse(hot));
  EXPECT_EQ(ogg, encodeTrack(parse(hot)));
  const std::vector<float> decoded = decodeOgg(ogg);
  ASSERT_EQ(decoded.size(), a.size());
  EXPECT_NEAR(integratedLoudness(decoded), -9.0, 0.5);
  EXPECT_LE(db(truePeak(decoded)), -1.5 + 0.01);
}

}  // namespace
