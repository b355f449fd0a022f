// musicgen: renders a small text score to 44.1 kHz stereo 16-bit PCM and
// writes it as Ogg Vorbis (libvorbisenc) or RIFF WAVE. Deterministic: the
// same score always gives the same file.
//
// Score format, one statement a line, '#' starts a comment:
//   tempo BPM                     beats per minute (default 120)
//   steps N                       steps per beat (default 4)
//   master GAIN                   final gain before clipping (default 0.8)
//   instrument NAME WAVE [key=value ...]
//       WAVE: sine square saw triangle noise kick
//       keys: attack decay sustain release (seconds / level), gain, pan (-1..1),
//             octave (added to every note)
//   pattern NAME INSTRUMENT TOKEN...
//       TOKEN, one step each: a note (C4, F#3, Bb2), '.' rest, '-' hold
//   play PATTERN... [xN]            patterns started together, N times in a row
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "vorbis_encode.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

enum class Wave { Sine, Square, Saw, Triangle, Noise, Kick };

struct Instrument {
  Wave wave = Wave::Sine;
  double attack = 0.005, decay = 0.1, sustain = 0.7, release = 0.1;
  double gain = 0.3, pan = 0.0;
  int octave = 0;
};

struct Note {
  int step = 0;    // start, in steps from the pattern's start
  int length = 1;  // in steps
  int midi = 60;
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
};

struct ParseError {
  int line;
  std::string reason;
};

bool parseNote(const std::string& token, int& midi) {
  static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A..G
  if (token.size() < 2 || token[0] < 'A' || token[0] > 'G') return false;
  int n = base[token[0] - 'A'];
  size_t i = 1;
  if (token[i] == '#') n += 1, ++i;
  else if (token[i] == 'b') n -= 1, ++i;
  if (i >= token.size()) return false;
  char* end = nullptr;
  const long octave = std::strtol(token.c_str() + i, &end, 10);
  if (*end != '\0' || octave < -1 || octave > 9) return false;
  midi = static_cast<int>((octave + 1) * 12 + n);
  return true;
}

bool parseWave(const std::string& word, Wave& wave) {
  static const std::map<std::string, Wave> names = {
      {"sine", Wave::Sine},         {"square", Wave::Square}, {"saw", Wave::Saw},
      {"triangle", Wave::Triangle}, {"noise", Wave::Noise},   {"kick", Wave::Kick}};
  const auto it = names.find(word);
  if (it == names.end()) return false;
  wave = it->second;
  return true;
}

double number(const std::string& text, int line) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v)) throw ParseError{line, "bad number '" + text + "'"};
  return v;
}

void parseInstrument(std::istringstream& in, Score& score, int line) {
  std::string name, waveName, kv;
  in >> name >> waveName;
  Instrument inst;
  if (name.empty() || !parseWave(waveName, inst.wave)) throw ParseError{line, "instrument NAME WAVE expected"};
  while (in >> kv) {
    const size_t eq = kv.find('=');
    if (eq == std::string::npos) throw ParseError{line, "key=value expected, got '" + kv + "'"};
    const std::string key = kv.substr(0, eq);
    const double v = number(kv.substr(eq + 1), line);
    if (key == "attack") inst.attack = v;
    else if (key == "decay") inst.decay = v;
    else if (key == "sustain") inst.sustain = v;
    else if (key == "release") inst.release = v;
    else if (key == "gain") inst.gain = v;
    else if (key == "pan") inst.pan = v;
    else if (key == "octave") inst.octave = static_cast<int>(v);
    else throw ParseError{line, "unknown key '" + key + "'"};
  }
  if (inst.attack < 0 || inst.decay < 0 || inst.release < 0 || inst.pan < -1 || inst.pan > 1) {
    throw ParseError{line, "envelope times must be >= 0 and pan within -1..1"};
  }
  score.instruments[name] = inst;
}

