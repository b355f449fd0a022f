// The scene-file renderer drawn on a software GL context: camera field of
// view, scene time, fixed-view objects, visibility, material records and a
// frame that allocates nothing.
#include "render_fixture.h"
#include "support/allocation_counter.h"

namespace render_testing {
namespace {

class QdfRenderTest : public RenderGlTest {
 protected:
  void SetUp() override {
    RenderGlTest::SetUp();
    if (IsSkipped()) return;
    scenes = ResourceRef<resQDF>::load("data\\scene\\test.qdf");
    ASSERT_TRUE(scenes);
    ASSERT_EQ(scenes->scenes().size(), 4u);
    renderer.setDrawContext(&context);
    renderer.bindScene(scenes.get());
  }
  // Row 45 is the camera's horizon; x = -3 lands on column 130 at 30
  // degrees and on column 103 at 60 degrees (eye 10 units away).
  std::vector<uint8_t> row(int x) const { return pixel(x, 45); }

  ResourceRef<resQDF> scenes;
  cQdfRender renderer;
};

TEST_F(QdfRenderTest, FieldOfViewFollowsTheCameraKey) {
  struct Case {
    const char* scene;
    int lit, dark;
  } cases[] = {{"fov30", 130, 103}, {"fov60", 103, 130}};
  for (const Case& c : cases) {
    clear();
    renderer.drawSceneByName(c.scene, 0.0f);
    EXPECT_TRUE(isColour(row(c.lit), 255, 0, 0)) << c.scene;
    EXPECT_TRUE(isColour(row(c.dark), 0, 0, 0)) << c.scene;
  }
  EXPECT_EQ(cameraManager::instance().position(), glm::vec3(0, 0, 10));
  EXPECT_EQ(lightManager::instance().position(), glm::vec3(0, 0, -10));
  EXPECT_EQ(context.eye, glm::vec3(0, 0, 10)) << "the effects read the context's";
  EXPECT_EQ(context.light, glm::vec3(0, 0, -10));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  float m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_EQ(m[0], 1.0f) << "the projection was popped";

  clear();
  renderer.drawSceneByName("no such scene", 0.0f);
  renderer.drawSceneByName("fov3", 0.0f);
  EXPECT_TRUE(isColour(row(130), 0, 0, 0));
}

// The camera's last key time is 12 (not the second camera object's 8, nor
// the marker's own 24): progress 0.5 is t = 6, where the marker, moving 1
// unit per second from x = -6, crosses x = 0.
TEST_F(QdfRenderTest, ProgressRunsOverTheCameraDuration) {
  struct Case {
    float progress;
    int lit, dark;
  } cases[] = {{0.5f, 80, 130}, {0.25f, 130, 80}};
  for (const Case& c : cases) {
    clear();
    renderer.drawSceneByName("timing", c.progress);
    EXPECT_TRUE(isColour(row(c.lit), 255, 0, 0)) << c.progress;
    EXPECT_TRUE(isColour(row(c.dark), 0, 0, 0)) << c.progress;
  }
}

// "layers": a red marker following the camera at the centre, then a large
// green one with the fixed view behind it in depth, a blue one with
// Visible 2 at x = 3 and a large blue fixed-view one with Visible 2.
TEST_F(QdfRenderTest, FixedViewObjectsDrawWithoutDepthTestAndVisibleTwoIsSkipped) {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  renderer.drawSceneByName("layers", 0.0f);
  EXPECT_TRUE(isColour(row(80), 0, 255, 0)) << "drawn over the nearer red marker";
  EXPECT_TRUE(isColour(row(94), 0, 255, 0));
  EXPECT_TRUE(isColour(row(130), 0, 0, 0));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(cameraManager::instance().position(), glm::vec3(0, 0, -1));
  EXPECT_EQ(lightManager::instance().position(), glm::vec3(0, 1000, 1000));
  EXPECT_EQ(context.eye, glm::vec3(0, 0, -1));
  EXPECT_EQ(context.light, glm::vec3(0, 1000, 1000));
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_EQ(m[0], 1.0f);
  EXPECT_EQ(m[14], 0.0f) << "every view was popped";
}

// Without the camera: object 0 onwards, only the objects that follow the
// camera, under the caller's projection and view.
TEST_F(QdfRenderTest, WithoutCameraDrawsOnlyCameraFollowers) {
  unitOrtho();
  renderer.drawSceneAt(3, 0.0f, 0);
  EXPECT_TRUE(isColour(at(0, 0), 255, 0, 0));
  EXPECT_TRUE(isColour(at(1, 0), 0, 0, 0)) << "the fixed-view object is not drawn";
  EXPECT_EQ(cameraManager::instance().position(), glm::vec3(0, 0, -1));
  float m[16];
  glGetFloatv(GL_PROJECTION_MATRIX, m);
  EXPECT_FLOAT_EQ(m[0], 0.25f) << "the caller's projection stays";
}

TEST_F(QdfRenderTest, MaterialRecordsReplaceAndRestore) {
  MqoMaterial record = scenes->modelInSlot(0)->getMaterial(0);
  record.col = glm::vec4(0, 0, 1, 1);
  renderer.modelMaterial(0, 0, &record);
  renderer.drawSceneByName("fov30", 0.0f);
  EXPECT_TRUE(isColour(row(130), 0, 0, 255));
  renderer.modelMaterial(0, 0, nullptr);
  clear();
  renderer.drawSceneByName("fov30", 0.0f);
  EXPECT_TRUE(isColour(row(130), 255, 0, 0));
  renderer.modelMaterial(0, 7, &record);  // no such material: nothing
  renderer.modelMaterial(9, 0, &record);  // empty slot: nothing
}

TEST_F(QdfRenderTest, BindingHoldsTheFileAndOneModelReferencePerObject) {
  resMQO* red = scenes->modelInSlot(0);
  const int fileRefs = scenes->refCount;
  const int redRefs = red->refCount;
  ASSERT_EQ(renderer.sceneCount(), 4u);
  ASSERT_NE(renderer.objectRenderer(3, 4), nullptr);
  EXPECT_EQ(renderer.objectRenderer(3, 5), nullptr);
  EXPECT_EQ(renderer.objectRenderer(0, 0)->model(), nullptr) << "the camera object has no model";
  EXPECT_EQ(renderer.objectRenderer(0, 1)->animation(), &scenes->scenes()[0].objects[1]);
  renderer.unbindScene();
  EXPECT_EQ(scenes->refCount, fileRefs - 1);
  EXPECT_EQ(red->refCount, redRefs - 4) << "red is in four scenes";
  EXPECT_EQ(renderer.sceneCount(), 0u);
  {
    cQdfRender other;
    other.bindScene(scenes.get());
    EXPECT_EQ(scenes->refCount, fileRefs - 1 + 1);
  }
  EXPECT_EQ(scenes->refCount, fileRefs - 1) << "the destructor unbinds";
}

TEST_F(QdfRenderTest, SceneFramesAllocateNothingAfterWarmUp) {
  glEnable(GL_DEPTH_TEST);
  float progress = 0.0f;
  auto frame = [&] {
    clear();
    progress += 0.01f;
    renderer.drawSceneByName("timing", progress);
    renderer.drawSceneByName("layers", progress);
  };
  for (int i = 0; i < 5; ++i) frame();
  const size_t before = testing_support::allocationCount();
  for (int i = 0; i < 30; ++i) frame();
  EXPECT_EQ(testing_support::allocationCount() - before, 0u);
}

}  // namespace
}  // namespace render_testing
