// The rehearsal overlay over a show played on a scripted clock: the renderer
// draws it after the capture's reading point, so the window shows it and a
// capture of the same frame does not; F1 hides it.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/command_line.h"
#include "app/managers.h"
#include "app/overlay.h"
#include "app/rehearsal.h"
#include "app/transport.h"
#include "demo/demo_manager.h"
#include "demo/show_options.h"
#include "demo/demo_scene.h"
#include "demo/custom_textures.h"
#include "demo/post_effects.h"
#include "demo/show_production.h"
#include "platform/platform.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 360;

struct WindowSize : ScreenSizeSource {
  bool screenSize(uint32_t& width, uint32_t& height) const override {
    width = kW;
    height = kH;
    return true;
  }
};

// What a capture keeps: the back buffer when the renderer announces the
// frame, as the capture session reads it.
struct CaptureReader : PresentObserver {
  explicit CaptureReader(testing_support::GlContext& gl) : mGl(gl) {}
  void beforePresent() override { frame = mGl.readPixels(0, 0, kW, kH); }
  testing_support::GlContext& mGl;
  std::vector<uint8_t> frame;
};

// What the window shows: the back buffer once the overlay has drawn.
struct WindowReader : WindowOverlay {
  WindowReader(testing_support::GlContext& gl, RehearsalOverlay& overlay) : mGl(gl), mOverlay(overlay) {}
  void drawOverWindow(uint32_t width, uint32_t height) override {
    mOverlay.drawOverWindow(width, height);
    frame = mGl.readPixels(0, 0, kW, kH);
  }
  testing_support::GlContext& mGl;
  RehearsalOverlay& mOverlay;
  std::vector<uint8_t> frame;
};

TEST(RehearsalOverlayTest, DrawsInTheWindowButNeverInACapture) {
  testing_support::GlContext gl(kW, kH);
  if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
  glViewport(0, 0, kW, kH);
  settingsManager& s = settingsManager::instance();
  s.sampleCount = 0;
  s.screenWidth = kW;
  s.screenHeight = kH;
  testing_support::TempDir dir;
  std::vector<PackSource> files = show_testing::twoLineProduction();
  for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
  testing_support::installPack(dir, files);

  ScriptedClock clock;
  Transport transport(clock);
  RehearsalState state;
  state.hasReload = true;
  state.lastReload = {"data/shader/tint.cgfx", 2400, 41.0, false};
  state.errors.push_back({"data/shader/tint.cgfx", 3, "'vec5' : undeclared identifier"});
  RehearsalOverlay overlay(transport, state);
  WindowSize size;
  CaptureReader capture(gl);
  WindowReader window(gl, overlay);
  rendererManager& renderer = rendererManager::instance();
  renderer.setScreenSizeSource(&size);
  renderer.setPresentObserver(&capture);
  renderer.setWindowOverlay(&window);

  demoManager& demo = demoManager::instance();
  ShowOptions options;
  options.playMusic = false;
  options.clock = &transport;
  demo.setShowOptions(options);
  ASSERT_TRUE(demo.initialize());
  transport.setTimeline(&demo.sceneLines());
  ASSERT_TRUE(demo.update());  // Reset
  ASSERT_TRUE(demo.update());  // Load and the loader fade
  clock.ticks = 1801;
  ASSERT_TRUE(demo.update());
  ASSERT_TRUE(demo.update());
  ASSERT_EQ(demo.state(), demoManager::Play);
  ASSERT_TRUE(transport.started());

  // Both lines and their scenes are on the panel at 2.5 s. ImGui lays a new
  // panel out in a frame of its own before it shows it.
  clock.music = 2500;
  ASSERT_TRUE(demo.update());
  renderer.endFrame();
  for (const bool shown : {true, false}) {
    SCOPED_TRACE(shown ? "shown" : "hidden with F1");
    ASSERT_TRUE(demo.update());
    const std::vector<uint8_t> picture = gl.readPixels(0, 0, kW, kH);
    renderer.endFrame();
    ASSERT_EQ(capture.frame.size(), picture.size());
    EXPECT_TRUE(capture.frame == picture) << "the capture holds the show's picture alone";
    ASSERT_EQ(window.frame.size(), picture.size());
    if (!shown) {
      EXPECT_TRUE(window.frame == picture) << "a hidden overlay draws nothing";
      break;
    }
    // The pixels the overlay changed lie in one box in the top-left corner.
    int changed = 0, right = -1, bottom = kH;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const size_t i = (static_cast<size_t>(y) * kW + x) * 4;
        if (std::equal(&picture[i], &picture[i] + 3, &window.frame[i])) continue;
        ++changed;
        right = std::max(right, x);
        bottom = std::min(bottom, y);
      }
    }
    EXPECT_GT(changed, 5000) << "the panel shows";
    EXPECT_LT(right, kW - 8) << "the panel keeps to its corner";
    EXPECT_GT(bottom, kH / 4) << "the panel keeps to its corner";
    const size_t corner = static_cast<size_t>(kH - 4) * kW * 4 + 4 * 4;
    EXPECT_TRUE(std::equal(&picture[corner], &picture[corner] + 3, &window.frame[corner]))
        << "8 pixels of margin";
    EXPECT_TRUE(overlay.handleKey(platform::KeyF1, 0));
    EXPECT_FALSE(overlay.visible());
  }

  renderer.setWindowOverlay(nullptr);
  renderer.setPresentObserver(nullptr);
  renderer.setScreenSizeSource(nullptr);
  demo.terminate();
  cPostEffectManager::instance().terminate();
  customTextureManager::instance().terminate();
  resourceManager::instance().terminate();
  static_cast<DisplaySettings&>(s) = DisplaySettings();
}

}  // namespace
