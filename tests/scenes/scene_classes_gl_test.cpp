// The scene classes played as the demo plays them (clear, identity
// matrices pushed, before, draw, after) against a small scene file, read
// back at 160 x 90.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "particle_pack.h"
#include "scene_render/render_fixture.h"
#include "scenes/scenes.h"

namespace {

using render_testing::isColour;
using render_testing::kH;
using render_testing::kW;

// Two scenes of one name (a red and a green marker at the centre, seen from
// 10 units), then one with a white "boxfloor" marker.
const char kScenes[] = R"(QScene Demo File
Format Text Ver 1.0
scene class tests
MQO {
0 "data\model\red.mqo"
1 "data\model\green.mqo"
2 "data\model\boxfloor.mqo"
}
Scene "twin" {
Object -1 { DataNum 1 Time { 0 } Part "camera_pos" { Position { 0 0 10 } } Part "camera_lookat" { Position { 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { 0 0 0 } } }
}
Scene "twin" {
Object -1 { DataNum 1 Time { 0 } Part "camera_pos" { Position { 0 0 10 } } Part "camera_lookat" { Position { 0 0 0 } } }
Object 1 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { 0 0 0 } } }
}
Scene "boxfloor1" {
Object -1 { DataNum 1 Time { 0 } Part "camera_pos" { Position { 0 0 10 } } Part "camera_lookat" { Position { 0 0 0 } } }
Object 2 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { 0 0 0 } } }
}
Eof
)";


// Brightness of a frame (r + g + b per pixel): its mean and its centre.
struct Light {
  double mean = 0.0;
  glm::vec2 centre{0.0f};
};

class SceneClassesGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    std::vector<PackSource> files = {
        {kDummyShaderName, testing_support::sourceFile("production/data/core/shader/dummyShader.cgfx")},
        {"data\\shader\\probe.cgfx", testing_support::bytes(render_testing::kProbeEffect)},
        {"data\\texture\\white.bmp", render_testing::solidBmp(255, 255, 255)},
        {"data\\model\\red.bmdl", render_testing::marker({1, 0, 0, 1})},
        {"data\\model\\green.bmdl", render_testing::marker({0, 1, 0, 1})},
        {"data\\model\\boxfloor.bmdl", render_testing::marker({1, 1, 1, 1})},
        {"data\\scene\\classes.qdf", testing_support::bytes(kScenes)},
    };
    particle_testing::addParticleFiles(painted, files);
    testing_support::installPack(pack, files);
    context.matrices = &matrices;
    context.viewport = glm::ivec2(kW, kH);
    renderer.setDrawContext(&context);
    glViewport(0, 0, kW, kH);
    scenes = ResourceRef<resQDF>::load("data\\scene\\classes.qdf");
    ASSERT_TRUE(scenes);
    ASSERT_EQ(scenes->scenes().size(), 3u);
    renderer.bindScene(scenes.get());
  }

  // An instance of the class registered for `className`, as the demo makes it.
  static std::unique_ptr<CSceneQdfDefault> make(const char* className, const char* name, int index) {
    CoreRuntimeClass* found = CoreRuntimeClass::findClass(className);
    EXPECT_NE(found, nullptr) << className;
    auto* scene = found ? dynamic_cast<CSceneQdfDefault*>(found->createObject()) : nullptr;
    EXPECT_NE(scene, nullptr) << className;
    if (scene == nullptr) return nullptr;
    scene->name = name;
    scene->index = index;
    return std::unique_ptr<CSceneQdfDefault>(scene);
  }

  // One frame as the demo draws it, over a blue clear that none of the
  // classes clears to.
  std::vector<uint8_t> play(CSceneQdfDefault& scene, cQdfRender* with, float t) {
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene_testing::playSceneFrame(scene, with, t);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return gl.readPixels(0, 0, kW, kH);
  }

  static std::vector<uint8_t> at(const std::vector<uint8_t>& frame, int x, int y) {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * kW + x) * 4];
    return {p[0], p[1], p[2], p[3]};
  }

  static Light light(const std::vector<uint8_t>& frame) {
    Light l;
    double sum = 0.0;
    glm::dvec2 moment(0.0);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const std::vector<uint8_t> p = at(frame, x, y);
        const int b = p[0] + p[1] + p[2];
        sum += b;
        moment += glm::dvec2(x, y) * static_cast<double>(b);
      }
    }
    l.mean = sum / (kW * kH);
    if (sum > 0) l.centre = glm::vec2(moment / sum);
    return l;
  }

  // The upward shift in rows (-8 to 8) that best lines `earlier` up with
  // `later`.
  static int drift(const std::vector<uint8_t>& earlier, const std::vector<uint8_t>& later) {
    int best = 0;
    double bestError = 1e300;
    for (int d = -8; d <= 8; ++d) {
      double error = 0.0;
      for (int y = 8; y < kH - 8; ++y) {
        for (int x = 0; x < kW; ++x) {
          const std::vector<uint8_t> a = at(earlier, x, y), b = at(later, x, y + d);
          for (int k = 0; k < 3; ++k) error += std::abs(a[k] - b[k]);
        }
      }
      if (error < bestError) bestError = error, best = d;
    }
    return best;
  }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir painted;
  testing_support::TempDir pack;
  MatrixStack matrices;
  DrawContext context;
  ResourceRef<resQDF> scenes;
  cQdfRender renderer;
};