void parsePattern(std::istringstream& in, Score& score, int line) {
  std::string name, instrument, token;
  in >> name >> instrument;
  if (!score.instruments.count(instrument)) throw ParseError{line, "unknown instrument '" + instrument + "'"};
  Pattern p;
  p.instrument = instrument;
  bool holding = false;
  while (in >> token) {
    int midi = 0;
    if (token == ".") {
      holding = false;
    } else if (token == "-") {
      if (holding) ++p.notes.back().length;
    } else if (parseNote(token, midi)) {
      p.notes.push_back(Note{p.steps, 1, midi});
      holding = true;
    } else {
      throw ParseError{line, "bad step '" + token + "'"};
    }
    ++p.steps;
  }
  if (p.steps == 0) throw ParseError{line, "empty pattern"};
  score.patterns[name] = p;
}

Score parseScore(std::istream& in) {
  Score score;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    const size_t hash = text.find('#');
    if (hash != std::string::npos) text.erase(hash);
    std::istringstream words(text);
    std::string keyword;
    if (!(words >> keyword)) continue;
    std::string value;
    if (keyword == "tempo" || keyword == "steps" || keyword == "master") {
      words >> value;
      const double v = number(value, line);
      if (v <= 0) throw ParseError{line, keyword + " must be positive"};
      if (keyword == "tempo") score.tempo = v;
      else if (keyword == "steps") score.stepsPerBeat = static_cast<int>(v);
      else score.master = v;
    } else if (keyword == "instrument") {
      parseInstrument(words, score, line);
    } else if (keyword == "pattern") {
      parsePattern(words, score, line);
    } else if (keyword == "play") {
      Score::Play play;
      while (words >> value) {
        if (value.size() > 1 && value[0] == 'x') {
          play.repeat = static_cast<int>(number(value.substr(1), line));
          if (play.repeat < 1) throw ParseError{line, "repeat count must be >= 1"};
        } else if (!score.patterns.count(value)) {
          throw ParseError{line, "unknown pattern '" + value + "'"};
        } else {
          play.patterns.push_back(value);
        }
      }
      if (play.patterns.empty()) throw ParseError{line, "play needs a pattern"};
      score.plays.push_back(play);
    } else {
      throw ParseError{line, "unknown statement '" + keyword + "'"};
    }
  }
  if (score.plays.empty()) throw ParseError{line, "the score plays nothing"};
  return score;
}

double envelope(const Instrument& inst, double t, double held) {
  auto level = [&inst](double u) {
    if (u < inst.attack) return u / inst.attack;
    u -= inst.attack;
    if (u < inst.decay) return 1.0 + (inst.sustain - 1.0) * (u / inst.decay);
    return inst.sustain;
  };
  if (t < held) return level(t);
  if (inst.release <= 0) return 0.0;
  const double r = 1.0 - (t - held) / inst.release;
  return r > 0 ? level(held) * r : 0.0;
}

// Adds one note to the float stereo mix starting at frame `at`.
void renderNote(const Instrument& inst, const Note& note, double stepSeconds, size_t at,
                std::vector<float>& mix) {
  const double held = note.length * stepSeconds;
  const size_t frames = static_cast<size_t>((held + inst.release) * kRate);
  const double freq = 440.0 * std::pow(2.0, (note.midi + 12 * inst.octave - 69) / 12.0);
  const double left = std::cos((inst.pan + 1) * kPi / 4) * inst.gain;
  const double right = std::sin((inst.pan + 1) * kPi / 4) * inst.gain;
  if (mix.size() < (at + frames) * 2) mix.resize((at + frames) * 2, 0.0f);
  // Noise is seeded by the note's place, so every note sounds the same on every run.
  uint32_t noise = 0x9E3779B9u ^ static_cast<uint32_t>(at);
  double phase = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double s = 0;
    switch (inst.wave) {
      case Wave::Sine: s = std::sin(2 * kPi * phase); break;
      case Wave::Square: s = phase < 0.5 ? 0.8 : -0.8; break;
      case Wave::Saw: s = 2 * phase - 1; break;
      case Wave::Triangle: s = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase; break;
      case Wave::Noise:
        noise = noise * 1664525u + 1013904223u;
        s = static_cast<double>(noise >> 8) / 8388608.0 - 1.0;
        break;
      case Wave::Kick: s = std::sin(2 * kPi * phase) * std::exp(-t * 18); break;
    }
    const double f = inst.wave == Wave::Kick ? 45 + 110 * std::exp(-t * 30) : freq;
    phase += f / kRate;
    phase -= std::floor(phase);
    const double v = s * envelope(inst, t, held);
    mix[(at + i) * 2] += static_cast<float>(v * left);
    mix[(at + i) * 2 + 1] += static_cast<float>(v * right);
  }
}

