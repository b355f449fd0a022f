// The player on Wayland. A private Weston runs on the test's own Xvfb through
// its X11 backend, which gives the compositor an output and a seat (SDL needs
// both); keys go in through that X window. The player takes Wayland only when
// SDL_VIDEODRIVER names it, refuses a compositor without a seat, and on
// Wayland plays from the launcher to Escape and reads its frames back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/fixtures.h"
#include "texture/decode.h"
#include "texture/texture.h"

namespace {

using testing_support::PrivateDisplay;
using testing_support::runCommand;
using testing_support::TempDir;

// Starts Weston with `backend` on socket "vesper-wl" in a private runtime
// directory, in the shell, and stops it (with its helper clients) on exit.
// The X11 backend's window is given the X keyboard focus, so keys pressed
// with xdotool reach the compositor's seat.
std::string westonPrologue(const TempDir& dir, const std::string& backend) {
  return "cd '" + dir.path() + "' || exit 99\n"
         "export XDG_RUNTIME_DIR='" + dir.path() + "/run'\n"
         "mkdir -m 700 \"$XDG_RUNTIME_DIR\" || exit 99\n"
         "env -u XDG_DATA_HOME -u XDG_DATA_DIRS weston --no-config --backend=" + backend +
         " --socket=vesper-wl --idle-time=0 --width=1024 --height=640 > weston.log 2>&1 &\n"
         "weston=$!\n"
         "trap 'kill $weston; wait $weston' EXIT\n"
         "timeout 60 sh -c 'until [ -S \"$XDG_RUNTIME_DIR/vesper-wl\" ]; do sleep 0.05; done' "
         "|| { echo noweston; cat weston.log; exit 98; }\n"
         "export WAYLAND_DISPLAY=vesper-wl\n"
         "vesper='" + testing_support::builtProgram("vesper") + "'\n";
}

const char* const kFocusWestonWindow =
    "for i in $(seq 600); do\n"
    "  wid=$(xdotool search --class '^Weston Compositor$' 2>/dev/null | head -1)\n"
    "  [ -n \"$wid\" ] && break; sleep 0.05\n"
    "done\n"
    "[ -n \"$wid\" ] || { echo nowestonwindow; exit 97; }\n"
    "xdotool windowfocus --sync $wid\n";

// Waits until the player's protocol trace (run.log) shows `pattern` `n` times.
const char* const kTraceWait =
    "seen() { timeout 60 sh -c \"until [ \\$(grep -c '$1' run.log) -ge $2 ]; do sleep 0.05; "
    "done\"; }\n";

class Wayland : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display.ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
    if (runCommand("command -v weston").exitStatus != 0) SKIP_WITHOUT_DISPLAY("weston is missing");
    for (const char* name : {"vesper.pak", "music.ogg"}) {
      ASSERT_EQ(runCommand("cp '" + std::string(VESPER_TEST_PRODUCTION_DIR) + "/" + name + "' '" + dir.path() + "/'").exitStatus, 0);
    }
  }
  PrivateDisplay display{false};
  TempDir dir;
};

// Decoded frame `f` of a capture in `where`; empty on failure.
texture_decode::TexturePtr frame(const std::string& where, int f) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%06d.png", f);
  const std::vector<uint8_t> file = testing_support::readFile(where + name);
  std::string reason;
  textureManager& t = textureManager::instance();
  const bool saved = t.nonPowerOfTwo();
  t.setNonPowerOfTwo(true);
  auto tex = texture_decode::decodePng(file.data(), file.size(), reason);
  t.setNonPowerOfTwo(saved);
  EXPECT_TRUE(tex) << where << name << ": " << reason;
  return tex;
}

