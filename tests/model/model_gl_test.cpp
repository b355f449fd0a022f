// The model resource on a software GL context: material resources through
// the resource manager, draw units, points, materials and one drawn picture.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "model/model.h"
#include "shader/shader.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "texture/test_images.h"
#include "texture/texture.h"

namespace {

constexpr int kW = 64;
constexpr int kH = 64;

std::vector<uint8_t> coreEffect(const std::string& file) {
  return testing_support::sourceFile("production/data/core/shader/" + file);
}

MqoFace face(uint32_t corners, uint32_t material, std::initializer_list<uint32_t> index) {
  MqoFace f;
  f.cornerCount = corners;
  f.material = material;
  std::copy(index.begin(), index.end(), f.index);
  return f;
}

MqoObject object(const char* name, std::vector<MqoFace> faces) {
  MqoObject o;
  o.name = name;
  o.positions = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
  o.faces = std::move(faces);
  return o;
}

// Two objects, three materials with default resources; material 2 has no
// faces in object 1.
std::vector<uint8_t> threeMaterials() {
  MqoModel m;
  m.materials.resize(3);
  m.materials[1].col = {1, 0, 0, 1};
  m.objects = {object("body", {face(3, 0, {0, 1, 2}), face(3, 2, {0, 2, 3})}),
               object("arm", {face(3, 1, {0, 1, 2})})};
  m.points[">>body"] = {1, 2, 3};
  return writeBinaryModel(m);
}

// One quad (drawn as its first three corners) and one line, every corner
// at the middle of the texture.
std::vector<uint8_t> quadAndLine() {
  MqoModel m;
  m.materials.resize(1);
  m.objects = {object("quad", {face(4, 0, {0, 1, 2, 3}), face(2, 0, {3, 0})})};
  for (MqoFace& f : m.objects[0].faces) {
    for (auto& uv : f.uv) uv[0] = uv[1] = 0.5f;
  }
  return writeBinaryModel(m);
}

std::vector<uint8_t> failingSecondEffect() {
  MqoModel m;
  m.materials.resize(2);
  m.materials[1].effectPath = "data\\shader\\empty.cgfx";
  m.objects = {object("o", {face(3, 1, {0, 1, 2})})};
  return writeBinaryModel(m);
}

class ModelGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    savedNpot = textureManager::instance().nonPowerOfTwo();
    textureManager::instance().setNonPowerOfTwo(false);
    // 3x1 red, green, yellow: stored 4 wide, so its s scale is 0.75.
    const uint8_t texels[] = {255, 0, 0, 0, 255, 0, 255, 255, 0};
    testing_support::installPack(
        dir, {{kDefaultModelTexture, test_images::stbBmp(3, 1, 3, texels)},
              {kDefaultModelEffect, coreEffect("defaultShader.cgfx")},
              {"data\\core\\shader\\dummyShader.cgfx", coreEffect("dummyShader.cgfx")},
              {"data\\shader\\empty.cgfx", {}},
              {"data\\model\\three.bmdl", threeMaterials()},
              {"data\\model\\quad.bmdl", quadAndLine()},
              {"data\\model\\badfx.bmdl", failingSecondEffect()},
              {"data\\model\\broken.bmdl", testing_support::bytes("NOVABMDX")}});
    ASSERT_TRUE(manager().cachedResources().empty());
  }
  void TearDown() override {
    if (!gl.ok()) return;
    EXPECT_TRUE(manager().cachedResources().empty()) << "a resource was leaked";
    textureManager::instance().setNonPowerOfTwo(savedNpot);
  }

  static resourceManager& manager() { return resourceManager::instance(); }
  static resourceObject* cached(const char* name) {
    for (resourceObject* r : manager().cachedResources()) {
      if (r->getName() == name) return r;
    }
    return nullptr;
  }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir dir;
  bool savedNpot = false;
};

