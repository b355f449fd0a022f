// Render-object rules that need no GL: camera and light positions, the
// camera frustum, scene duration, the pass loop without an effect.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_render/scene_render.h"

namespace {

TEST(CameraAndLight, StartAtTheOriginAndKeepTheLastWrite) {
  EXPECT_EQ(cameraManager::instance().position(), glm::vec3(0.0f));
  EXPECT_EQ(lightManager::instance().position(), glm::vec3(0.0f));
  cameraManager::instance().setPosition(1.0f, -2.0f, 3.5f);
  lightManager::instance().setPosition(-4.0f, 5.0f, 6.0f);
  EXPECT_EQ(cameraManager::instance().position(), glm::vec3(1.0f, -2.0f, 3.5f));
  EXPECT_EQ(lightManager::instance().position(), glm::vec3(-4.0f, 5.0f, 6.0f));
}

TEST(CameraFrustum, FieldOfViewAndJitterShift) {
  const double h30 = 0.1 * std::tan(15.0 * M_PI / 180.0);
  const double h60 = 0.1 * std::tan(30.0 * M_PI / 180.0);
  struct Case {
    float rotationY;
    glm::vec2 jitter;
    glm::ivec2 viewport;
    double h, dx, dy;
  } cases[] = {
      {0.0f, {0, 0}, {0, 0}, h30, 0, 0},
      // 30 degrees more: the rotation converts with 180 / 3.141592.
      {0.5235988f, {0, 0}, {0, 0}, h60, 0, 0},
      // Aspect stays 16:9 whatever the viewport.
      {0.0f, {0, 0}, {100, 100}, h30, 0, 0},
      {0.0f, {0.5f, -0.25f}, {320, 180}, h30, -2 * 1.7777778 * h30 * 0.5 / 320, 2 * h30 * 0.25 / 180},
      // No viewport known: nothing to shift by.
      {0.0f, {0.5f, 0.5f}, {0, 0}, h30, 0, 0},
  };
  for (const Case& c : cases) {
    const CameraFrustum f = cameraFrustum(c.rotationY, c.jitter, c.viewport);
    EXPECT_NEAR(f.left, -1.7777778 * c.h + c.dx, 1e-7) << c.rotationY;
    EXPECT_NEAR(f.right, 1.7777778 * c.h + c.dx, 1e-7);
    EXPECT_NEAR(f.bottom, -c.h + c.dy, 1e-7);
    EXPECT_NEAR(f.top, c.h + c.dy, 1e-7);
    EXPECT_DOUBLE_EQ(f.zNear, 0.1);
    EXPECT_DOUBLE_EQ(f.zFar, 150.0);
  }
}

TEST(SceneDuration, LargestLastTimeAmongCameraObjects) {
  QdfScene scene;
  EXPECT_EQ(sceneDuration(scene), 0.0f);
  QdfObject model;
  model.slot = 0;
  model.times = {0.0f, 30.0f};
  scene.objects.push_back(model);
  EXPECT_EQ(sceneDuration(scene), 0.0f) << "model objects do not count";
  QdfObject camera;
  camera.slot = -1;
  camera.times = {0.0f, 12.0f};
  scene.objects.push_back(camera);
  camera.times = {0.0f, 20.0f, 8.0f};  // the last time, not the largest
  scene.objects.push_back(camera);
  camera.times.clear();
  scene.objects.push_back(camera);
  EXPECT_EQ(sceneDuration(scene), 12.0f);
}

class CountingObject : public cRenderObject {
 public:
  void draw(uint32_t pass) override { passes.push_back(pass); }
  std::vector<uint32_t> passes;
};

TEST(RenderObject, WithoutEffectDrawsOncePlain) {
  CountingObject object;
  EXPECT_EQ(object.getEffect(), nullptr);
  object.render(1.0f);
  EXPECT_EQ(object.passes, std::vector<uint32_t>{0});
}

}  // namespace
