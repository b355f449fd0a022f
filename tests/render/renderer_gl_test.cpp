// Renderer and command list executed on a software GL context: layer
// states, the closing-fade sequence, quads and front-buffer capture.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "support/allocation_counter.h"
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "render/render.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "texture/texture.h"

namespace {

constexpr int kW = 320;
constexpr int kH = 180;

// Snapshot of the blend and alpha-test state while a layer executes.
struct LayerState {
  bool seen = false;
  GLboolean blend = GL_FALSE;
  GLint src = 0, dst = 0;
  GLboolean alphaTest = GL_FALSE;
  GLint alphaFunc = 0;
  GLfloat alphaRef = 0;
};
LayerState gProbe[intermediateCommand::kLayerCount];

class cmdProbe final : public cmdBase {
 public:
  explicit cmdProbe(int layer) : cmdBase(sizeof(cmdProbe)), mLayer(layer) {}
  void execute(intermediateCommand&) const override {
    LayerState& s = gProbe[mLayer];
    s.seen = true;
    s.blend = glIsEnabled(GL_BLEND);
    glGetIntegerv(GL_BLEND_SRC, &s.src);
    glGetIntegerv(GL_BLEND_DST, &s.dst);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &s.alphaFunc);
    glGetFloatv(GL_ALPHA_TEST_REF, &s.alphaRef);
  }

 private:
  int mLayer;
};

class Renderer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    list.setArenaSizesForTesting(0, 0);
    ASSERT_TRUE(list.initialize());
    list.setCurrentLayer(0);
    list.setCurrentMaterial(nullptr);
    ASSERT_TRUE(renderer.initialize());
    glViewport(0, 0, kW, kH);
  }
  void TearDown() override {
    if (gl.ok()) list.terminate();
  }
  void clearTo(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  // The closing fade exactly as the demo manager records it.
  void recordFade(drawMaterial* m) { EXPECT_TRUE(list.recordScreenOverlay(m)); }
  // Shows the window and paints its front buffer: bottom half red, top half
  // blue. Painted there directly, as the software driver does not keep the
  // presented image in it. The back buffer gets green, which must not be read.
  void drawFrontHalves() {
    gl.show();
    glDrawBuffer(GL_FRONT);
    clearTo(0, 0, 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, kW, kH / 2);
    clearTo(1, 0, 0);
    glDisable(GL_SCISSOR_TEST);
    glFlush();
    glDrawBuffer(GL_BACK);
    clearTo(0, 1, 0);
  }
  // Every pixel of the viewport within 2 of (r, g, b).
  void expectEverywhere(int r, int g, int b) {
    const std::vector<uint8_t> px = gl.readPixels(0, 0, kW, kH);
    int wrong = 0;
    for (size_t i = 0; i < px.size(); i += 4) {
      if (std::abs(px[i] - r) > 2 || std::abs(px[i + 1] - g) > 2 || std::abs(px[i + 2] - b) > 2) {
        ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << "first pixel " << int(px[0]) << "," << int(px[1]) << "," << int(px[2]);
  }
  testing_support::GlContext gl{kW, kH};
  intermediateCommand& list = intermediateCommand::instance();
  rendererManager& renderer = rendererManager::instance();
};

TEST_F(Renderer, DefaultStateAndAnEmptyFrameLeaveTheFinalBlendState) {
  GLint v = 0;
  glGetIntegerv(GL_DEPTH_FUNC, &v);
  EXPECT_EQ(v, GL_LEQUAL);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat ref = 0;
  glGetFloatv(GL_ALPHA_TEST_REF, &ref);
  EXPECT_FLOAT_EQ(ref, 0.000001f);

  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_ALPHA_TEST);
  ASSERT_TRUE(renderer.update());
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  glGetIntegerv(GL_BLEND_SRC, &v);
  EXPECT_EQ(v, GL_SRC_ALPHA);
  glGetIntegerv(GL_BLEND_DST, &v);
  EXPECT_EQ(v, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &v);
  EXPECT_EQ(v, GL_GREATER);
  glGetFloatv(GL_ALPHA_TEST_REF, &ref);
  EXPECT_FLOAT_EQ(ref, 0.0001f);
}

TEST_F(Renderer, EachLayerRunsUnderItsOwnState) {
  for (LayerState& s : gProbe) s = LayerState{};
  // Layers 0 and 1 inherit: start from a state no layer sets.
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_LESS, 0.5f);
  for (int layer = 0; layer < intermediateCommand::kLayerCount; ++layer) {
    list.setCurrentLayer(layer);
    ASSERT_TRUE(list.record<cmdProbe>(layer));
  }
  list.setCurrentLayer(0);
  renderer.update();
  for (const LayerState& s : gProbe) ASSERT_TRUE(s.seen);
  EXPECT_FALSE(gProbe[0].blend);
  EXPECT_EQ(gProbe[1].src, GL_ONE);
  EXPECT_EQ(gProbe[1].alphaFunc, GL_LESS);
  // 2: nothing blends or is discarded.
  EXPECT_FALSE(gProbe[2].blend);
  EXPECT_FALSE(gProbe[2].alphaTest);
  // 3 and 4: alpha blending, alpha test above 0.001.
  for (int layer : {3, 4}) {
    EXPECT_TRUE(gProbe[layer].blend) << layer;
    EXPECT_EQ(gProbe[layer].src, GL_SRC_ALPHA) << layer;
    EXPECT_EQ(gProbe[layer].dst, GL_ONE_MINUS_SRC_ALPHA) << layer;
    EXPECT_TRUE(gProbe[layer].alphaTest) << layer;
    EXPECT_EQ(gProbe[layer].alphaFunc, GL_GREATER) << layer;
    EXPECT_FLOAT_EQ(gProbe[layer].alphaRef, 0.001f) << layer;
  }
  // 5: destination-alpha blend.
  EXPECT_TRUE(gProbe[5].blend);
  EXPECT_EQ(gProbe[5].src, GL_ONE_MINUS_DST_ALPHA);
  EXPECT_EQ(gProbe[5].dst, GL_ZERO);
  EXPECT_TRUE(gProbe[5].alphaTest);
  EXPECT_FLOAT_EQ(gProbe[5].alphaRef, 0.001f);
  // 6: the overlay: alpha blending without alpha test.
  EXPECT_TRUE(gProbe[6].blend);
  EXPECT_EQ(gProbe[6].src, GL_SRC_ALPHA);
  EXPECT_FALSE(gProbe[6].alphaTest);
  // Executed and reset.
  EXPECT_EQ(list.layerCount(6), 0u);
}

