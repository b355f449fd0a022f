// A pack of small models, effects, textures and one scene file for the
// render-object tests, and a GL fixture that loads them.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace render_testing {

// 16:9 like the scene camera, so a unit of the scene lands on whole pixels.
constexpr int kW = 160;
constexpr int kH = 90;

// Textured, tinted by "shMqoColor" with its alpha premultiplied, so an alpha
// shows in an opaque frame buffer.
inline const char kProbeEffect[] = R"(
float4x4 shVProjMat;
float4 shMqoColor = {1, 1, 1, 1};
float TIME_RATE;
sampler2D shBaseTexture;
void vs() { gl_Position = shVProjMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }
void fs() {
  vec3 texel = texture2D(shBaseTexture, gl_TexCoord[0].xy).rgb;
  gl_FragColor = vec4(texel * shMqoColor.rgb * shMqoColor.a, 1.0);
}
technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)";

// The line override of the tests: the material colour with red and blue
// swapped.
inline const char kSwapEffect[] = R"(
float4x4 shVProjMat;
float4 shMqoColor = {1, 1, 1, 1};
void vs() { gl_Position = shVProjMat * gl_Vertex; }
void fs() { gl_FragColor = vec4(shMqoColor.bgr, 1.0); }
technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)";

// The standard parameters as a colour: eye x, light y, Kd z x shininess / 8.
// Its pass turns depth writes off, which the pass reset must undo.
inline const char kStandardEffect[] = R"(
float4x4 shVProjMat;
float3 shEyePos;
float3 shLightPos;
float4 shKd;
float shShininess;
void vs() { gl_Position = shVProjMat * gl_Vertex; }
void fs() { gl_FragColor = vec4(shEyePos.x, shLightPos.y, shKd.z * shShininess / 8.0, 1.0); }
technique t {
  pass p { DepthMask = false; VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); }
}
)";

// A 1 x 1 32-bit BMP: file and info headers (54 bytes), then B, G, R, A.
inline std::vector<uint8_t> solidBmp(uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> out(58, 0);
  out[0] = 'B', out[1] = 'M', out[2] = 58, out[10] = 54, out[14] = 40;
  out[18] = 1, out[22] = 1, out[26] = 1, out[28] = 32;
  out[54] = b, out[55] = g, out[56] = r, out[57] = 255;
  return out;
}

inline MqoMaterial material(glm::vec4 col, const char* texture = "data\\texture\\white.bmp") {
  MqoMaterial m;
  m.col = col;
  m.texturePath = texture;
  m.secondTexturePath = "data\\texture\\white.bmp";
  m.effectPath = "data\\shader\\probe.cgfx";
  return m;
}

// An axis-aligned rectangle in the z = 0 plane, two triangles.
inline MqoObject rectangle(const char* name, int32_t depth, uint32_t materialIndex, float cx, float cy,
                           float halfW, float halfH) {
  MqoObject o;
  o.name = name;
  o.depth = depth;
  o.positions = {{cx - halfW, cy - halfH, 0}, {cx + halfW, cy - halfH, 0}, {cx + halfW, cy + halfH, 0},
                 {cx - halfW, cy + halfH, 0}};
  o.vertexCount = 4;
  MqoFace f;
  f.cornerCount = 3;
  f.material = materialIndex;
  f.index[0] = 0, f.index[1] = 1, f.index[2] = 2;
  o.faces.push_back(f);
  f.index[0] = 0, f.index[1] = 2, f.index[2] = 3;
  o.faces.push_back(f);
  o.faceCount = 2;
  return o;
}

// One 0.5 x 0.5 square named "m" at the origin in one colour.
inline std::vector<uint8_t> marker(glm::vec4 col) {
  MqoModel model;
  model.materials.push_back(material(col));
  model.objects.push_back(rectangle("m", 0, 0, 0, 0, 0.25f, 0.25f));
  return writeBinaryModel(model);
}

// Objects a (depth 0, red), b (depth 1, green), c (depth 0, blue): squares
// at x = -2 and 0 and a horizontal bar at x = 2 pivoting on its point.
inline std::vector<uint8_t> tree() {
  MqoModel model;
  model.materials = {material({1, 0, 0, 1}), material({0, 1, 0, 1}), material({0, 0, 1, 1})};
  model.objects = {rectangle("a", 0, 0, -2, 0, 0.25f, 0.25f), rectangle("b", 1, 1, 0, 0, 0.25f, 0.25f),
                   rectangle("c", 0, 2, 2, 0, 0.5f, 0.1f)};
  model.points[">c"] = glm::vec3(2, 0, 0);
  return writeBinaryModel(model);
}

