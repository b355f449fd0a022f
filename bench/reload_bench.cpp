// Rehearsal reload latency: an effect and a texture of a source folder are
// rewritten, and the time from the write to the first frame whose pixels
// show the change is measured (the show runs frame after frame meanwhile,
// as a rehearsal does). Printed against the goal of 300 ms and against the
// time of one unchanged frame measured in the same run. Needs a display
// (Xvfb works); core effects come from the sample production's pack.
#include <GL/glew.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/command_line.h"
#include "app/managers.h"
#include "app/rehearsal.h"
#include "app/rehearsal_folder.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "show_run.h"
#include "model/mqo_text.h"
#include "support/gl_context.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kW = 320;
constexpr int kH = 180;
constexpr int kRounds = 12;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  double median = 0.0, worst = 0.0;
};

Figures figures(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main() {
  testing_support::GlContext gl(kW, kH);
  if (!gl.ok()) {
    std::fprintf(stderr, "reload_bench: no GL context\n");
    return 1;
  }
  if (!show_bench::installProduction(VESPER_BENCH_PACK, "reload_bench")) return 1;
  testing_support::TempDir src;
  rehearsal_testing::writeWallFolder(src);
  openFolder(src.path());
  addFolderDerivation("bmdl", "mqo", deriveBinaryModel);
  std::string reason;
  if (!startRehearsal(src.path(), reason)) {
    std::fprintf(stderr, "reload_bench: %s\n", reason.c_str());
    return 1;
  }
  auto show = std::make_unique<show_bench::Show>(kW, kH, 0);
  if (!show->start()) {
    std::fprintf(stderr, "reload_bench: the show does not start\n");
    return 1;
  }
  uint32_t music = 0;
  auto frame = [&] {
    pollRehearsal();
    show->frame(music += 16);
    return gl.readPixels(kW / 2, kH / 2, 1, 1);
  };
  // Frames until the centre shows `r`, from the write on.
  auto latency = [&](const std::function<void()>& edit, int r) {
    const Clock::time_point start = Clock::now();
    edit();
    while (std::abs(frame()[0] - r) > 1 && msSince(start) < 10000.0) {
    }
    return msSince(start);
  };

  std::vector<double> plain;
  for (int i = 0; i < 60; ++i) {
    const Clock::time_point start = Clock::now();
    frame();
    plain.push_back(msSince(start));
  }
  std::vector<double> effect, texture;
  // A new red every round: no shader cache of the driver answers for the compiler.
  for (int i = 0; i < kRounds; ++i) {
    const int r = 20 + 17 * i;
    effect.push_back(latency(
        [&] {
          rehearsal_testing::save(src, "data/shader/paint.cgfx",
                                  rehearsal_testing::paintEffect("vec4(" + std::to_string(r) + ".0 / 255.0, 1.0, 1.0, 1.0)"));
        },
        r));
  }
  rehearsal_testing::save(src, "data/shader/paint.cgfx",
                          rehearsal_testing::paintEffect(rehearsal_testing::kMaterialColour));
  for (int i = 0; i < kRounds; ++i) {
    const uint8_t r = static_cast<uint8_t>(20 + 17 * i);
    texture.push_back(latency(
        [&] { rehearsal_testing::write(src, "data/texture/t.bmp", render_testing::solidBmp(r, 255, 255)); },
        // The model is red: only the texture's red reaches the screen.
        r));
  }
  stopRehearsal();
  show.reset();

  const Figures f = figures(plain), e = figures(effect), t = figures(texture);
  std::printf("reload_bench: %dx%d, %d rounds each, write to first frame showing the change\n", kW, kH, kRounds);
  std::printf("  unchanged frame   median %7.2f ms  worst %7.2f ms\n", f.median, f.worst);
  for (const auto& [name, x] : {std::pair<const char*, Figures>{"effect", e}, {"texture", t}}) {
    std::printf("  %-8s reload  median %7.2f ms  worst %7.2f ms  = %5.1f frames, %4.2f of the 300 ms goal\n", name,
                x.median, x.worst, x.median / f.median, x.worst / 300.0);
  }
  return e.worst < 300.0 && t.worst < 300.0 ? 0 : 1;
}