TEST_F(ModelGlTest, MaterialsShareDefaultsAndEveryPairGetsADrawUnit) {
  ResourceRef<resMQO> model = ResourceRef<resMQO>::load("data\\model\\three.mqo");
  ASSERT_TRUE(model);
  ResourceRef<resMQO> again = ResourceRef<resMQO>::load("data\\model\\three.bmdl");
  EXPECT_EQ(again.get(), model.get());
  EXPECT_EQ(model->refCount, 2);
  EXPECT_EQ(model->getName(), "data\\model\\three.bmdl");
  again.reset();

  // Two default textures and one default effect per material, one resource each.
  resourceObject* texture = cached(kDefaultModelTexture);
  resourceObject* effect = cached(kDefaultModelEffect);
  ASSERT_NE(texture, nullptr);
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(texture->refCount, 6);
  EXPECT_EQ(effect->refCount, 3);
  EXPECT_EQ(model->getTexture(0, 1), model->getTexture(1, 2));
  EXPECT_EQ(model->getTexture(0, 1), static_cast<resTexture*>(texture)->texture());
  EXPECT_EQ(model->getTexture(2, 0), nullptr);
  EXPECT_EQ(model->getMaterialEffect(2), effect);

  ASSERT_EQ(model->getObjectCount(), 2u);
  ASSERT_EQ(model->getMaterialCount(), 3u);
  EXPECT_EQ(model->getObject(1).name, "arm");
  std::vector<uint32_t> lists;
  for (uint32_t i = 0; i < 3; ++i) {
    lists.push_back(model->getMaterialList(i));
    for (uint32_t j = 0; j < 2; ++j) lists.push_back(model->getObjectMaterialList(j, i));
  }
  std::sort(lists.begin(), lists.end());
  EXPECT_EQ(std::unique(lists.begin(), lists.end()), lists.end()) << "draw units share a name";
  for (uint32_t list : lists) EXPECT_TRUE(glIsList(list)) << list;

  EXPECT_EQ(model->findPoint(">>body"), glm::vec3(1, 2, 3));
  EXPECT_EQ(model->findPoint("body"), glm::vec3(1, 2, 3));
  EXPECT_EQ(model->findPoint("arm"), glm::vec3(0));

  MqoMaterial changed = model->getMaterial(1);
  changed.col = {0, 0, 1, 0.5f};
  changed.texturePath = "other.png";
  model->copyMaterial(1, changed);
  EXPECT_EQ(model->getMaterial(1).col, changed.col);
  EXPECT_EQ(model->getMaterial(1).texturePath, "other.png");
  model->restoreMaterial(1);
  EXPECT_EQ(model->getMaterial(1).col, glm::vec4(1, 0, 0, 1));
  EXPECT_EQ(model->getMaterial(1).texturePath, "");

  // Unloading deletes the lists and gives every material resource back.
  const uint32_t first = lists.front();
  model.reset();
  EXPECT_FALSE(glIsList(first));
}

TEST_F(ModelGlTest, FailedMaterialReleasesWhatTheModelLoaded) {
  ResourceRef<resTexture> held = ResourceRef<resTexture>::load(kDefaultModelTexture);
  ASSERT_TRUE(held);
  testing::internal::CaptureStderr();
  EXPECT_EQ(manager().load("data\\model\\badfx.bmdl"), nullptr);
  EXPECT_EQ(manager().load("data\\model\\broken.bmdl"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "model: data\\model\\badfx.bmdl: material 1: data\\shader\\empty.cgfx did not load\n"
            "model: data\\model\\broken.bmdl: wrong magic\n");
  EXPECT_EQ(held->refCount, 1);
  EXPECT_EQ(cached(kDefaultModelEffect), nullptr);
  EXPECT_EQ(manager().cachedResources().size(), 1u);
}

TEST_F(ModelGlTest, MaterialListDrawsTheFirstThreeCornersWithTheScaledTexture) {
  ResourceRef<resMQO> model = ResourceRef<resMQO>::load("data\\model\\quad.bmdl");
  ASSERT_TRUE(model);
  const cTexture* texture = model->getTexture(0, 0);
  ASSERT_NE(texture, nullptr);
  ASSERT_FLOAT_EQ(texture->sScale(), 0.75f);

  glViewport(0, 0, kW, kH);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture->glName());
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glCallList(model->getMaterialList(0));
  glDisable(GL_TEXTURE_2D);
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_NORMAL_ARRAY) ||
               glIsEnabled(GL_TEXTURE_COORD_ARRAY));

  // s = 0.5 lands on the middle texel of the image only once scaled; the
  // unscaled coordinate would blend green with yellow.
  const std::vector<uint8_t> inside = gl.readPixels(40, 24, 1, 1);
  EXPECT_NEAR(inside[0], 0, 3);
  EXPECT_NEAR(inside[1], 255, 3);
  EXPECT_NEAR(inside[2], 0, 3);
  // The quad's fourth corner adds nothing; nor does the line.
  for (const auto& [x, y] : {std::pair{24, 40}, std::pair{4, 4}, std::pair{60, 60}}) {
    const std::vector<uint8_t> outside = gl.readPixels(x, y, 1, 1);
    EXPECT_EQ(outside[0] + outside[1] + outside[2], 0) << x << "," << y;
  }
}

}  // namespace