// One square "m" with a yellow texture and alpha 0.8.
inline std::vector<uint8_t> translucent() {
  MqoModel model;
  model.materials = {material({1, 1, 1, 0.8f}, "data\\texture\\yellow.bmp")};
  model.objects = {rectangle("m", 0, 0, 0, 0, 0.25f, 0.25f)};
  return writeBinaryModel(model);
}

inline const char kScenes[] = R"(QScene Demo File
Format Text Ver 1.0
render tests
MQO {
0 "data\model\red.mqo"
1 "data\model\green.mqo"
2 "data\model\blue.mqo"
}
Scene "fov30" {
Object -1 { DataNum 1 Time { 0 }
  Part "camera_pos" { Position { 0 0 10 } Rotation { 0 0 0 } }
  Part "camera_lookat" { Position { 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { -3 0 0 } } }
}
Scene "fov60" {
Object -1 { DataNum 1 Time { 0 }
  Part "camera_pos" { Position { 0 0 10 } Rotation { 0 0.5235988 0 } }
  Part "camera_lookat" { Position { 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { -3 0 0 } } }
}
Scene "timing" {
Object -1 { DataNum 2 Time { 0 12 }
  Part "camera_pos" { Position { 0 0 10 0 0 10 } }
  Part "camera_lookat" { Position { 0 0 0 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 2 Time { 0 24 } Part "m" { Position { -6 0 0 18 0 0 } } }
Object -1 { DataNum 2 Time { 0 8 } }
}
Scene "layers" {
Object -1 { DataNum 1 Time { 0 }
  Part "camera_pos" { Position { 0 0 10 } }
  Part "camera_lookat" { Position { 0 0 0 } } }
Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { 0 0 0 } } }
Object 1 { CameraTrans 0 Visible 1 DataNum 1 Time { 0 } Part "m" { Position { 0 0 -20 } Scale { 8 8 8 } } }
Object 2 { CameraTrans 1 Visible 2 DataNum 1 Time { 0 } Part "m" { Position { 3 0 0 } } }
Object 2 { CameraTrans 0 Visible 2 DataNum 1 Time { 0 } Part "m" { Position { 0 0 -20 } Scale { 8 8 8 } } }
}
Eof
)";

class RenderGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    std::vector<PackSource> files = {
        {kDummyShaderName, testing_support::sourceFile("production/data/core/shader/dummyShader.cgfx")},
        {"data\\shader\\probe.cgfx", testing_support::bytes(kProbeEffect)},
        {"data\\shader\\swap.cgfx", testing_support::bytes(kSwapEffect)},
        {"data\\shader\\standard.cgfx", testing_support::bytes(kStandardEffect)},
        {"data\\texture\\white.bmp", solidBmp(255, 255, 255)},
        {"data\\texture\\yellow.bmp", solidBmp(255, 255, 0)},
        {"data\\model\\red.bmdl", marker({1, 0, 0, 1})},
        {"data\\model\\green.bmdl", marker({0, 1, 0, 1})},
        {"data\\model\\blue.bmdl", marker({0, 0, 1, 1})},
        {"data\\model\\tree.bmdl", tree()},
        {"data\\model\\translucent.bmdl", translucent()},
        {"data\\scene\\test.qdf", testing_support::bytes(kScenes)},
    };
    testing_support::installPack(dir, files);
    cameraManager::instance().setPosition(0, 0, 0);
    lightManager::instance().setPosition(0, 0, 0);
    glViewport(0, 0, kW, kH);
    context.matrices = &matrices;
    matrices.loadIntoGl();
    glDisable(GL_DEPTH_TEST);
    clear();
  }

  void clear() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  // Scene units to pixels: x in [-4, 4], y in [-2.25, 2.25].
  void unitOrtho() {
    matrices.matrixMode(MatrixStack::Projection);
    matrices.loadIdentity();
    matrices.ortho(-4, 4, -2.25, 2.25, -100, 100);
    matrices.matrixMode(MatrixStack::ModelView);
  }

  std::vector<uint8_t> pixel(int x, int y) const { return gl.readPixels(x, y, 1, 1); }
  // The pixel at scene position (x, y) under unitOrtho.
  std::vector<uint8_t> at(float x, float y) const {
    return pixel(static_cast<int>((x + 4.0f) * 20.0f), static_cast<int>((y + 2.25f) * 20.0f));
  }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir dir;
  // What the renderers draw with (setDrawContext).
  MatrixStack matrices;
  DrawContext context;
};

inline ::testing::AssertionResult isColour(const std::vector<uint8_t>& p, int r, int g, int b) {
  if (p.size() == 4 && std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel " << int(p[0]) << "," << int(p[1]) << "," << int(p[2])
                                       << " is not " << r << "," << g << "," << b;
}

}  // namespace render_testing
