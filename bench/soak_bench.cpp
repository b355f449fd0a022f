// Soak: the whole program (--run --loop, offscreen, SDL's dummy audio
// driver) over a production with a 20-second track, loop after loop. Per
// loop it prints the resident memory at the loop's end, the GL errors seen
// (glGetError after every frame, and the KHR_debug error messages where the
// driver has them) and the drift of the show's music clock against the
// samples the device has played (how far the device's lead moves). Fails (status 1) when the memory
// grows by more than 1 MiB after the first loop, on any GL error, or when a
// later loop's clock drifts more than twice the first one's plus 1 s.
// Usage: soak_bench [LOOPS] (default 20)
#include <GL/glew.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/managers.h"
#include "demo/demo_manager.h"
#include "demo/show_options.h"
#include "platform/platform.h"
#include "platform/sound_output.h"
#include "sound/sound.h"

namespace {

constexpr double kGrowthLimitKiB = 1024.0;
// SDL's dummy driver paces itself with sleeps, so on a loaded machine its
// lead wanders by seconds in a loop (1.7 to 3.8 s over 20 loops at a load of
// 14 on 2 cores); the bound catches drift that builds up from loop to loop,
// not that wander.
constexpr double kDriftFactor = 2.0;
constexpr double kDriftSlackMs = 1000.0;

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

unsigned gDebugErrors = 0;

void GLAPIENTRY onDebugMessage(GLenum, GLenum type, GLuint, GLenum, GLsizei, const GLchar* message,
                               const void*) {
  if (type != GL_DEBUG_TYPE_ERROR) return;
  if (gDebugErrors++ < 5) std::fprintf(stderr, "GL: %s\n", message);
}

// The sample production's pack with a 20-second track (musicgen, 125 BPM, a
// 1920 ms bar played ten and a half times): its opening scenes, post effects
// and loading run loop after loop.
bool makeProduction(const std::string& dir) {
  const std::string copy = std::string("cp '") + VESPER_SAMPLE_PACK + "' " + dir + "/vesper.pak";
  if (std::system(copy.c_str()) != 0) {
    std::fprintf(stderr, "soak_bench: cannot copy %s\n", VESPER_SAMPLE_PACK);
    return false;
  }
  std::ofstream score(dir + "/score.txt");
  score << "tempo 125\nsteps 4\n"
           "instrument lead sine attack=0.01 release=0.05\n"
           "pattern a lead A4 - C5 - E5 - C5 - A4 - - - E4 - - -\n"
           "pattern b lead A4 - - - - - - -\n";
  for (int i = 0; i < 10; ++i) score << "play a\n";
  score << "play b\n";
  score.close();
  const std::string command = std::string(VESPER_MUSICGEN) + " " + dir + "/score.txt " + dir + "/music.ogg";
  return std::system(command.c_str()) == 0;
}

struct Loop {
  long residentKiB = 0;
  unsigned glErrors = 0;
  double maxDriftMs = 0.0;
  double minLeadMs = 0.0;
  double maxLeadMs = 0.0;
  bool sampled = false;
  uint32_t frames = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int loops = argc > 1 ? std::atoi(argv[1]) : 20;
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  char dirTemplate[] = "/tmp/vesper-soak-XXXXXX";
  if (loops < 2 || !mkdtemp(dirTemplate) || !makeProduction(dirTemplate) || chdir(dirTemplate) != 0) {
    std::fprintf(stderr, "soak_bench: needs LOOPS >= 2 and a production\n");
    return 2;
  }
  platform::setMessageBoxesEnabled(false);
  LaunchOptions& o = settingsManager::instance().options;
  o.skipLauncher = o.headless = o.offscreen = o.windowed = o.loop = o.noVSync = true;
  o.resolution = Resolution{320, 180};
  ShowOptions show;
  show.loop = true;
  demoManager::instance().setShowOptions(show);
  if (!initializeAll()) {
    abandonStartup();
    return 2;
  }
  if (GLEW_KHR_debug) {
    glEnable(GL_DEBUG_OUTPUT);
    glDebugMessageCallback(onDebugMessage, nullptr);
  }
  const FrameManagers managers = engineFrameManagers();
  demoManager& demo = demoManager::instance();

  std::vector<Loop> done;
  Loop current;
  uint32_t lastMusicMs = 0;
  bool playing = false;
  uint64_t framesAtStart = 0;
  while (static_cast<int>(done.size()) < loops) {
    if (!runFrame(managers)) break;
    while (GLenum e = glGetError()) {
      if (current.glErrors++ < 5) std::fprintf(stderr, "GL error 0x%04x\n", e);
    }
    current.glErrors += gDebugErrors;
    gDebugErrors = 0;
    ++current.frames;
    if (demo.state() != demoManager::Play) continue;
    const SoundPlayer* player = demo.sound() ? demo.sound()->getPlayer() : nullptr;
    const uint64_t played = player && player->buffer() ? player->buffer()->framesPlayed() : 0;
    const uint32_t musicMs = demo.musicTime();
    // The music time falls back to 0 as the next loop starts.
    if (playing && musicMs < lastMusicMs) {
      current.residentKiB = residentKiB();
      done.push_back(current);
      current = Loop{};
      playing = false;
    }
    if (!playing) {
      playing = true;
      framesAtStart = played;
    }
    lastMusicMs = musicMs;
    const double deviceMs = static_cast<double>(played - framesAtStart) * 1000.0 / platform::kOutputRate;
    // The device runs ahead by its buffering; the drift is how far that lead moves.
    const double lead = deviceMs - musicMs;
    current.minLeadMs = !current.sampled ? lead : std::min(current.minLeadMs, lead);
    current.maxLeadMs = !current.sampled ? lead : std::max(current.maxLeadMs, lead);
    current.sampled = true;
    current.maxDriftMs = current.maxLeadMs - current.minLeadMs;
  }
  terminateAll();

  bool ok = static_cast<int>(done.size()) == loops;
  std::printf("loop  frames  resident KiB  growth KiB  GL errors  max drift ms\n");
  for (size_t i = 0; i < done.size(); ++i) {
    const Loop& l = done[i];
    const double growth = static_cast<double>(l.residentKiB - done[0].residentKiB);
    std::printf("%4zu  %6u  %12ld  %10.0f  %9u  %12.1f\n", i + 1, l.frames, l.residentKiB, growth,
                l.glErrors, l.maxDriftMs);
    ok = ok && growth <= kGrowthLimitKiB && l.glErrors == 0 &&
         l.maxDriftMs <= done[0].maxDriftMs * kDriftFactor + kDriftSlackMs;
  }
  std::printf("%s\n", ok ? "soak: ok" : "soak: FAILED");
  const std::string cleanup = std::string("rm -rf ") + dirTemplate;
  std::system(cleanup.c_str());
  return ok ? 0 : 1;
}
