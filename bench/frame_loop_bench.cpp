// Frames per second of the engine's frame driver with nothing to draw
// (clear, command list, swap; vsync off) at 640x360, against a bare SDL + GL
// loop doing the same clear and swap, in the same run. Also counts heap
// allocations on the engine's per-frame path. Needs a display (Xvfb works).
#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/managers.h"
#include "support/allocation_counter.h"
#include "platform/window.h"
#include "render/render.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

// The show's stand-in: clears the frame and keeps going.
class ClearingDemo final : public InterfaceBase {
 public:
  bool update() override {
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return true;
  }
  const CoreRuntimeClass* getRuntimeClass() const override { return &InterfaceBase::dynamicClass(); }
};

double seconds(uint64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(SDL_GetPerformanceFrequency());
}

double engineFps(int frames, size_t& allocations) {
  static ClearingDemo demo;
  const FrameManagers m{&profileManager::instance(), &flagManager::instance(),
                        &systemManager::instance(), &rendererManager::instance(), &demo};
  for (int i = 0; i < 50; ++i) runFrame(m);  // warm-up: driver caches
  const size_t before = testing_support::allocationCount();
  const uint64_t start = SDL_GetPerformanceCounter();
  for (int i = 0; i < frames; ++i) runFrame(m);
  glFinish();
  const double s = seconds(SDL_GetPerformanceCounter() - start);
  allocations = testing_support::allocationCount() - before;
  return frames / s;
}

double bareFps(SDL_Window* window, int frames) {
  for (int i = 0; i < 50; ++i) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
  }
  const uint64_t start = SDL_GetPerformanceCounter();
  for (int i = 0; i < frames; ++i) {
    glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
  }
  glFinish();
  return frames / seconds(SDL_GetPerformanceCounter() - start);
}

}  // namespace


int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 1500;
  std::string reason;
  if (!platform::initVideo(true, reason)) {
    std::fprintf(stderr, "frame_loop_bench: %s\n", reason.c_str());
    return 1;
  }
  rendererManager::instance().checkCapabilities();

  // The engine's window, context and managers.
  CWindowGL engineWindow;
  if (!engineWindow.Create("Vesper", 0, 0, kWidth, kHeight) || !engineWindow.createGLContext() ||
      !engineWindow.makeCurrent()) {
    std::fprintf(stderr, "frame_loop_bench: no engine window\n");
    return 1;
  }
  platform::showWindow(engineWindow.handle());
  platform::setSwapInterval(0);
  intermediateCommand::instance().initialize();
  rendererManager::instance().initialize();
  flagManager::instance().initialize();

  // The bare loop's own window and context.
  // Side by side: an obscured window would swap faster.
  SDL_Window* bare = SDL_CreateWindow("bare", kWidth + 40, 0, kWidth, kHeight,
                                      SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS);
  SDL_GLContext bareContext = bare ? SDL_GL_CreateContext(bare) : nullptr;
  if (!bareContext) {
    std::fprintf(stderr, "frame_loop_bench: no bare window: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_SetSwapInterval(0);

  double engine = 0, plain = 0;
  size_t allocations = 0;
  // Two alternating rounds; the better of each is kept.
  for (int round = 0; round < 2; ++round) {
    SDL_GL_MakeCurrent(bare, bareContext);
    const double b = bareFps(bare, frames);
    engineWindow.makeCurrent();
    size_t a = 0;
    const double e = engineFps(frames, a);
    if (b > plain) plain = b;
    if (e > engine) engine = e;
    allocations += a;
  }
  std::printf("frame loop at %dx%d, vsync off, %d frames per round\n", kWidth, kHeight, frames);
  std::printf("  bare SDL + GL loop : %9.1f fps\n", plain);
  std::printf("  engine frame driver: %9.1f fps\n", engine);
  std::printf("  ratio engine / bare: %9.3f\n", engine / plain);
  std::printf("  heap allocations on the engine's frame path: %zu in %d frames\n", allocations,
              2 * frames);

  SDL_GL_DeleteContext(bareContext);
  SDL_DestroyWindow(bare);
  intermediateCommand::instance().terminate();
  return 0;
}
