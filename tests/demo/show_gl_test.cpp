// Frames of small productions played in-process on a scripted clock: lines
// and their windows, the post-effect chain, accumulation anti-aliasing and
// the letterbox, read back from the window.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/managers.h"
#include "demo/custom_textures.h"
#include "demo/demo_clock.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "demo/show_options.h"
#include "demo/show_production.h"
#include "platform/window.h"
#include "support/allocation_counter.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace {

constexpr int kW = 160;
constexpr int kH = 90;

// Draws seen by the test scene classes (the last one's file scene and
// progress), and the jitter of each sample.
int gDraws = 0;
const CSceneQdfDefault* gLastDrawn = nullptr;
float gLastT = -1.0f;
glm::vec2 gJitter[16];

}  // namespace

// Fills the bound target, or its left ('L') or right ('R') half, with the
// colour its file scene is named after: "fill" + rrggbb [+ L | R].
class CSceneQdf_fill : public CSceneQdfDefault {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_fill)
 public:
  void draw(cQdfRender*, float t) override {
    ++gDraws;
    gLastDrawn = this;
    gLastT = t;
    const unsigned long rgb = std::strtoul(name.substr(4, 6).c_str(), nullptr, 16);
    const char half = name.size() > 10 ? name[10] : ' ';
    if (half != ' ') {
      glEnable(GL_SCISSOR_TEST);
      glScissor(half == 'L' ? 0 : kW / 2, 0, kW / 2, kH);
    }
    glClearColor(static_cast<float>((rgb >> 16) & 255) / 255.0f, static_cast<float>((rgb >> 8) & 255) / 255.0f,
                 static_cast<float>(rgb & 255) / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  }
};
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_fill, CSceneQdfDefault)

