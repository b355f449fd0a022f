// musicgen: renders a small text score to 44.1 kHz stereo 16-bit PCM and
// writes it as Ogg Vorbis (libvorbisenc) or RIFF WAVE. Deterministic: the
// same score always gives the same file. The score format is kFormat just
// below, which `musicgen --help` prints; the synthesis lives in musicgen/.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "musicgen/dsp.h"
#include "musicgen/render.h"
#include "musicgen/score.h"
#include "musicgen/track.h"
#include "tool_version.h"

namespace {

const char kFormat[] = R"(Score format, one statement a line, '#' starts a comment:
  tempo BPM                  beats per minute (default 120)
  steps N                    steps per beat (default 4)
  master GAIN                gain on the whole mix (default 0.8); without
                             loudness or ceiling the result is clipped at 0 dBFS
  instrument NAME WAVE [key=value ...]
    WAVE: sine square saw triangle (pitched; square and saw band-limited),
          noise, kick, snare (noise and a tuned body), clap (three noise
          slaps, then the envelope's tail)
    keys: attack decay sustain release   amplitude envelope (seconds, 0..1)
          gain, pan (-1..1), octave (added to every note)
          filter=lp|hp|bp cutoff=HZ resonance=Q   state-variable filter; Q 0.5..20,
                             0.7071 flat (cutoff alone means lp)
          fattack fdecay fsustain frelease   filter envelope
          famount=OCTAVES    cutoff moves by this many octaves at envelope level 1
          voices=N detune=CENTS spread=0..1  unison (pitched waves): N oscillators
                             over CENTS in all, fanned over SPREAD of the stereo field
          delay=SEND reverb=SEND   send levels (0..1) to the two effects
          duck=AMOUNT        side-chain ducking depth (0..1)
  pattern NAME INSTRUMENT TOKEN...
    TOKEN, one step each: a note (C4, F#3, Bb2) or a chord (A3+C4+E4),
           either with an optional level, 0..4 times the gain (C6:0.5),
           '.' rest, '-' hold
  chain NAME PATTERN... [xN] a pattern made of others played one after
                             another, N times (one instrument throughout)
  play PATTERN... [xN]       patterns started together, N times in a row; the
                             next play starts after the longest
  delay BEATS FEEDBACK       the ping-pong echo's time and feedback (0.75 0.35)
  reverb SIZE DAMPING        the reverb's size and damping, 0..1 (0.6 0.4)
  sidechain INSTRUMENT RELEASE   whose notes duck the duck= instruments and how
                             many seconds they take to come back (default: every
                             kick instrument, 0.25 s); after the instrument
  loudness LUFS              normalise to this integrated loudness (BS.1770)
  ceiling DBTP               limit the true peak (4x oversampled) to this level;
                             -1 when only loudness is given. An Ogg output is
                             decoded and checked: the ceiling holds for it too
  quality Q                  Ogg Vorbis quality, -0.1..1 (default 0.2)
The track lasts as long as its plays, or until the last release ends; effect
tails stop there too, so end with a quiet bar to let them ring.
)";

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
  put32(out, musicgen::kRate);
  put32(out, musicgen::kRate * 4);
  put16(out, 4);
  put16(out, 16);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, dataBytes);
  for (int16_t s : pcm) put16(out, static_cast<uint16_t>(s));
  return writeBytes(path, out);
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "musicgen")) return 0;
  if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
    std::FILE* out = argc == 2 ? stdout : stderr;
    std::fprintf(out,
                 "usage: musicgen SCORE OUT.ogg|OUT.wav\n"
                 "Renders a score to 44.1 kHz stereo and encodes it (Ogg Vorbis or RIFF WAVE).\n");
    if (argc == 2) std::fprintf(out, "\n%s", kFormat);
    return argc == 2 ? 0 : 1;
  }
  const std::string scorePath = argv[1], outPath = argv[2];
  musicgen::Score score;
  std::string error;
  if (!musicgen::loadScore(scorePath, score, error)) {
    std::fprintf(stderr, "musicgen: %s\n", error.c_str());
    return 1;
  }
  bool ok = false;
  if (endsWith(outPath, ".wav")) {
    ok = writeWave(outPath, musicgen::renderScore(score));
  } else {
    const std::vector<uint8_t> ogg = musicgen::encodeTrack(score);
    ok = !ogg.empty() && writeBytes(outPath, ogg);
  }
  if (!ok) {
    std::fprintf(stderr, "musicgen: %s: cannot write\n", outPath.c_str());
    return 1;
  }
  return 0;
}