TEST_F(Renderer, ClosingFadeCoversTheWholeViewportDespiteCulling) {
  clearTo(1.0f, 1.0f, 1.0f);
  drawMaterial* m = list.newMaterial();
  ASSERT_NE(m, nullptr);
  m->red = 0.2f;
  m->green = 0.4f;
  m->blue = 0.6f;
  m->alpha = 1.0f;
  recordFade(m);
  ASSERT_TRUE(glIsEnabled(GL_CULL_FACE));
  renderer.update();
  expectEverywhere(51, 102, 153);

  // Half transparent black over white: mid grey everywhere.
  clearTo(1.0f, 1.0f, 1.0f);
  m = list.newMaterial();
  m->red = m->green = m->blue = 0.0f;
  m->alpha = 0.5f;
  recordFade(m);
  renderer.update();
  expectEverywhere(128, 128, 128);
  // The matrices are restored.
  GLint depth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
}

TEST_F(Renderer, QuadsWithoutTextureLeaveTexturingAsItWas) {
  drawMaterial* m = list.newMaterial();
  m->red = 1.0f;
  m->green = m->blue = 0.0f;
  for (const bool enabled : {false, true}) {
    clearTo(0, 0, 0);
    if (enabled) {
      glEnable(GL_TEXTURE_2D);
    } else {
      glDisable(GL_TEXTURE_2D);
    }
    recordFade(m);
    renderer.update();
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), enabled ? GL_TRUE : GL_FALSE);
    glDisable(GL_TEXTURE_2D);
  }
  expectEverywhere(255, 0, 0);
}

