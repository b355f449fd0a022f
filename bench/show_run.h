// Playing the sample production in-process for the show benchmarks: the
// pack installed once, the show started on a scripted clock and taken down
// again, at a given size and anti-aliasing.
#pragma once

#include <GL/glew.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "app/managers.h"
#include "demo/custom_textures.h"
#include "demo/demo_clock.h"
#include "demo/demo_manager.h"
#include "demo/post_effects.h"
#include "demo/show_options.h"
#include "files/files.h"
#include "resources/resources.h"

namespace show_bench {

inline bool installProduction(const char* pak, const char* who) {
  std::FILE* fp = std::fopen(pak, "rb");
  if (fp == nullptr) {
    std::fprintf(stderr, "%s: cannot open %s\n", who, pak);
    return false;
  }
  if (const char* e = installPackage(fp)) {
    std::fprintf(stderr, "%s: %s: %s\n", who, pak, e);
    return false;
  }
  return true;
}

// The show without music, drawn at width x height of the current context.
class Show {
 public:
  Show(int width, int height, int samples) {
    glViewport(0, 0, width, height);
    settingsManager& s = settingsManager::instance();
    s.sampleCount = samples;
    s.aspectWidth = 16;
    s.aspectHeight = 9;
    s.screenWidth = width;
    s.screenHeight = height;
    s.lowQuality = false;
  }
  ~Show() {
    if (mStarted) {
      mDemo.terminate();
      cPostEffectManager::instance().terminate();
      customTextureManager::instance().terminate();
      resourceManager::instance().terminate();
    }
  }
  Show(const Show&) = delete;
  Show& operator=(const Show&) = delete;

  // Initialises, loads and skips the loader's fade: true once the first
  // Play frame has been drawn. With `stepMs`, the milliseconds of each of
  // the kStartSteps steps (GL finished after each).
  static constexpr int kStartSteps = 5;
  static constexpr const char* kStepNames[kStartSteps] = {
      "initialise (targets, built-in effects)", "reset", "load and first fade frame", "fade end",
      "first Play frame"};
  bool start(double* stepMs = nullptr) {
    for (int step = 0; step < kStartSteps; ++step) {
      const auto begin = std::chrono::steady_clock::now();
      if (step == 3) mClock.ticks = 1801;
      if (step == 0) {
        ShowOptions options;
        options.clock = &mClock;
        options.playMusic = false;
        mDemo.setShowOptions(options);
      }
      const bool ok = step == 0 ? mDemo.initialize() : mDemo.update();
      if (!ok) return false;
      mStarted = true;
      if (stepMs) {
        glFinish();
        stepMs[step] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
      }
    }
    return mDemo.state() == demoManager::Play;
  }
  bool frame(uint32_t ms) {
    mClock.music = ms;
    return mDemo.update();
  }

 private:
  demoManager& mDemo = demoManager::instance();
  ScriptedClock mClock;
  bool mStarted = false;
};

}  // namespace show_bench
