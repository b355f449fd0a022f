// Scene animation files over real models (which need a GL context): parts
// named by the model's objects, part blocks matched by name, the model
// references the scene resource holds, and slot lookup by name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formats/formats.h"
#include "model/model.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "texture/test_images.h"

namespace {

using ::testing::HasSubstr;

std::vector<uint8_t> twoObjectModel() {
  MqoModel m;
  m.materials.resize(1);
  for (const char* name : {"body", "arm"}) {
    MqoObject o;
    o.name = name;
    o.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    MqoFace f;
    f.cornerCount = 3;
    f.index[1] = 1;
    f.index[2] = 2;
    o.faces = {f};
    m.objects.push_back(o);
  }
  return writeBinaryModel(m);
}

class QdfGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    using testing_support::bytes;
    using testing_support::sourceFile;
    const uint8_t white[] = {255, 255, 255};
    testing_support::installPack(
        dir, {{kDefaultModelTexture, test_images::stbBmp(1, 1, 3, white)},
              {kDefaultModelEffect, sourceFile("production/data/core/shader/defaultShader.cgfx")},
              {"data\\core\\shader\\dummyShader.cgfx", sourceFile("production/data/core/shader/dummyShader.cgfx")},
              {"data\\model\\robot.bmdl", twoObjectModel()},
              {"data\\qdf\\robot.qdf",
               bytes("QScene Demo File\nFormat Text Ver 1.0\nx\nMQO {\n\t4 \"data\\model\\robot.mqo\"\n}\n"
                     "Scene \"walk\" {\n"
                     "\tObject 4 {\n\t\tVisible 1\n\t\tDataNum 2\n\t\tTime { 0 1 }\n"
                     "\t\tPart \"arm\" {\n\t\t\tRotation { 0 0 0 0 1.5 0 }\n\t\t}\n"
                     "\t\tPart \"leg\" {\n\t\t\tAlpha { 0 0 }\n\t\t}\n"
                     "\t\tPart \"body\" {\n\t\t\tPosition { 0 0 0 2 4 6 }\n\t\t\tAlpha { 1 0 }\n\t\t}\n"
                     "\t}\n}\nEof\n")}});
  }
  void TearDown() override {
    if (!gl.ok()) return;
    EXPECT_TRUE(resourceManager::instance().cachedResources().empty()) << "a resource was leaked";
  }

  testing_support::GlContext gl{64, 64};
  testing_support::TempDir dir;
};

TEST_F(QdfGlTest, PartsFollowTheModelsObjects) {
  testing::internal::CaptureStderr();
  ResourceRef<resQDF> qdf = ResourceRef<resQDF>::load("data\\qdf\\robot.qdf");
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(qdf);
  EXPECT_THAT(err, HasSubstr("qdf: data\\qdf\\robot.qdf:15: part \"leg\" names no object of model "
                             "data\\model\\robot.bmdl (object slot 4), skipped\n"));

  resMQO* robot = qdf->modelInSlot(4);
  ASSERT_NE(robot, nullptr);
  EXPECT_EQ(robot->refCount, 1) << "the scene holds the only reference";
  EXPECT_EQ(qdf->findModelSlot("robot"), 4);
  EXPECT_EQ(qdf->findModelSlot("robot.mqo"), -1);

  ASSERT_EQ(qdf->scenes().size(), 1u);
  const QdfObject& object = qdf->scenes()[0].objects.at(0);
  EXPECT_EQ(object.model, robot);
  ASSERT_EQ(object.parts.size(), 2u);
  EXPECT_EQ(object.parts.at("arm").size(), 2u);
  EXPECT_EQ(evaluateKey(object, "arm", 0.5f).rotation, glm::vec3(0, 0.75f, 0));
  const QdfKey body = evaluateKey(object, "body", 0.5f);
  EXPECT_EQ(body.position, glm::vec3(1, 2, 3));
  EXPECT_EQ(body.alpha, 0.5f);
  EXPECT_EQ(evaluateKey(object, "arm", 0.5f).alpha, 1.0f) << "the unknown part's values went nowhere";

  // Unloading gives the model back; the model's own resources go with it.
  qdf->unload();
  EXPECT_EQ(resourceManager::instance().cachedResources().size(), 1u);
}

}  // namespace
