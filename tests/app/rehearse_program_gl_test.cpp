// `vesper --data SRC --rehearse` as a user runs it, on a private X display:
// the window opens, a saved model shows, a broken effect is reported and
// survived, and Escape twice ends the program with status 0.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <array>
#include <string>

#include "app/fixtures.h"
#include "app/rehearsal_folder.h"
#include "platform/platform.h"

// Last: Xlib's macros would rename what the headers above declare.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace rehearsal_testing;
using testing_support::runCommand;
using testing_support::TempDir;

// Polls `done` until it answers true or `ms` pass; a bound, not a pause.
template <class Done>
bool within(int ms, Done done) {
  const uint32_t end = platform::ticksMs() + static_cast<uint32_t>(ms);
  while (!done()) {
    if (static_cast<int32_t>(end - platform::ticksMs()) < 0) return false;
    platform::sleepMs(20);
  }
  return true;
}

// A window that went (a probe window the program opened and closed) is no
// reason to end the test: the request just reads nothing.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

std::array<int, 3> windowPixel(Display* display, unsigned long window, int x, int y) {
  XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  XSync(display, False);
  if (image == nullptr) return {-1, -1, -1};
  const unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return {static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)};
}

std::string text(const std::string& path) {
  const std::vector<uint8_t> bytes = testing_support::readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

class RehearseProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display.ok()) SKIP_WITHOUT_DISPLAY("cannot start a private display");
  }
  testing_support::PrivateDisplay display{false};
};

TEST_F(RehearseProgram, ShowsAnEditSurvivesABrokenEffectAndEndsOnEscapeTwice) {
  TempDir src, cache;
  writeWallFolder(src);
  write(src, "score.txt", std::string("tempo 120\ninstrument a sine\npattern p a C4 - - -\nplay p x60\n"));
  const std::string errors = cache.file("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    const std::string vesper = testing_support::builtProgram("vesper");
    execl(vesper.c_str(), vesper.c_str(), "--data", src.path().c_str(), "--rehearse", "--run", "--windowed",
          "--resolution", "320x180", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  const std::string pidText = std::to_string(pid);
  const std::string findWindow = "for i in $(seq 600); do\n"
                                 "  wid=$(xdotool search --onlyvisible --pid " + pidText +
                                 " --name '^Vesper$' 2>/dev/null | tail -1)\n"
                                 "  [ -n \"$wid\" ] && { echo $wid; exit 0; }; sleep 0.05\n"
                                 "done\nexit 1\n";
  auto found = runCommand(findWindow);
  ASSERT_EQ(found.exitStatus, 0) << text(errors);
  unsigned long window = std::stoul(found.stdOut);
  XSetErrorHandler(ignoreXError);
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(x, nullptr);
  auto centreIs = [&](int r, int g, int b) {
    std::array<int, 3> p = windowPixel(x, window, 160, 90);
    if (p[0] < 0 && (found = runCommand(findWindow)).exitStatus == 0) window = std::stoul(found.stdOut);
    return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
  };
  // Loading, the loader fade, then the red square.
  EXPECT_TRUE(within(60000, [&] { return centreIs(255, 0, 0); })) << text(errors);

  save(src, "data/model/m.mqo", squareMqo("0 1 0 1"));
  EXPECT_TRUE(within(5000, [&] { return centreIs(0, 255, 0); })) << "the model edit\n" << text(errors);

  save(src, "data/shader/paint.cgfx", paintEffect("vec4(undeclaredName, 1.0)"));
  const std::string where = src.file("data/shader/paint.cgfx") + ":7: ";
  EXPECT_TRUE(within(5000, [&] { return text(errors).find(where) != std::string::npos; })) << text(errors);
  EXPECT_TRUE(centreIs(0, 255, 0)) << "the last good effect";
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the broken effect ended the rehearsal";

  runCommand("xdotool windowfocus --sync " + std::to_string(window) + " key Escape key Escape");
  int status = -1;
  EXPECT_TRUE(within(30000, [&] { return waitpid(pid, &status, WNOHANG) == pid; }));
  XCloseDisplay(x);
  if (status == -1) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << text(errors);
}

}  // namespace