std::vector<int16_t> renderScore(const Score& score) {
  const double stepSeconds = 60.0 / score.tempo / score.stepsPerBeat;
  std::vector<float> mix;
  int step = 0;
  for (const auto& play : score.plays) {
    int longest = 0;
    for (const auto& name : play.patterns) longest = std::max(longest, score.patterns.at(name).steps);
    for (int r = 0; r < play.repeat; ++r) {
      for (const auto& name : play.patterns) {
        const Pattern& p = score.patterns.at(name);
        const Instrument& inst = score.instruments.at(p.instrument);
        for (const Note& n : p.notes) {
          const auto at = static_cast<size_t>(std::llround((step + n.step) * stepSeconds * kRate));
          renderNote(inst, n, stepSeconds, at, mix);
        }
      }
      step += longest;
    }
  }
  const auto songFrames = static_cast<size_t>(std::llround(step * stepSeconds * kRate));
  mix.resize(std::max(mix.size(), songFrames * 2), 0.0f);
  std::vector<int16_t> pcm(mix.size());
  for (size_t i = 0; i < mix.size(); ++i) {
    const double v = std::max(-1.0, std::min(1.0, mix[i] * score.master));
    pcm[i] = static_cast<int16_t>(std::lrint(v * 32767));
  }
  return pcm;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool writeWave(const std::string& path, const std::vector<int16_t>& pcm) {
  std::vector<uint8_t> out;
  const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(out, 36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, 1);
  put16(out, 2);
  put32(out, kRate);
  put32(out, kRate * 4);
  put16(out, 4);
  put16(out, 16);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, dataBytes);
  for (int16_t s : pcm) put16(out, static_cast<uint16_t>(s));
  return writeBytes(path, out);
}

bool writeOgg(const std::string& path, const std::vector<int16_t>& pcm, float quality) {
  const std::vector<uint8_t> bytes =
      vorbis_encode::encodeOgg(pcm, 2, kRate, quality, "vesper musicgen");
  return !bytes.empty() && writeBytes(path, bytes);
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "usage: musicgen SCORE OUT.ogg|OUT.wav\n"
                 "Renders a score to 44.1 kHz stereo and encodes it (Ogg Vorbis or RIFF WAVE).\n");
    return argc == 2 ? 0 : 1;
  }
  const std::string scorePath = argv[1], outPath = argv[2];
  std::ifstream in(scorePath);
  if (!in) {
    std::fprintf(stderr, "musicgen: %s: cannot open\n", scorePath.c_str());
    return 1;
  }
  Score score;
  try {
    score = parseScore(in);
  } catch (const ParseError& e) {
    std::fprintf(stderr, "musicgen: %s:%d: %s\n", scorePath.c_str(), e.line, e.reason.c_str());
    return 1;
  }
  const std::vector<int16_t> pcm = renderScore(score);
  const bool ok = endsWith(outPath, ".wav") ? writeWave(outPath, pcm) : writeOgg(outPath, pcm, 0.2f);
  if (!ok) {
    std::fprintf(stderr, "musicgen: %s: cannot write\n", outPath.c_str());
    return 1;
  }
  return 0;
}
