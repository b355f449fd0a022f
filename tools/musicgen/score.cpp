#include "score.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace musicgen {
namespace {

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

// A step that sounds: one note or a chord of notes joined by '+' (A3+C4+E4),
// optionally at a level, ':' and a number (C6:0.5).
bool parseChord(const std::string& token, std::vector<int>& midis, double& level) {
  midis.clear();
  level = 1;
  const size_t colon = token.find(':');
  if (colon != std::string::npos) {
    char* end = nullptr;
    const std::string text = token.substr(colon + 1);
    level = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(level >= 0 && level <= 4)) return false;
  }
  const std::string notes = token.substr(0, colon);
  size_t from = 0;
  while (true) {
    const size_t plus = notes.find('+', from);
    int midi = 0;
    if (!parseNote(notes.substr(from, plus - from), midi)) return false;
    midis.push_back(midi);
    if (plus == std::string::npos) return true;
    from = plus + 1;
  }
}

template <typename T>
bool lookUp(const std::map<std::string, T>& names, const std::string& word, T& out) {
  const auto it = names.find(word);
  if (it == names.end()) return false;
  out = it->second;
  return true;
}

double number(const std::string& text, int line) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v)) throw ParseError{line, "bad number '" + text + "'"};
  return v;
}

// The next word of a statement as a number within [lo, hi].
double argument(std::istringstream& in, const std::string& statement, double lo, double hi, int line) {
  std::string word;
  if (!(in >> word)) throw ParseError{line, statement + ": value expected"};
  const double v = number(word, line);
  if (v < lo || v > hi) {
    std::ostringstream reason;
    reason << statement << ": " << word << " is outside " << lo << ".." << hi;
    throw ParseError{line, reason.str()};
  }
  return v;
}

void parseInstrument(std::istringstream& in, Score& score, int line) {
  static const std::map<std::string, Wave> waves = {
      {"sine", Wave::Sine},   {"square", Wave::Square}, {"saw", Wave::Saw},
      {"triangle", Wave::Triangle}, {"noise", Wave::Noise}, {"kick", Wave::Kick},
      {"snare", Wave::Snare}, {"clap", Wave::Clap}};
  static const std::map<std::string, FilterMode> modes = {
      {"lp", FilterMode::LowPass}, {"hp", FilterMode::HighPass}, {"bp", FilterMode::BandPass}};
  std::string name, waveName, kv;
  in >> name >> waveName;
  Instrument inst;
  if (name.empty() || !lookUp(waves, waveName, inst.wave)) throw ParseError{line, "instrument NAME WAVE expected"};
  bool hasCutoff = false;
  while (in >> kv) {
    const size_t eq = kv.find('=');
    if (eq == std::string::npos) throw ParseError{line, "key=value expected, got '" + kv + "'"};
    const std::string key = kv.substr(0, eq), text = kv.substr(eq + 1);
    if (key == "filter") {
      if (!lookUp(modes, text, inst.filter)) throw ParseError{line, "filter must be lp, hp or bp"};
      continue;
    }
    const double v = number(text, line);
    // Each key with the field it sets and its allowed range.
    struct Key {
      const char* name;
      double* field;
      double lo, hi;
    };
    double voices = inst.voices, octave = inst.octave;
    const Key keys[] = {
        {"attack", &inst.amp.attack, 0, 60},          {"decay", &inst.amp.decay, 0, 60},
        {"sustain", &inst.amp.sustain, 0, 1},          {"release", &inst.amp.release, 0, 60},
        {"gain", &inst.gain, 0, 10},                   {"pan", &inst.pan, -1, 1},
        {"octave", &octave, -8, 8},                    {"cutoff", &inst.cutoff, 20, 20000},
        {"resonance", &inst.resonance, 0.5, 20},       {"fattack", &inst.filterEnv.attack, 0, 60},
        {"fdecay", &inst.filterEnv.decay, 0, 60},      {"fsustain", &inst.filterEnv.sustain, 0, 1},
        {"frelease", &inst.filterEnv.release, 0, 60},  {"famount", &inst.filterAmount, -8, 8},
        {"voices", &voices, 1, 16},                    {"detune", &inst.detune, 0, 1200},
        {"spread", &inst.spread, 0, 1},                {"delay", &inst.delaySend, 0, 1},
        {"reverb", &inst.reverbSend, 0, 1},            {"duck", &inst.duck, 0, 1}};
    const Key* found = nullptr;
    for (const Key& k : keys) {
      if (key == k.name) found = &k;
    }
    if (!found) throw ParseError{line, "unknown key '" + key + "'"};
    if (v < found->lo || v > found->hi) {
      // Negative envelope times and a pan out of range share one message.
      if (key == "pan" || (v < 0 && (key == "attack" || key == "decay" || key == "release"))) {
        throw ParseError{line, "envelope times must be >= 0 and pan within -1..1"};
      }
      std::ostringstream reason;
      reason << key << "=" << text << " is outside " << found->lo << ".." << found->hi;
      throw ParseError{line, reason.str()};
    }
    *found->field = v;
    inst.voices = static_cast<int>(voices);
    inst.octave = static_cast<int>(octave);
    if (key == "cutoff") hasCutoff = true;
  }
  if (hasCutoff && inst.filter == FilterMode::Off) inst.filter = FilterMode::LowPass;
  score.instruments[name] = inst;
}