// Sample i of the anti-aliasing fills with red 0.1 x (i + 1), and records
// the jitter the drawing code is given.
class CSceneQdf_samples : public CSceneQdfDefault {
  VESPER_DECLARE_DYNAMIC(CSceneQdf_samples)
 public:
  void draw(cQdfRender*, float) override {
    const int i = demoManager::instance().jitterSample();
    gJitter[i] = demoManager::instance().drawContext().jitter;
    glClearColor(0.1f * static_cast<float>(i + 1), 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
};
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_samples, CSceneQdfDefault)

namespace {

using show_testing::document;
using show_testing::qdfEntry;
using show_testing::sceneFile;
using show_testing::sceneLine;

// A full-screen effect; `body` is the fragment shader's main body, and
// `extra` declares what it reads.
std::string postEffect(const std::string& extra, const std::vector<std::string>& passes) {
  std::string text = "float4x4 projMat;\n" + extra +
                     "\nvoid vs() { gl_Position = projMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n";
  std::string technique = "technique t {\n";
  for (size_t i = 0; i < passes.size(); ++i) {
    const std::string fs = "fs" + std::to_string(i);
    text += "void " + fs + "() { " + passes[i] + " }\n";
    technique += "  pass p" + std::to_string(i) + " { DepthTestEnable = false; VertexProgram = compile vp vs(); " +
                 "FragmentProgram = compile fp " + fs + "(); }\n";
  }
  return text + technique + "}\n";
}

std::string postEntry(const char* shader, uint32_t s, uint32_t e, int prio, int pass, int target,
                      const std::string& children = "") {
  return std::string("<PostEffectEntry shader=\"") + shader + "\" sTime=\"" + std::to_string(s) + "\" eTime=\"" +
         std::to_string(e) + "\" execPrio=\"" + std::to_string(prio) + "\" execPass=\"" + std::to_string(pass) +
         "\" renderTarget=\"" + std::to_string(target) + "\">" + children + "</PostEffectEntry>\n";
}

::testing::AssertionResult near(const std::vector<uint8_t>& p, int r, int g, int b) {
  if (p.size() >= 3 && std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel " << int(p[0]) << "," << int(p[1]) << "," << int(p[2])
                                       << " is not " << r << "," << g << "," << b;
}

class Show : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    glViewport(0, 0, kW, kH);
    settingsManager& s = settingsManager::instance();
    s.sampleCount = 0;
    s.aspectWidth = 16;
    s.aspectHeight = 9;
    s.screenWidth = kW;
    s.screenHeight = kH;
    s.lowQuality = false;
    gDraws = 0;
  }
  void TearDown() override {
    if (!gl.ok()) return;
    stop();
    static_cast<DisplaySettings&>(settingsManager::instance()) = DisplaySettings();
  }
  // Installs the production (built-in effects added) and plays up to the
  // first frame of the music at `startMs`.
  void start(std::vector<PackSource> files, uint32_t startMs = 0) {
    for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
    testing_support::installPack(dir, files);
    play(startMs);
  }
  // Plays the installed pack up to the first frame of the music at `startMs`.
  void play(uint32_t startMs = 0) {
    ShowOptions options = silent();
    options.startMs = startMs;
    demo.setShowOptions(options);
    clock = ScriptedClock();
    ASSERT_TRUE(demo.initialize());
    started = true;
    ASSERT_TRUE(demo.update());  // Reset
    ASSERT_TRUE(demo.update());  // Load and the loader fade
    clock.ticks = 1801;
    ASSERT_TRUE(demo.update());
    ASSERT_TRUE(demo.update());
    ASSERT_EQ(demo.state(), demoManager::Play);
  }
  void stop() {
    if (!started) return;
    started = false;
    demo.terminate();
    cPostEffectManager::instance().terminate();
    customTextureManager::instance().terminate();
    resourceManager::instance().terminate();
  }
  // A run on the test's clock without music.
  ShowOptions silent() {
    ShowOptions options;
    options.clock = &clock;
    options.playMusic = false;
    return options;
  }
  void frame(uint32_t ms) {
    clock.music = ms;
    ASSERT_TRUE(demo.update());
  }
  std::vector<uint8_t> pixel(int x, int y) const { return gl.readPixels(x, y, 1, 1); }
  std::vector<uint8_t> left() const { return pixel(kW / 4, kH / 2); }
  std::vector<uint8_t> right() const { return pixel(3 * kW / 4, kH / 2); }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir dir;
  demoManager& demo = demoManager::instance();
  ScriptedClock clock;
  bool started = false;
};

// Each timeline entry plays one scene file of one file scene.
std::vector<PackSource> timeline(const std::string& lines, const std::vector<std::string>& fills) {
  std::vector<PackSource> files;
  std::string entries;
  for (const std::string& fill : fills) {
    const std::string path = "data\\scene\\" + fill + ".qdf";
    entries += qdfEntry(fill.c_str(), path.c_str());
    files.push_back({path, testing_support::bytes(sceneFile({{fill, 10.0f, ""}}))});
  }
  files.push_back({"data\\definition\\sceneLineDefine.xml", testing_support::bytes(document("sceneLineDefine", lines))});
  files.push_back({"data\\definition\\qdfDefine.xml", testing_support::bytes(document("qdfDefine", entries))});
  return files;
}

TEST_F(Show, LinesDrawInsideTheirWindowsAndTheNullEffectComposesThem) {
  // Line 0: red left half in [1000, 2000]. Line 1: green right half in
  // [1500, 3000]. Line 2: blue (full) in [4000, 5000] shadows yellow in
  // [4500, 6000], which shows only after 5000.
  start(timeline(sceneLine("fillff0000L", 1000, 2000, 0) + sceneLine("fill00ff00R", 1500, 3000, 1) +
                     sceneLine("fill0000ff", 4000, 5000, 2) + sceneLine("fillffff00", 4500, 6000, 2),
                 {"fillff0000L", "fill00ff00R", "fill0000ff", "fillffff00"}));
  struct Case {
    uint32_t t;
    int draws;  // scenes drawn in this frame
    int left[3], right[3];
  } cases[] = {
      {999, 0, {0, 0, 0}, {0, 0, 0}},
      {1000, 1, {255, 0, 0}, {0, 0, 0}},
      {1500, 2, {255, 0, 0}, {0, 255, 0}},
      {2000, 2, {255, 0, 0}, {0, 255, 0}},
      {2001, 1, {255, 0, 0}, {0, 255, 0}},  // line 0 keeps its last picture
      {4700, 1, {0, 0, 255}, {0, 0, 255}},
      {5001, 1, {255, 255, 0}, {255, 255, 0}},
      {6001, 0, {255, 255, 0}, {255, 255, 0}},
  };
  for (const Case& c : cases) {
    gDraws = 0;
    frame(c.t);
    EXPECT_EQ(gDraws, c.draws) << c.t;
    EXPECT_TRUE(near(left(), c.left[0], c.left[1], c.left[2])) << c.t;
    EXPECT_TRUE(near(right(), c.right[0], c.right[1], c.right[2])) << c.t;
  }
}

TEST_F(Show, PostEffectsChainThroughWorkBuffersInPriorityOrder) {
  std::vector<PackSource> files = timeline(sceneLine("fill808080", 0, 10000, 0), {"fill808080"});
  // "write" puts its constant into work buffer 3; "read" shows the source
  // "src" (work buffer 3 named as depth: its colour) on the final buffer.
  files.push_back({"data\\shader\\write.cgfx",
                   testing_support::bytes(postEffect("float4 value;", {"gl_FragColor = value;"}))});
  files.push_back({"data\\shader\\read.cgfx",
                   testing_support::bytes(postEffect("sampler2D src;",
                                                     {"gl_FragColor = texture2D(src, gl_TexCoord[0].xy);"}))});
  // Three passes of red, green and blue: the last one drawn stays.
  files.push_back({"data\\shader\\three.cgfx",
                   testing_support::bytes(postEffect("", {"gl_FragColor = vec4(1, 0, 0, 1);",
                                                          "gl_FragColor = vec4(0, 1, 0, 1);",
                                                          "gl_FragColor = vec4(0, 0, 1, 1);"}))});
  files.push_back({"data\\shader\\rate.cgfx",
                   testing_support::bytes(postEffect("float TIME_RATE_EFFECT; sampler2D workBuf3;",
                                                     {"gl_FragColor = vec4(TIME_RATE_EFFECT, "
                                                      "texture2D(workBuf3, gl_TexCoord[0].xy).g, 0, 1);"}))});
  // A custom texture sampled by its agreed name.
  files.push_back({"data\\texture\\blue.bmp", render_testing::solidBmp(0, 0, 255)});
  files.push_back({"data\\shader\\custom.cgfx",
                   testing_support::bytes(postEffect("sampler2D lookup;",
                                                     {"gl_FragColor = texture2D(lookup, vec2(0.5));"}))});
  files.push_back({"data\\definition\\customTextureDefine.xml",
                   testing_support::bytes(document(
                       "shaderTextureDefine", "<TextureEntry sampler=\"lookup\" path=\"data\\texture\\blue.bmp\"/>"))});
  const std::string post =
      postEntry("custom", 5000, 5999, 0, -1, -1) + postEntry("read", 0, 999, 2, -1, -1, "<SourceLineEntry param=\"src\" type=\"depth\" lineId=\"w3\"/>") +
      postEntry("write", 0, 999, 1, -1, 3,
                "<ConstantEntry param=\"value\" type=\"float4\" value=\"0.2,0.4,0.6,1\"/>") +
      postEntry("three", 1000, 1999, 0, 1, -1) + postEntry("three", 2000, 2999, 0, -1, -1) +
      postEntry("rate", 4000, 5000, 0, -1, -1);
  files.push_back({"data\\definition\\postEffectDefine.xml",
                   testing_support::bytes(document("postEffectDefine", post))});
  start(files);
  struct Case {
    uint32_t t;
    int rgb[3];
  } cases[] = {
      {500, {51, 102, 153}},   // written, then read, in priority order
      {1500, {0, 255, 0}},     // execPass 1 only
      {2500, {0, 0, 255}},     // every pass
      {3500, {128, 128, 128}},  // nothing active: the null effect shows line 0
      {4500, {128, 102, 0}},    // time rate 0.5; work buffer 3 kept its content
      {5500, {0, 0, 255}},
  };
  for (const Case& c : cases) {
    frame(c.t);
    EXPECT_TRUE(near(left(), c.rgb[0], c.rgb[1], c.rgb[2])) << c.t;
  }
}

TEST_F(Show, SamplesAccumulateIntoTheLineBufferAndAreAveraged) {
  struct Case {
    int32_t samples;
    int red;  // 0.1 x (sum of 1..n) / n
  } cases[] = {{0, 26}, {2, 38}, {4, 64}, {8, 115}};
  for (const Case& c : cases) {
    settingsManager::instance().sampleCount = c.samples;
    start(timeline(sceneLine("samples", 0, 10000, 0), {"samples"}));
    // Twice: the first sample replaces what the line held before.
    frame(100);
    frame(200);
    EXPECT_TRUE(near(left(), c.red, 0, 0)) << c.samples << " samples";
    size_t count = 0;
    const glm::vec2* table = demoManager::jitterTableFor(c.samples, count);
    for (size_t i = 0; i < count && c.samples > 0; ++i) {
      EXPECT_EQ(gJitter[i], table[i]) << c.samples << " samples, sample " << i;
    }
    stop();
  }
}

// The pixels of the 4:3 case are checked on a captured frame.
TEST(ShowLetterbox, TheFinalPictureKeeps16To9OnEveryDisplayAspect) {
  struct Case {
    int32_t w, h;
    float rect[4];
  } cases[] = {
      {4, 3, {0, 0.125f, 1, 0.875f}},
      {16, 9, {0, 0, 1, 1}},
      {16, 10, {0, 0.05f, 1, 0.95f}},
      {5, 4, {0, 0.1484375f, 1, 0.8515625f}},
  };
  for (const Case& c : cases) {
    float rect[4];
    demoManager::letterbox(c.w, c.h, rect);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(rect[i], c.rect[i], 1e-5f) << c.w << ":" << c.h << " " << i;
  }
}

TEST_F(Show, AStartTimeShowsItsFrameFirst) {
  start(timeline(sceneLine("fillff0000", 0, 4999, 0) + sceneLine("fill00ff00", 5000, 9000, 1),
                 {"fillff0000", "fill00ff00"}),
        5000);
  EXPECT_EQ(demo.musicTime(), 5000u);
  EXPECT_TRUE(near(left(), 0, 255, 0));
}

TEST_F(Show, AShowFrameAllocatesNothing) {
  std::vector<PackSource> files = timeline(
      sceneLine("fillff0000L", 0, 10000, 0) + sceneLine("fill00ff00R", 0, 10000, 1), {"fillff0000L", "fill00ff00R"});
  files.push_back({"data\\shader\\read.cgfx",
                   testing_support::bytes(postEffect("sampler2D src; float4 k;",
                                                     {"gl_FragColor = texture2D(src, gl_TexCoord[0].xy) * k;"}))});
  files.push_back({"data\\definition\\postEffectDefine.xml",
                   testing_support::bytes(document(
                       "postEffectDefine",
                       postEntry("read", 0, 10000, 0, -1, -1,
                                 "<ConstantEntry param=\"k\" type=\"float\" value=\"1\"/>"
                                 "<SourceLineEntry param=\"src\" type=\"color\" lineId=\"1\"/>")))});
  settingsManager::instance().sampleCount = 4;
  start(files);
  frame(100);
  const size_t before = testing_support::allocationCount();
  frame(200);
  EXPECT_EQ(testing_support::allocationCount(), before);
  EXPECT_TRUE(near(right(), 0, 255, 0));
}

TEST_F(Show, TheSampleProductionsFramesAllocateNothing) {
  std::FILE* fp = std::fopen(VESPER_TEST_PRODUCTION_PACK, "rb");
  ASSERT_NE(fp, nullptr);
  ASSERT_EQ(installPackage(fp), nullptr);
  settingsManager::instance().sampleCount = 4;
  play();
  // A frame every 2.56 s, so that every file scene of every section is met
  // (lines and post chain differ in each), drawn twice: the software
  // renderer compiles a variant the first time a state combination draws,
  // and that allocates.
  for (uint32_t t = 1000; t < 119040; t += 2560) {
    frame(t);
    const size_t before = testing_support::allocationCount();
    frame(t);
    EXPECT_EQ(testing_support::allocationCount(), before) << "at " << t << " ms";
  }
}

TEST_F(Show, FileScenesPlayInTurnOverTheirCameraKeys) {
  // 1 s; no camera keys (zero length); 2 s with a second, 3 s camera: the
  // entry's range counts both cameras, the file scene's window the longer.
  const std::string secondCamera =
      "Object -1 { DataNum 2 Time { 0 3 } Part \"camera_pos\" { Position { 0 0 10 0 0 10 } } }\n";
  const std::string file = sceneFile({{"fillff0000", 1.0f, ""}, {"fill00ff00", 0.0f, ""},
                                      {"fill0000ff", 2.0f, secondCamera}});
  start({{"data\\scene\\shots.qdf", testing_support::bytes(file)},
         {"data\\definition\\sceneLineDefine.xml",
          testing_support::bytes(document("sceneLineDefine", sceneLine("shots", 0, 6000, 0)))},
         {"data\\definition\\qdfDefine.xml",
          testing_support::bytes(document("qdfDefine", qdfEntry("shots", "data\\scene\\shots.qdf")))}});
  const cDemoScene* shots = demo.sceneSlot(0, 0);
  ASSERT_NE(shots, nullptr);
  EXPECT_EQ(shots->animEnd(), 1000 + 0 + 2000 + 3000);
  const uint32_t windows[3][2] = {{0, 1000}, {1000, 1000}, {1000, 4000}};
  ASSERT_EQ(shots->sceneInstances().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(shots->sceneInstances()[i]->start, windows[i][0]) << i;
    EXPECT_EQ(shots->sceneInstances()[i]->end, windows[i][1]) << i;
  }
  struct Case {
    uint32_t t;
    int scene;  // -1: nothing drawn
    float localT;
  } cases[] = {{0, 0, 0.0f}, {500, 0, 0.5f}, {1000, 0, 1.0f}, {2500, 2, 0.5f}, {4000, 2, 1.0f}, {5400, -1, 0.0f}};
  for (const Case& c : cases) {
    gLastDrawn = nullptr;
    frame(c.t);
    if (c.scene < 0) {
      EXPECT_EQ(gLastDrawn, nullptr) << c.t;
      continue;
    }
    EXPECT_EQ(gLastDrawn, shots->sceneInstances()[c.scene].get()) << c.t;
    EXPECT_NEAR(gLastT, c.localT, 2e-3f) << c.t;  // the range is truncated to whole ms
  }
}

TEST_F(Show, WhatAShotLeavesEmptyIsEmptyOnScreenNotTheShotBefore) {
  // A red left half, then a green right half: each shot clears its line to
  // transparent black, and the full-screen quads carry those alpha-0 texels
  // through to the window (an alpha test would drop them and keep the red).
  for (int32_t samples : {0, 4}) {
    settingsManager::instance().sampleCount = samples;
    ASSERT_TRUE(rendererManager::instance().initialize());  // the engine's default state, alpha test on
    start({{"data\\scene\\shots.qdf",
            testing_support::bytes(sceneFile({{"fillff0000L", 1.0f, ""}, {"fill00ff00R", 1.0f, ""}}))},
           {"data\\definition\\sceneLineDefine.xml",
            testing_support::bytes(document("sceneLineDefine", sceneLine("shots", 0, 2000, 0)))},
           {"data\\definition\\qdfDefine.xml",
            testing_support::bytes(document("qdfDefine", qdfEntry("shots", "data\\scene\\shots.qdf")))}});
    frame(500);
    EXPECT_TRUE(near(left(), 255, 0, 0)) << samples << " samples";
    EXPECT_TRUE(near(right(), 0, 0, 0)) << samples << " samples";
    frame(1500);
    EXPECT_TRUE(near(left(), 0, 0, 0)) << samples << " samples";
    EXPECT_TRUE(near(right(), 0, 255, 0)) << samples << " samples";
    stop();
  }
}

// Records, at each presented loading frame, the progress and the pixels at
// the bar's centre and near its right end.
class LoadingFrames : public LoadingPresenter {
 public:
  explicit LoadingFrames(const testing_support::GlContext& gl) : mGl(gl) {}
  void clearFrame() override {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  void presentFrame() override {
    shown.push_back({resourceManager::instance().getProgress(), mGl.readPixels(kW / 2, kH / 2, 1, 1)[0],
                     mGl.readPixels(kW / 2 + 60, kH / 2, 1, 1)[0]});
  }
  struct Shown {
    float progress;
    int centre, end;
  };
  std::vector<Shown> shown;

 private:
  const testing_support::GlContext& mGl;
};

TEST_F(Show, TheLoadingBarGrowsWhileLoadingThenFadesToBlack) {
  std::vector<PackSource> files = show_testing::twoLineProduction();
  for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
  testing_support::installPack(dir, files);
  demo.setShowOptions(silent());
  ASSERT_TRUE(demo.initialize());
  started = true;
  // In place of the show's own presenter, which swaps the window.
  LoadingFrames loading(gl);
  resourceManager::instance().setLoadingPresenter(&loading);
  ASSERT_TRUE(demo.update());  // Reset
  ASSERT_TRUE(demo.update());  // Load: one model in each of the two scene files
  resourceManager::instance().setLoadingPresenter(nullptr);
  ASSERT_EQ(loading.shown.size(), 3u);
  const LoadingFrames::Shown expected[] = {{0.0f, 0, 0}, {0.5f, 255, 0}, {1.0f, 255, 255}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(loading.shown[i].progress, expected[i].progress) << i;
    EXPECT_EQ(loading.shown[i].centre, expected[i].centre) << i;
    EXPECT_EQ(loading.shown[i].end, expected[i].end) << i;
  }
  // The finished bar under a black quad of growing opacity; black from 1.5 s.
  const std::pair<uint32_t, int> fade[] = {{0, 255}, {750, 128}, {1500, 0}, {1800, 0}};
  for (const auto& [ms, centre] : fade) {
    clock.ticks = ms;
    ASSERT_TRUE(demo.update());
    EXPECT_EQ(demo.state(), demoManager::LoaderFade) << ms;
    EXPECT_NEAR(pixel(kW / 2, kH / 2)[0], centre, 2) << ms;
  }
  clock.ticks = 1801;
  ASSERT_TRUE(demo.update());
  EXPECT_EQ(demo.state(), demoManager::StartMusic);
}

TEST_F(Show, EachLoadingFrameIsSwappedOntoTheWindow) {
  // The show's own presenter: the loading screen once as it appears, then
  // once after each model of the scene files.
  for (int models : {1, 3}) {
    // What the models' material uses.
    std::vector<PackSource> files = {{"data\\shader\\probe.cgfx", testing_support::bytes(render_testing::kProbeEffect)},
                                     {"data\\texture\\white.bmp", render_testing::solidBmp(255, 255, 255)}};
    std::string list;
    for (int i = 0; i < models; ++i) {
      const std::string name = "data\\model\\m" + std::to_string(i);
      list += std::to_string(i) + " \"" + name + ".mqo\"\n";
      files.push_back({name + ".bmdl", show_testing::facingSquare({1, 0, 0, 1})});
    }
    files.push_back({"data\\scene\\models.qdf", testing_support::bytes(sceneFile({{"wall", 1.0f, ""}}, list))});
    files.push_back({"data\\definition\\sceneLineDefine.xml",
                     testing_support::bytes(document("sceneLineDefine", sceneLine("models", 0, 1000, 0)))});
    files.push_back({"data\\definition\\qdfDefine.xml",
                     testing_support::bytes(document("qdfDefine", qdfEntry("models", "data\\scene\\models.qdf")))});
    for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
    testing_support::installPack(dir, files);
    demo.setShowOptions(silent());
    clock = ScriptedClock();
    ASSERT_TRUE(demo.initialize());
    started = true;
    ASSERT_TRUE(demo.update());  // Reset
    const uint64_t before = platform::swapCount();
    ASSERT_TRUE(demo.update());  // Load, then the fade's first frame, which the renderer presents
    EXPECT_EQ(platform::swapCount() - before, static_cast<uint64_t>(1 + models)) << models << " models";
    stop();
  }
}

}  // namespace