// The default finds the first scene of its name (red); every by-index class
// plays its own index (green) and leaves the clear to the demo.
TEST_F(SceneClassesGlTest, ByIndexClassesPlayTheirOwnScene) {
  const char* const green[] = {"CSceneQdf_skyhand2", "CSceneQdf_greetz", "CSceneQdf_grasswater",
                               "CSceneQdf_fallheart", "CSceneQdf_clock1", "CSceneQdf_clock2",
                               "CSceneQdf_blackgirl", "SceneQdf_skycloud1", "CSceneQdf_boxfloor1"};
  for (const char* name : green) {
    std::unique_ptr<CSceneQdfDefault> scene = make(name, "twin", 1);
    ASSERT_TRUE(scene);
    scene->setup(&renderer);
    const std::vector<uint8_t> frame = play(*scene, &renderer, 0.5f);
    EXPECT_TRUE(isColour(at(frame, kW / 2, kH / 2), 0, 255, 0)) << name;
    EXPECT_TRUE(isColour(at(frame, 5, 5), 0, 0, 255)) << name;
  }
  std::unique_ptr<CSceneQdfDefault> byName = make("CSceneQdfDefault", "twin", 1);
  ASSERT_TRUE(byName);
  EXPECT_TRUE(isColour(at(play(*byName, &renderer, 0.5f), kW / 2, kH / 2), 255, 0, 0));

  // Registered names match as prefixes; the one without "C" never does.
  EXPECT_EQ(CoreRuntimeClass::findClass("CSceneQdf_skycloud1"), nullptr);
  EXPECT_EQ(CoreRuntimeClass::findClass("CSceneQdf_metaball2"), &CSceneQdf_metaball::dynamicClass());
}

// Material 0 goes from green at t = 0 to red at t = 1, alpha 0.7 (the probe
// effect premultiplies it), and is as loaded again after each frame.
TEST_F(SceneClassesGlTest, BoxfloorTintsMaterialZeroByProgressAndRestoresIt) {
  std::unique_ptr<CSceneQdfDefault> scene = make("CSceneQdf_boxfloor1", "boxfloor1", 2);
  ASSERT_TRUE(scene);
  scene->setup(&renderer);
  ASSERT_EQ(static_cast<CSceneQdf_boxfloor1&>(*scene).modelSlot(), 2);
  const MqoMaterial& material = scenes->modelInSlot(2)->getMaterial(0);
  const glm::vec4 loaded = material.col;
  ASSERT_EQ(loaded, glm::vec4(1, 1, 1, 1));

  struct Case {
    float t;
    glm::vec4 tint;
    int r, g;
  } cases[] = {{0.0f, {0, 1, 0, 0.7f}, 0, 178}, {1.0f, {1, 0, 0, 0.7f}, 178, 0}};
  for (const Case& c : cases) {
    scene->before(&renderer, c.t);
    EXPECT_EQ(material.col, c.tint) << c.t;
    glClear(GL_COLOR_BUFFER_BIT);
    scene->draw(&renderer, c.t);
    EXPECT_TRUE(isColour(gl.readPixels(kW / 2, kH / 2, 1, 1), c.r, c.g, 0)) << c.t;
    scene->after(&renderer, c.t);
    EXPECT_EQ(material.col, loaded) << c.t;
  }

  // A scene file without the model: nothing to tint, nothing touched.
  std::unique_ptr<CSceneQdfDefault> unbound = make("CSceneQdf_boxfloor1", "twin", 1);
  cQdfRender empty;
  empty.setDrawContext(&context);
  unbound->setup(&empty);
  EXPECT_EQ(static_cast<CSceneQdf_boxfloor1&>(*unbound).modelSlot(), -1);
  unbound->before(&empty, 0.5f);
  unbound->after(&empty, 0.5f);
}

