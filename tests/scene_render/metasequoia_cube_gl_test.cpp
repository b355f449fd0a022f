// A cube saved the way Metasequoia saves it (each face's corners clockwise
// seen from its front), converted as mqo2bmdl converts it, and drawn by the
// scene renderer under the renderer's own state (back faces culled) with the
// default model effect and no light of the production's: the side facing
// the camera is drawn, lit, in its material's colour; from inside, nothing.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>

#include "model/model.h"
#include "model/mqo_text.h"
#include "render/render.h"
#include "render_fixture.h"

namespace render_testing {
namespace {

// The +z face is orange, every other face blue; factors as Metasequoia
// writes them, without specular so the colour is exact.
const char kCube[] =
    "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
    "Material 2 {\r\n"
    "\t\"front\" shader(3) col(1.000 0.500 0.000 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) power(5.00)\r\n"
    "\t\"rest\" shader(3) col(0.200 0.450 0.900 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) power(5.00)\r\n"
    "}\r\n"
    "Object \"cube\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n"
    "\tvertex 8 {\r\n"
    "\t\t-1 1 1\r\n\t\t-1 -1 1\r\n\t\t1 1 1\r\n\t\t1 -1 1\r\n"
    "\t\t1 1 -1\r\n\t\t1 -1 -1\r\n\t\t-1 1 -1\r\n\t\t-1 -1 -1\r\n"
    "\t}\r\n"
    "\tface 6 {\r\n"
    "\t\t4 V(0 2 3 1) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(2 4 5 3) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(4 6 7 5) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(6 0 1 7) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(6 4 2 0) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(1 3 5 7) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t}\r\n}\r\nEof\r\n";

// The scene camera's z is negated: a camera at scene -z looks at the +z
// side, the side Metasequoia's front view shows.
const char kScenes[] = R"(QScene Demo File
Format Text Ver 1.0
cube
MQO {
0 "data\model\cube.mqo"
}
Scene "outside" {
Object -1 { DataNum 1 Time { 0 }
  Part "camera_pos" { Position { 0 0 -5 } }
  Part "camera_lookat" { Position { 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "cube" { Position { 0 0 0 } } }
}
Scene "inside" {
Object -1 { DataNum 1 Time { 0 }
  Part "camera_pos" { Position { 0 0 -0.5 } }
  Part "camera_lookat" { Position { 0 0 1 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "cube" { Position { 0 0 0 } } }
}
Eof
)";

std::vector<uint8_t> convertedCube() {
  MqoModel model;
  std::string error;
  int line = 0;
  if (!parseMqoText(kCube, sizeof kCube - 1, model, error, line)) {
    ADD_FAILURE() << line << ": " << error;
    return {};
  }
  return writeBinaryModel(model);
}

TEST(MetasequoiaCubeTest, FrontFacesDrawLitAndBackFacesAreCulled) {
  testing_support::GlContext gl{kW, kH};
  if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
  testing_support::TempDir dir;
  testing_support::installPack(
      dir, {{kDummyShaderName, testing_support::sourceFile("production/data/core/shader/dummyShader.cgfx")},
            {kDefaultModelEffect, testing_support::sourceFile("production/data/core/shader/defaultShader.cgfx")},
            {kDefaultModelTexture, solidBmp(255, 255, 255)},
            {"data\\model\\cube.bmdl", convertedCube()},
            {"data\\scene\\cube.qdf", testing_support::bytes(kScenes)}});
  ResourceRef<resQDF> scenes = ResourceRef<resQDF>::load("data\\scene\\cube.qdf");
  ASSERT_TRUE(scenes);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  ASSERT_TRUE(rendererManager::instance().initialize());  // the player's default state
  glViewport(0, 0, kW, kH);
  MatrixStack matrices;
  matrices.loadIntoGl();
  DrawContext context;
  context.matrices = &matrices;
  cQdfRender renderer;
  renderer.setDrawContext(&context);
  renderer.bindScene(scenes.get());
  struct Case {
    const char* scene;
    int r, g, b;
  } cases[] = {
      // The orange face, ambient 0.6 x 0.1 plus diffuse 0.8 at full light.
      {"outside", 219, 110, 0},
      // Every face turns its back to a camera inside the cube.
      {"inside", 0, 0, 0},
  };
  for (const Case& c : cases) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    renderer.drawSceneByName(c.scene, 0.0f);
    const std::vector<uint8_t> centre = gl.readPixels(kW / 2, kH / 2, 1, 1);
    ASSERT_EQ(centre.size(), 4u);
    EXPECT_NEAR(centre[0], c.r, 4) << c.scene;
    EXPECT_NEAR(centre[1], c.g, 4) << c.scene;
    EXPECT_NEAR(centre[2], c.b, 4) << c.scene;
  }
  renderer.unbindScene();
  glPopAttrib();
}

}  // namespace
}  // namespace render_testing