TEST_F(Renderer, TexturedQuadSamplesTheTextureAndUnbindsIt) {
  textureManager::instance().setNonPowerOfTwo(true);
  cTexture t;
  t.create(2, 2, 1, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_TEXTURE_2D, GL_NEAREST, GL_CLAMP_TO_EDGE, 1);
  for (int i = 0; i < 4; ++i) {
    const uint8_t c[4][4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255}};
    for (int k = 0; k < 4; ++k) t.pixels()[i * 4 + k] = c[i][k];
  }
  t.upload();
  clearTo(0, 0, 0);
  drawMaterial* m = list.newMaterial();
  m->texture = &t;
  recordFade(m);
  renderer.update();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLint bound = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(bound, 0);
  // y points down in the fade's projection: texel row 0 (t = 0) sits at the
  // top of the screen, texel column 0 at the left.
  const auto px = gl.readPixels(0, 0, kW, kH);
  auto at = [&](int x, int y) {
    const size_t i = (static_cast<size_t>(y) * kW + static_cast<size_t>(x)) * 4;
    return std::vector<int>{px[i], px[i + 1], px[i + 2]};
  };
  EXPECT_EQ(at(10, kH - 10), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(at(kW - 10, kH - 10), (std::vector<int>{0, 255, 0}));
  EXPECT_EQ(at(10, 10), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(at(kW - 10, 10), (std::vector<int>{255, 255, 0}));
}

TEST_F(Renderer, QuadWithoutAnyMaterialDrawsNothing) {
  clearTo(0, 0, 1);
  list.setCurrentMaterial(nullptr);
  list.drawQuad(1, 1);
  renderer.update();
  expectEverywhere(0, 0, 255);
}

TEST_F(Renderer, CaptureReadsTheFrontBufferBottomRowFirst) {
  textureManager::instance().setNonPowerOfTwo(false);
  drawFrontHalves();
  glReadBuffer(GL_BACK);
  const std::unique_ptr<cTexture> t = renderer.captureToTexture(kW, kH);
  ASSERT_NE(t->pixels(), nullptr);
  EXPECT_EQ(t->width(), 512u);  // rounded for a card without NPOT textures
  EXPECT_EQ(t->usedWidth(), static_cast<uint32_t>(kW));
  EXPECT_EQ(t->usedHeight(), static_cast<uint32_t>(kH));
  const size_t stride = t->width() * 4;
  const uint8_t* row0 = t->pixels();
  const uint8_t* top = t->pixels() + (kH - 1) * stride;
  EXPECT_EQ(row0[0], 255);
  EXPECT_EQ(row0[1], 0);
  EXPECT_EQ(row0[2], 0);
  EXPECT_EQ(row0[(kH / 2 - 1) * stride], 255);
  EXPECT_EQ(row0[3], 255);
  EXPECT_EQ(top[(kW - 1) * 4 + 2], 255);
  EXPECT_EQ(top[(kW - 1) * 4 + 0], 0);
  EXPECT_EQ(top[(kW - 1) * 4 + 1], 0);
  EXPECT_EQ(row0[(kH / 2) * stride + 2], 255);
  EXPECT_EQ(top[(kW - 1) * 4 + 3], 255);
  // The read buffer is given back.
  GLint readBuffer = 0;
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  EXPECT_EQ(readBuffer, GL_BACK);
  EXPECT_FALSE(renderer.captureScreen(nullptr, kW, kH));
  EXPECT_FALSE(renderer.captureScreen("x.png", 0, kH));
}

// Reads the frame back when told, as a capture does.
class ReadBack final : public PresentObserver {
 public:
  explicit ReadBack(rendererManager& r) : renderer(r), pixels(static_cast<size_t>(kW) * kH * 4) {}
  void beforePresent() override {
    ++calls;
    renderer.readBackBuffer(pixels.data(), kW, kH);
  }
  rendererManager& renderer;
  std::vector<uint8_t> pixels;
  int calls = 0;
};

TEST_F(Renderer, ThePresentObserverReadsTheBackBufferBeforeTheSwap) {
  // Back buffer: bottom half red, top half blue.
  clearTo(0, 0, 1);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, kW, kH / 2);
  clearTo(1, 0, 0);
  glDisable(GL_SCISSOR_TEST);
  // A read buffer left on the front must not decide what is read.
  glReadBuffer(GL_FRONT);
  ReadBack observer(renderer);
  renderer.setPresentObserver(&observer);
  renderer.endFrame();
  renderer.setPresentObserver(nullptr);
  renderer.endFrame();
  EXPECT_EQ(observer.calls, 1);
  const uint8_t* row0 = observer.pixels.data();
  const uint8_t* top = row0 + static_cast<size_t>(kH - 1) * kW * 4;
  EXPECT_EQ(row0[0], 255);
  EXPECT_EQ(row0[2], 0);
  EXPECT_EQ(top[(kW - 1) * 4 + 0], 0);
  EXPECT_EQ(top[(kW - 1) * 4 + 2], 255);
  glReadBuffer(GL_BACK);
}

// Decodes an RGBA or RGB PNG into RGBA rows, top row first.
bool readPng(const std::string& path, uint32_t& w, uint32_t& h, std::vector<uint8_t>& rgba) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  w = image.width;
  h = image.height;
  rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

TEST_F(Renderer, CaptureScreenWritesAPngOfWhatWasDrawn) {
  drawFrontHalves();
  testing_support::TempDir dir;
  const std::string file = dir.file("capture.png");
  ASSERT_TRUE(renderer.captureScreen(file.c_str(), kW, kH));
  uint32_t w = 0, h = 0;
  std::vector<uint8_t> px;
  ASSERT_TRUE(readPng(file, w, h, px));
  EXPECT_EQ(w, static_cast<uint32_t>(kW));
  EXPECT_EQ(h, static_cast<uint32_t>(kH));
  // The file's first row is the top of the screen: blue; its last, red.
  EXPECT_EQ(px[2], 255);
  EXPECT_EQ(px[0], 0);
  EXPECT_EQ(px[3], 255);
  const size_t last = static_cast<size_t>(kH - 1) * kW * 4;
  EXPECT_EQ(px[last], 255);
  EXPECT_EQ(px[last + 2], 0);
}

// The frame's path through the list allocates nothing.
TEST_F(Renderer, RecordingExecutingAndResettingAllocateNothing) {
  auto frame = [&] {
    drawMaterial* m = list.newMaterial();
    m->alpha = 0.5f;
    recordFade(m);
    renderer.update();
  };
  // The software driver builds its shader variants on first use.
  for (int i = 0; i < 10; ++i) frame();
  size_t before = testing_support::allocationCount();
  // The counter does see allocations (a direct call: a new-expression
  // paired with its delete may be elided by the optimiser).
  void* probe = ::operator new(sizeof(int));
  const size_t seen = testing_support::allocationCount() - before;
  ::operator delete(probe);
  EXPECT_EQ(seen, 1u);
  before = testing_support::allocationCount();
  for (int i = 0; i < 50; ++i) frame();
  const size_t during = testing_support::allocationCount() - before;
  EXPECT_EQ(during, 0u);
}

}  // namespace