void parsePattern(std::istringstream& in, Score& score, int line) {
  std::string name, instrument, token;
  in >> name >> instrument;
  if (!score.instruments.count(instrument)) throw ParseError{line, "unknown instrument '" + instrument + "'"};
  Pattern p;
  p.instrument = instrument;
  size_t chordSize = 0;  // notes the last step started and '-' still holds
  std::vector<int> midis;
  double level = 1;
  while (in >> token) {
    if (token == ".") {
      chordSize = 0;
    } else if (token == "-") {
      for (size_t i = p.notes.size() - chordSize; i < p.notes.size(); ++i) ++p.notes[i].length;
    } else if (parseChord(token, midis, level)) {
      for (int midi : midis) p.notes.push_back(Note{p.steps, 1, midi, level});
      chordSize = midis.size();
    } else {
      throw ParseError{line, "bad step '" + token + "'"};
    }
    ++p.steps;
  }
  if (p.steps == 0) throw ParseError{line, "empty pattern"};
  score.patterns[name] = p;
}

// Reads PATTERN... [xN], the tail of both play and chain.
void parsePatternList(std::istringstream& in, const Score& score, int line,
                      std::vector<std::string>& patterns, int& repeat) {
  std::string value;
  while (in >> value) {
    if (value.size() > 1 && value[0] == 'x') {
      repeat = static_cast<int>(number(value.substr(1), line));
      if (repeat < 1) throw ParseError{line, "repeat count must be >= 1"};
    } else if (!score.patterns.count(value)) {
      throw ParseError{line, "unknown pattern '" + value + "'"};
    } else {
      patterns.push_back(value);
    }
  }
}

void parsePlay(std::istringstream& in, Score& score, int line) {
  Score::Play play;
  parsePatternList(in, score, line, play.patterns, play.repeat);
  if (play.patterns.empty()) throw ParseError{line, "play needs a pattern"};
  score.plays.push_back(play);
}

void parseChain(std::istringstream& in, Score& score, int line) {
  std::string name;
  in >> name;
  std::vector<std::string> parts;
  int repeat = 1;
  parsePatternList(in, score, line, parts, repeat);
  if (parts.empty()) throw ParseError{line, "chain needs a pattern"};
  Pattern chain;
  chain.instrument = score.patterns.at(parts[0]).instrument;
  for (int r = 0; r < repeat; ++r) {
    for (const std::string& part : parts) {
      const Pattern& p = score.patterns.at(part);
      if (p.instrument != chain.instrument) throw ParseError{line, "chain parts must share one instrument"};
      for (Note n : p.notes) {
        n.step += chain.steps;
        chain.notes.push_back(n);
      }
      chain.steps += p.steps;
    }
  }
  score.patterns[name] = chain;
}

}  // namespace

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
    if (keyword == "tempo" || keyword == "steps" || keyword == "master") {
      std::string value;
      words >> value;
      const double v = number(value, line);
      if (v <= 0) throw ParseError{line, keyword + " must be positive"};
      if (keyword == "steps" && v != std::floor(v)) throw ParseError{line, "steps must be a whole number"};
      if (keyword == "tempo") score.tempo = v;
      else if (keyword == "steps") score.stepsPerBeat = static_cast<int>(v);
      else score.master = v;
    } else if (keyword == "instrument") {
      parseInstrument(words, score, line);
    } else if (keyword == "pattern") {
      parsePattern(words, score, line);
    } else if (keyword == "play") {
      parsePlay(words, score, line);
    } else if (keyword == "chain") {
      parseChain(words, score, line);
    } else if (keyword == "delay") {
      score.delayBeats = argument(words, keyword, 0.0625, 4, line);
      score.delayFeedback = argument(words, keyword, 0, 0.95, line);
    } else if (keyword == "reverb") {
      score.reverbSize = argument(words, keyword, 0, 1, line);
      score.reverbDamping = argument(words, keyword, 0, 1, line);
    } else if (keyword == "sidechain") {
      words >> score.sidechain;
      if (!score.instruments.count(score.sidechain)) {
        throw ParseError{line, "unknown instrument '" + score.sidechain + "'"};
      }
      score.sidechainRelease = argument(words, keyword, 0.01, 4, line);
    } else if (keyword == "loudness") {
      score.normalise = true;
      score.loudness = argument(words, keyword, -60, 0, line);
    } else if (keyword == "quality") {
      score.quality = static_cast<float>(argument(words, keyword, -0.1, 1, line));
    } else if (keyword == "ceiling") {
      score.limit = true;
      score.ceiling = argument(words, keyword, -20, 0, line);
    } else {
      throw ParseError{line, "unknown statement '" + keyword + "'"};
    }
    std::string extra;
    if (keyword != "instrument" && keyword != "pattern" && keyword != "play" &&
        keyword != "chain" && words >> extra) {
      throw ParseError{line, "unexpected '" + extra + "'"};
    }
  }
  if (score.plays.empty()) throw ParseError{line, "the score plays nothing"};
  // The whole track is held in memory, so its length is bounded.
  double steps = 0;
  for (const Score::Play& play : score.plays) {
    int longest = 0;
    for (const std::string& name : play.patterns) longest = std::max(longest, score.patterns.at(name).steps);
    steps += static_cast<double>(longest) * play.repeat;
  }
  if (steps * 60 / score.tempo / score.stepsPerBeat > 3600) throw ParseError{line, "the track would last over an hour"};
  if (score.normalise) score.limit = true;
  return score;
}

bool loadScore(const std::string& path, Score& score, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot open";
    return false;
  }
  try {
    score = parseScore(in);
  } catch (const ParseError& e) {
    error = path + ":" + std::to_string(e.line) + ": " + e.reason;
    return false;
  }
  return true;
}

}  // namespace musicgen
