// musicgen's score: the parsed form of the text format that musicgen.cpp
// documents (kFormat), and its parser. Plain data; nothing here renders.
#pragma once

#include <istream>
#include <map>
#include <string>
#include <vector>

namespace musicgen {

enum class Wave { Sine, Square, Saw, Triangle, Noise, Kick, Snare, Clap };
enum class FilterMode { Off, LowPass, HighPass, BandPass };

// An attack-decay-sustain-release envelope; times in seconds, levels 0..1.
struct Envelope {
  double attack = 0.005, decay = 0.1, sustain = 0.7, release = 0.1;
};

struct Instrument {
  Wave wave = Wave::Sine;
  Envelope amp;
  double gain = 0.3, pan = 0.0;
  int octave = 0;
  // The filter: cutoff in Hz, moved by `filterAmount` octaves times the
  // filter envelope's level.
  FilterMode filter = FilterMode::Off;
  double cutoff = 1000, resonance = 0.7071;
  Envelope filterEnv{0.0, 0.2, 0.0, 0.2};
  double filterAmount = 0;
  // Unison: `voices` oscillators spread over `detune` cents in all and over
  // `spread` of the stereo field around `pan`.
  int voices = 1;
  double detune = 0, spread = 0.7;
  double delaySend = 0, reverbSend = 0;
  double duck = 0;  // how deep the side-chain trigger ducks it, 0..1
};

struct Note {
  int step = 0;    // start, in steps from the pattern's start
  int length = 1;  // in steps
  int midi = 60;
  double level = 1;  // scales the instrument's gain
};

struct Pattern {
  std::string instrument;
  int steps = 0;
  std::vector<Note> notes;
};

struct Score {
  double tempo = 120;
  int stepsPerBeat = 4;
  double master = 0.8;
  std::map<std::string, Instrument> instruments;
  std::map<std::string, Pattern> patterns;
  struct Play {
    std::vector<std::string> patterns;
    int repeat = 1;
  };
  std::vector<Play> plays;

  double delayBeats = 0.75, delayFeedback = 0.35;
  double reverbSize = 0.6, reverbDamping = 0.4;
  // Instrument whose notes trigger the ducking; empty: every kick instrument.
  std::string sidechain;
  double sidechainRelease = 0.25;
  // Master bus: normalise to `loudness` LUFS when set, limit to `ceiling`
  // dBTP when set (a normalised score without one gets -1).
  bool normalise = false, limit = false;
  double loudness = -14, ceiling = -1;
  float quality = 0.2f;  // Ogg Vorbis quality, -0.1..1
};

struct ParseError {
  int line;
  std::string reason;
};

// Throws ParseError with the 1-based line and a reason.
Score parseScore(std::istream& in);

// Reads and parses the score file at `path`. False with one line
// "PATH:LINE: reason" (or "PATH: cannot open") in `error` when it fails.
bool loadScore(const std::string& path, Score& score, std::string& error);

}  // namespace musicgen
