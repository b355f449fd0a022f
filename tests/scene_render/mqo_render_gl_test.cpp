// The pass loop, the model renderer and the instance renderer drawn on a
// software GL context and checked by pixel.
#include <cstring>

#include "render_fixture.h"
#include "support/allocation_counter.h"

namespace render_testing {
namespace {

using ModelRef = ResourceRef<resMQO>;

QdfObject animation(std::map<std::string, QdfKey> keys) {
  QdfObject object;
  object.slot = 0;
  object.times = {0.0f};
  for (auto& [part, key] : keys) object.parts[part] = {key};
  return object;
}

QdfKey moved(glm::vec3 position) {
  QdfKey k;
  k.position = position;
  return k;
}

bool identity(GLenum which) {
  float m[16];
  glGetFloatv(which, m);
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
}

// Draws a triangle over the left half and a fan over the right half of the
// unit-square projection, both through the immediate lists.
class HalvesObject : public cRenderObject {
 public:
  void draw(uint32_t) override {
    ImmediateVertex a, b, c;
    a.x = -1, a.y = -1, b.x = 0, b.y = -1, c.x = -1, c.y = 3;
    addTriangle(a, b, c);
    for (auto [x, y] : {std::pair{0.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}}) {
      ImmediateVertex v;
      v.x = x, v.y = y;
      addFanVertex(v);
    }
  }
};

TEST_F(RenderGlTest, PassLoopDrawsImmediateListsWithStandardParameters) {
  resShader* effect = loadEffect("data\\shader\\standard.cgfx");
  ASSERT_NE(effect, nullptr);
  ASSERT_EQ(effect->fallback(), nullptr);
  context.eye = glm::vec3(0.2f, 0.0f, 0.0f);
  context.light = glm::vec3(0.0f, 0.4f, 0.0f);
  HalvesObject object;
  object.setDrawContext(&context);
  object.setEffect(effect);
  auto frame = [&] {
    clear();
    object.render(0.0f);
  };
  frame();
  EXPECT_TRUE(isColour(pixel(20, 45), 51, 102, 153));
  EXPECT_TRUE(isColour(pixel(140, 45), 51, 102, 153));
  EXPECT_EQ(object.triangleVertexCount(), 0u);
  EXPECT_EQ(object.fanVertexCount(), 0u);
  EXPECT_EQ(shaderManager::instance().currentEffect(), effect);
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_TRUE(depthMask) << "the pass state was reset once, to what it was before";
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));

  // The lists keep their storage: later frames allocate nothing.
  for (int i = 0; i < 3; ++i) frame();
  const size_t before = testing_support::allocationCount();
  for (int i = 0; i < 20; ++i) frame();
  EXPECT_EQ(testing_support::allocationCount() - before, 0u);
  releaseEffect(effect);
}

// Depths 0, 1, 0: b nests under a; going back to depth 0 pops one level
// only, so c still carries a's transform beneath its own.
TEST_F(RenderGlTest, AnimatedObjectsNestByDepth) {
  ModelRef model = ModelRef::load("data\\model\\tree.mqo");
  ASSERT_TRUE(model);
  QdfKey turned;
  turned.rotation.z = 1.5707963f;
  const QdfObject keys = animation({{"a", moved({0, 1, 0})}, {"c", turned}});
  cMqoRender renderer;
  renderer.setDrawContext(&context);
  renderer.setModel(model.get(), &keys);
  EXPECT_EQ(renderer.materialCount(), 3u);
  unitOrtho();
  renderer.render(0.0f);

  EXPECT_TRUE(isColour(at(-2, 1), 255, 0, 0));
  EXPECT_TRUE(isColour(at(-2, 0), 0, 0, 0));
  EXPECT_TRUE(isColour(at(0, 1), 0, 255, 0)) << "b under a";
  EXPECT_TRUE(isColour(at(0, 0), 0, 0, 0));
  // c: turned a quarter about its own point (2, 0), raised by a's key.
  EXPECT_TRUE(isColour(at(2, 1.4f), 0, 0, 255));
  EXPECT_TRUE(isColour(at(2, 0.6f), 0, 0, 255));
  EXPECT_TRUE(isColour(at(2.4f, 1), 0, 0, 0));
  EXPECT_TRUE(isColour(at(2, 0), 0, 0, 0));
  EXPECT_TRUE(identity(GL_MODELVIEW_MATRIX)) << "every push was popped";
  EXPECT_EQ(matrices.modelView(), glm::mat4(1.0f));
}