TEST_F(Wayland, NamedItPlaysFromTheLauncherToEscapeAndReadsFramesBack) {
  const std::string script =
      westonPrologue(dir, "x11-backend.so") + kFocusWestonWindow +
      // Not named: the player keeps to X11 and, without an X display, says so.
      "env -u DISPLAY \"$vesper\" --capture none --fps 10 --to 100 2> unnamed.err\n"
      "echo unnamed=$?\n"
      "export SDL_VIDEODRIVER=wayland\n"
      "\"$vesper\" --capture wl --fps 10 --from 2000 --to 2200 --resolution 320x180 2> /dev/null\n"
      "echo wlcapture=$?\n"
      "\"$vesper\" --headless --capture off --fps 10 --from 2000 --to 2200 --resolution 320x180 2> /dev/null\n"
      "echo offcapture=$?\n"
      // The launcher, with its preselection for this desktop (full screen).
      // Stopped (status 124) well before the two-minute show would end by
      // itself, should the Escapes be lost.
      "WAYLAND_DEBUG=1 timeout 90 \"$vesper\" 2> run.log &\n"
      "pid=$!\n" + kTraceWait +
      "seen 'wl_keyboard@[0-9]*\\.enter(' 1 || { kill $pid; echo nolauncher; exit 96; }\n"
      // The dialog misses an Enter pressed and released between two of its
      // frames: the key stays down until the show's window exists.
      "xdotool keydown Return\n"
      "seen 'set_title(\"Vesper\")' 1 || { kill $pid; echo norun; exit 95; }\n"
      "xdotool keyup Return\n"
      "seen 'wl_keyboard@[0-9]*\\.enter(' 2 || { kill $pid; echo noshowfocus; exit 94; }\n"
      "kill -0 $pid && echo showing\n"
      "xdotool key Escape key Escape\n"
      "wait $pid\n"
      "echo status=$?\n"
      // The player's own lines, without the protocol trace.
      "grep -v '^\\[' run.log\n";
  const auto r = runCommand(script);
  EXPECT_NE(r.stdOut.find("unnamed=1\n"), std::string::npos) << r.stdOut;
  const std::vector<uint8_t> unnamed = testing_support::readFile(dir.file("unnamed.err"));
  EXPECT_EQ(std::string(unnamed.begin(), unnamed.end()),
            "vesper: no display (set DISPLAY, or run with --headless)\n");
  EXPECT_NE(r.stdOut.find("wlcapture=0\n"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("offcapture=0\n"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("showing\nstatus=0\n"
                          "vesper: on Wayland full screen keeps the desktop mode (the compositor "
                          "scales the picture) and gamma is left alone\n"),
            std::string::npos)
      << r.stdOut << r.stdErr;

  // The frame read back from the Wayland window is the show's picture: the
  // offscreen one within rounding, not a blank or stale buffer.
  const auto wl = frame(dir.file("wl"), 1);
  const auto off = frame(dir.file("off"), 1);
  ASSERT_TRUE(wl && off);
  ASSERT_EQ(wl->width(), 320u);
  ASSERT_EQ(wl->height(), 180u);
  ASSERT_EQ(off->width(), 320u);
  ASSERT_EQ(off->height(), 180u);
  const size_t bytes = 320u * 180u * 4u;
  uint64_t difference = 0, lit = 0;
  for (size_t i = 0; i < bytes; ++i) {
    if (i % 4 == 3) continue;
    difference += static_cast<uint64_t>(std::abs(wl->pixels()[i] - off->pixels()[i]));
    lit += wl->pixels()[i] > 32;
  }
  EXPECT_GT(lit, bytes / 20) << "the frame is (nearly) black";
  EXPECT_LT(difference, bytes / 4 * 3 * 8) << "mean difference from the offscreen frame >= 8";
}

TEST_F(Wayland, ACompositorWithoutASeatIsRefusedWithAReason) {
  // Weston's headless backend announces no wl_seat; SDL 2.26 crashes there.
  const std::string script = westonPrologue(dir, "headless-backend.so") +
                             "SDL_VIDEODRIVER=wayland \"$vesper\" --run\n"
                             "echo status=$?\n";
  const auto r = runCommand(script);
  EXPECT_NE(r.stdOut.find("status=1\n"), std::string::npos) << r.stdOut;
  EXPECT_EQ(r.stdErr,
            "vesper: the Wayland compositor offers no seat, which SDL needs (unset "
            "SDL_VIDEODRIVER to use X11)\n");
}

}  // namespace