// The loading bar (no renderer): a white frame round a black bar that fills
// from the middle out with t. Under its 4:3 projection a unit at the eye
// distance of 10 is 14.5 columns; the frame's sides lie at 4.875-5 units.
TEST_F(SceneClassesGlTest, LoaderFillsItsBarFromTheMiddle) {
  std::unique_ptr<CSceneQdfDefault> loader = make("CSceneQdf_loader", "loader", 0);
  ASSERT_TRUE(loader);
  struct Case {
    float t;
    int middle, quarter;  // grey level at the centre and 2 units to the right
  } cases[] = {{0.0f, 0, 0}, {0.3f, 255, 0}, {1.0f, 255, 255}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> frame = play(*loader, nullptr, c.t);
    const int row = kH / 2;
    EXPECT_TRUE(isColour(at(frame, kW / 2, row), c.middle, c.middle, c.middle)) << c.t;
    EXPECT_TRUE(isColour(at(frame, kW / 2 + 29, row), c.quarter, c.quarter, c.quarter)) << c.t;
    EXPECT_TRUE(isColour(at(frame, 149, row), 0, 0, 0)) << c.t;
    EXPECT_TRUE(isColour(at(frame, 151, row), 255, 255, 255)) << c.t;
    EXPECT_TRUE(isColour(at(frame, 155, row), 0, 0, 0)) << c.t;
    EXPECT_TRUE(isColour(at(frame, kW / 2, 10), 0, 0, 0)) << c.t;
    if (c.t == 0.3f) particle_testing::snapshot("loader", frame, kW, kH);
  }
}

bool greenest(const std::vector<uint8_t>& p) { return p[1] - std::max(p[0], p[2]) > 64; }

// The particle scenes over the frames of their motion (t = 0, 0.5, 0.52, 1):
// where the light is, what is cleared, whether the file scene (a green
// marker at the centre) shows; and every resource they load goes with them.
TEST_F(SceneClassesGlTest, ParticleScenesMoveTheirParticlesAndReleaseTheirResources) {
  using Frames = std::vector<uint8_t>[4];
  struct Case {
    const char* className;
    bool showsScene;
    void (*check)(const Light& start, const Light& end, const Frames& frames);
  } cases[] = {
      {"CSceneQdf_skyhand1", true,
       [](const Light& start, const Light&, const Frames& frames) {
         EXPECT_LT(start.mean, 2) << "below the view: only the marker shows";
         EXPECT_GT(drift(frames[1], frames[2]), 0) << "rising";
       }},
      {"CSceneQdf_hanescene3", true,
       [](const Light& start, const Light& end, const Frames&) {
         EXPECT_GT(start.centre.y, kH * 2 / 3.0f) << "falling from above";
         EXPECT_LT(end.centre.y, start.centre.y - 20);
       }},
      {"CSceneQdf_hanescene1", true,
       [](const Light& start, const Light& end, const Frames&) {
         EXPECT_TRUE(start.centre.x < kW / 2 - 15 && start.centre.y < kH / 2 - 8) << "from lower left";
         EXPECT_TRUE(end.centre.x > kW / 2 + 15 && end.centre.y > kH / 2 + 8) << "to upper right";
       }},
      {"CSceneQdf_hanescene4", false,
       [](const Light& start, const Light& end, const Frames&) {
         EXPECT_LT(start.mean, 150) << "black at first";
         EXPECT_GT(end.mean, 600) << "faded to white";
       }},
      {"CSceneQdf_lightball", false,
       [](const Light&, const Light&, const Frames& frames) {
         EXPECT_GT(drift(frames[1], frames[2]), 0) << "glows rising";
       }},
      {"CSceneQdf_metaball", false,
       [](const Light&, const Light&, const Frames& frames) {
         EXPECT_GT(at(frames[1], kW / 2, kH / 2)[2], 200) << "the lit surface";
       }},
  };
  const size_t cached = resourceManager::instance().cachedResources().size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.className);
    std::unique_ptr<CSceneQdfDefault> scene = make(c.className, "twin", 1);
    ASSERT_TRUE(scene);
    scene->setup(&renderer);
    EXPECT_GT(resourceManager::instance().cachedResources().size(), cached);
    Frames frames;
    const float times[] = {0.0f, 0.5f, 0.52f, 1.0f};
    for (int k = 0; k < 4; ++k) {
      frames[k] = play(*scene, &renderer, times[k]);
      EXPECT_FALSE(isColour(at(frames[k], 0, kH - 1), 0, 0, 255)) << "the scene clears";
      const std::string name = std::string(c.className) + "_" + std::to_string(k);
      particle_testing::snapshot(name.c_str(), frames[k], kW, kH);
    }
    EXPECT_EQ(greenest(at(frames[0], kW / 2, kH / 2)), c.showsScene);
    c.check(light(frames[0]), light(frames[3]), frames);
    scene.reset();
    EXPECT_EQ(resourceManager::instance().cachedResources().size(), cached);
  }
}

}  // namespace