TEST_F(RenderGlTest, KeyAlphaScalesMaterialAlpha) {
  ModelRef model = ModelRef::load("data\\model\\translucent.mqo");
  ASSERT_TRUE(model);
  QdfKey half;
  half.alpha = 0.5f;
  const QdfObject keys = animation({{"m", half}});
  struct Case {
    const QdfObject* animation;
    float alpha;
  } cases[] = {{nullptr, 0.8f}, {&keys, 0.4f}};
  for (const Case& c : cases) {
    clear();
    cMqoRender renderer;
    renderer.setDrawContext(&context);
    renderer.setModel(model.get(), c.animation);
    unitOrtho();
    renderer.render(2.0f);
    // The yellow texture tinted by white at the given alpha.
    const int level = static_cast<int>(c.alpha * 255.0f + 0.5f);
    EXPECT_TRUE(isColour(at(0, 0), level, level, 0)) << c.alpha;
    resShader* effect = renderer.getEffect();
    ASSERT_NE(effect, nullptr);
    for (const shaderParam& p : effect->parameters()) {
      const float* v = effect->effectHandle()->slot(p.handle)->v;
      if (p.name == "shMqoColor") {
        EXPECT_FLOAT_EQ(v[3], c.alpha);
      } else if (p.name == "TIME_RATE") {
        EXPECT_FLOAT_EQ(v[0], 2.0f);
      }
    }
  }
}

struct RecordedTextures : CustomTextureSource {
  void apply(resShader* e) const override { applied.push_back(e); }
  mutable std::vector<resShader*> applied;
};

TEST_F(RenderGlTest, LineOverrideDrawsEveryMaterialWithOwnColour) {
  ModelRef model = ModelRef::load("data\\model\\tree.mqo");
  ASSERT_TRUE(model);
  RecordedTextures textures;
  resShader* swap = loadEffect("data\\shader\\swap.cgfx");
  ASSERT_NE(swap, nullptr);
  context.overrideEffect = swap;
  context.customTextures = &textures;
  cMqoRender renderer;
  renderer.setDrawContext(&context);
  renderer.setModel(model.get(), nullptr);
  unitOrtho();
  renderer.render(0.0f);
  EXPECT_TRUE(isColour(at(-2, 0), 0, 0, 255)) << "red material, red and blue swapped";
  EXPECT_TRUE(isColour(at(0, 0), 0, 255, 0));
  EXPECT_TRUE(isColour(at(2.4f, 0), 255, 0, 0));
  EXPECT_EQ(textures.applied, std::vector<resShader*>(3, swap));
  releaseEffect(swap);
}

TEST_F(RenderGlTest, MassRendererDrawsEachInstanceUnderItsMatrix) {
  ModelRef model = ModelRef::load("data\\model\\red.mqo");
  ASSERT_TRUE(model);
  cMassMqoRender crowd;
  crowd.setDrawContext(&context);
  crowd.setModel(model.get(), nullptr);
  unitOrtho();
  for (uint32_t m = 0; m < crowd.materialCount(); ++m) {
    crowd.setMaterialParameters(m, 1.0f, 0.0f);
    for (uint32_t p = 0; p < crowd.passCount(); ++p) {
      crowd.beginMaterial(0.0f, p, m, 1.0f);
      for (float x : {-1.0f, 1.5f}) {
        matrices.push();
        matrices.translate(x, 0.5f, 0.0f);
        crowd.bindInstanceMatrices();
        crowd.drawInstance();
        matrices.pop();
      }
      crowd.endMaterial();
    }
  }
  EXPECT_TRUE(isColour(at(-1, 0.5f), 255, 0, 0));
  EXPECT_TRUE(isColour(at(1.5f, 0.5f), 255, 0, 0));
  EXPECT_TRUE(isColour(at(0, 0), 0, 0, 0));
}

TEST_F(RenderGlTest, ModelReferenceIsHeldUntilReleased) {
  ModelRef model = ModelRef::load("data\\model\\red.mqo");
  ASSERT_TRUE(model);
  {
    cMqoRender renderer;
    renderer.setModel(model.get(), nullptr);
    renderer.setModel(model.get(), nullptr);  // replaces, not adds
    EXPECT_EQ(model->refCount, 2);
    renderer.releaseModel();
    EXPECT_EQ(model->refCount, 1);
    renderer.setModel(model.get(), nullptr);
  }
  EXPECT_EQ(model->refCount, 1) << "the destructor released it";
}

}  // namespace
}  // namespace render_testing
