// The player on broken copies of a small production: each fault ends the run
// with its own exact message and exit status, within a time limit and
// without a crash or a sanitizer report (either would change both).
// A row names the fault and edits the production before the run.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/core.h"
#include "files/files.h"
#include "support/support.h"

namespace {

using testing_support::bytes;
using testing_support::runCommand;
using testing_support::TempDir;

// A production as the player finds it: the pack's entries, edits to the
// packed bytes, the music file and the run's extra environment.
struct Production {
  std::vector<PackSource> entries;
  bool packPresent = true;
  std::function<void(std::vector<uint8_t>&)> editPack;
  std::optional<std::vector<uint8_t>> music;
  std::string env;
};

void put32(std::vector<uint8_t>& data, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) data.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// Pack layout: 16-byte header (version at 8, entry count at 12), then
// 264-byte entries (name, offset at 256, size at 260).
constexpr size_t kFirstEntrySize = 16 + 260;

// A RIFF WAVE of 16-bit stereo 44.1 kHz silence whose data chunk claims
// `claimed` bytes while `real` follow.
std::vector<uint8_t> wave(uint32_t claimed, uint32_t real) {
  std::vector<uint8_t> w(44 + real, 0);
  std::memcpy(&w[0], "RIFF", 4);
  put32(w, 4, 36 + claimed);
  std::memcpy(&w[8], "WAVEfmt ", 8);
  put32(w, 16, 16);
  put32(w, 20, 1 | 2u << 16);  // PCM, two channels
  put32(w, 24, 44100);
  put32(w, 28, 44100 * 4);
  put32(w, 32, 4 | 16u << 16);  // block of 4 bytes, 16 bits a sample
  std::memcpy(&w[36], "data", 4);
  put32(w, 40, claimed);
  return w;
}

// One second of music, made once.
const std::vector<uint8_t>& music() {
  static const std::vector<uint8_t> ogg = [] {
    TempDir dir;
    testing_support::writeFile(dir.file("score.txt"), bytes("tempo 120\n"
                                                            "instrument lead sine attack=0 release=0.02\n"
                                                            "pattern a lead C4 - - - E4 - - .\n"
                                                            "play a\n"));
    const auto r = runCommand(testing_support::builtProgram("musicgen") + " " + dir.file("score.txt") +
                              " " + dir.file("music.ogg"));
    EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
    return testing_support::readFile(dir.file("music.ogg"));
  }();
  return ogg;
}

struct Fault {
  const char* name;
  std::function<void(Production&)> apply;
  int status;
  std::string stdErr;
};

std::string line(const char* text) { return std::string(text) + "\n"; }

// A track no decoder takes: the player's message box (on stderr with an
// empty caption), then the one-line reason.
const std::string kUnreadableMusic =
    ": Sound::music.ogg\u306e\u8aad\u307f\u53d6\u308a\u30a4\u30f3\u30bf\u30fc\u30d5\u30a7\u30a4\u30b9"
    "\u53d6\u5f97\u306b\u5931\u6557.\n"
    "\u30d5\u30a1\u30a4\u30eb\u304c\u5b58\u5728\u3059\u308b\u304b\u3082\u3057\u304f\u306f\u5bfe"
    "\u5fdc\u5f62\u5f0f\u304b\u78ba\u8a8d\u3057\u3066\u4e0b\u3055\u3044.\n"
    "vesper: music.ogg is missing or neither RIFF WAVE nor Ogg Vorbis\n";

TEST(FaultMatrix, EachFaultEndsWithItsMessageAndStatus) {
  ASSERT_FALSE(music().empty());
  const std::vector<Fault> faults = {
      {"pack missing", [](Production& p) { p.packPresent = false; }, 3, line(critical::kPackOpen)},
      {"pack header truncated",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { d.resize(6); }; }, 3,
       line(critical::kPackHeader)},
      {"pack of another version",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, 8, 2); }; }, 3,
       line(critical::kPackVersion)},
      {"pack table beyond the file",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, 12, 1000); }; }, 3,
       line(critical::kPackEntries)},
      {"pack entry beyond the file",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, kFirstEntrySize, 1u << 30); }; },
       0, ""},
      {"music missing", [](Production& p) { p.music.reset(); }, 1, kUnreadableMusic},
      {"music truncated", [](Production& p) { p.music->resize(p.music->size() / 2); }, 1, kUnreadableMusic},
      {"music a WAVE with a lying chunk size", [](Production& p) { p.music = wave(1u << 30, 44100); }, 1,
       kUnreadableMusic},
      {"no audio device", [](Production& p) { p.env = "SDL_AUDIODRIVER=none"; }, 1,
       "vesper: no sound device (Audio target 'none' not available); set SDL_AUDIODRIVER=dummy to play "
       "without sound\n"},
      {"no OpenGL 2.0", [](Production& p) { p.env = "MESA_GL_VERSION_OVERRIDE=1.5"; }, 3,
       line(critical::kNoOpenGL20)},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    Production p;
    p.entries = {{"data\\credits.txt", bytes("a small production")}};
    p.music = music();
    fault.apply(p);

    TempDir dir;
    if (p.packPresent) {
      testing_support::makePack(dir.file("vesper.pak"), p.entries);
      if (p.editPack) {
        std::vector<uint8_t> pack = testing_support::readFile(dir.file("vesper.pak"));
        p.editPack(pack);
        testing_support::writeFile(dir.file("vesper.pak"), pack);
      }
    }
    if (p.music) testing_support::writeFile(dir.file("music.ogg"), *p.music);
    // A hang is killed and shows as status 137.
    const auto r = runCommand("env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy " + p.env +
                              " timeout -s KILL 120 " + testing_support::builtProgram("vesper") +
                              " --run --headless --windowed --resolution 320x180 --data '" + dir.path() + "'");
    EXPECT_EQ(r.exitStatus, fault.status);
    EXPECT_EQ(r.stdErr, fault.stdErr);
  }
}

}  // namespace
