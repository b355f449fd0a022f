// Effects on a real (software) GL context: technique choice, fallback
// sharing, matrices, samplers, pass states and the core effects' pictures.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

#include "shader/shader.h"
#include "support/gl_context.h"
#include "support/support.h"

namespace {

// The matrices GL holds now, as the drawing code's matrix stack gives them.
StateMatrices currentGlMatrices() {
  static float modelView[16], projection[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  return {modelView, projection};
}

using testing_support::bytes;

constexpr int kW = 64;
constexpr int kH = 64;

std::vector<uint8_t> coreEffect(const std::string& file) {
  return testing_support::sourceFile("production/data/core/shader/" + file);
}

std::string coreName(const std::string& file) { return "data\\core\\shader\\" + file; }

// A white-by-vertex-colour effect with a model-view-projection parameter.
const char kFlat[] = R"(
float4x4 mvp : WORLDVIEWPROJ;
float4 col = {1, 1, 1, 1};
void vs() { gl_Position = mvp * gl_Vertex; }
void fs() { gl_FragColor = col; }
technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)";

class EffectGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    std::vector<PackSource> files;
    for (const char* f : {"dummyShader.cgfx", "defaultShader.cgfx", "finalScreenShader.cgfx",
                          "nullPostEffect.cgfx", "msaa.cgfx"})
      files.push_back({coreName(f), coreEffect(f)});
    for (auto& e : extra) files.push_back(e);
    testing_support::installPack(dir, files);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  void TearDown() override {
    for (resShader* r : held) releaseEffect(r);
    for (GLuint t : textures) glDeleteTextures(1, &t);
  }

  resShader* load(const std::string& name) {
    resShader* r = loadEffect(name.c_str());
    if (r) held.push_back(r);
    return r;
  }
  void release(resShader* r) {
    for (auto it = held.begin(); it != held.end(); ++it) {
      if (*it == r) {
        held.erase(it);
        break;
      }
    }
    releaseEffect(r);
  }
  void add(const std::string& name, const std::string& text) { extra.push_back({name, bytes(text)}); }

  GLuint texture(int w, int h, const std::vector<uint8_t>& rgba, GLenum filter = GL_NEAREST) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    textures.push_back(t);
    return t;
  }
  GLuint solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a) { return texture(1, 1, {r, g, b, a}); }

  // A unit-square quad under the unit-square projection, as full-screen
  // passes draw it, with "projMat" bound first.
  void quad(resShader* e, uint32_t pass, float x0 = 0, float y0 = 0, float x1 = 1, float y1 = 1) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    e->setStateMatrix("projMat", 0x81, currentGlMatrices());
    e->setPassState(pass);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0, 1);
    glVertex3f(x0, y1, 0);
    glTexCoord2f(0, 0);
    glVertex3f(x0, y0, 0);
    glTexCoord2f(1, 1);
    glVertex3f(x1, y1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(x1, y0, 0);
    glEnd();
    e->resetPassState(pass);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
  }

  std::vector<uint8_t> pixel(int x, int y) { return gl.readPixels(x, y, 1, 1); }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir dir;
  std::vector<PackSource> extra;
  std::vector<resShader*> held;
  std::vector<GLuint> textures;
};

void expectColour(const std::vector<uint8_t>& p, int r, int g, int b, int tolerance = 2) {
  ASSERT_EQ(p.size(), 4u);
  EXPECT_NEAR(p[0], r, tolerance);
  EXPECT_NEAR(p[1], g, tolerance);
  EXPECT_NEAR(p[2], b, tolerance);
}

// ---------------------------------------------------------------------------

class TechniqueTest : public EffectGlTest {
 protected:
  void SetUp() override {
    add("data\\shader\\choice.cgfx", R"(
void vs() { gl_Position = ftransform(); }
void broken() { gl_FragColor = notDeclared; }
void red() { gl_FragColor = vec4(1, 0, 0, 1); }
void green() { gl_FragColor = vec4(0, 1, 0, 1); }
technique doesNotCompile { pass a { VertexProgram = compile vp vs(); FragmentProgram = compile fp broken(); } }
technique unknownState { pass a { FogEnable = true; FragmentProgram = compile fp red(); } }
technique good { pass a { FragmentProgram = compile fp green(); } pass b { DepthMask = false; } }
technique alsoGood { pass a { FragmentProgram = compile fp red(); } }
)");
    add("data\\shader\\syntax.cgfx", "float4 col = {1, 0, 0, 1}\nvoid fs() {}");
    add("data\\shader\\nopass.cgfx", "technique empty { }");
    EffectGlTest::SetUp();
  }
};

TEST_F(TechniqueTest, FirstValidTechniqueWinsWithItsPassesInOrder) {
  resShader* e = load("data\\shader\\choice.cgfx");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->fallback(), nullptr);
  EXPECT_EQ(e->effectHandle()->techniqueName(), "good");
  ASSERT_EQ(e->passCount(), 2u);
  EXPECT_EQ(e->effectHandle()->passName(1), "b");
  quad(e, 0);
  expectColour(pixel(kW / 2, kH / 2), 0, 255, 0);
}

TEST_F(TechniqueTest, FailuresNameFileTechniquePassAndCompilerLog) {
  ::testing::internal::CaptureStderr();
  resShader* e = load("data\\shader\\choice.cgfx");
  resShader* s = load("data\\shader\\syntax.cgfx");
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_NE(e, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_NE(log.find("shader: data\\shader\\choice.cgfx: technique \"doesNotCompile\" pass \"a\": "
                     "fragment program 'broken' failed to compile:\n"),
            std::string::npos)
      << log;
  // Mesa's log, with the line mapped back to the effect file (line 3).
  EXPECT_NE(log.find("0:3("), std::string::npos) << log;
  EXPECT_NE(log.find("notDeclared"), std::string::npos) << log;
  EXPECT_NE(log.find("shader: data\\shader\\choice.cgfx(7): technique \"unknownState\" pass \"a\": "
                     "unknown state 'FogEnable'"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("shader: data\\shader\\syntax.cgfx:2: expected ';'"), std::string::npos) << log;
  // The techniques after the chosen one are never compiled.
  EXPECT_EQ(log.find("alsoGood"), std::string::npos);
}

TEST_F(TechniqueTest, CheckToolPrintsTheChosenTechniqueAndTable) {
  testing_support::TempDir files;
  testing_support::writeFile(files.file("ok.cgfx"), coreEffect("msaa.cgfx"));
  testing_support::writeFile(files.file("bad.cgfx"), bytes("float4 a;\nvoid fs() { gl_FragColor = b; }\n"
                                                           "technique t { pass p { FragmentProgram = compile fp fs(); } }"));
  const auto ok = testing_support::runCommand(testing_support::builtProgram("vesper-effectc") + " " +
                                              files.file("ok.cgfx"));
  EXPECT_EQ(ok.exitStatus, 0) << ok.stdErr;
  EXPECT_NE(ok.stdOut.find("technique: accumulate (1 of 1)"), std::string::npos) << ok.stdOut;
  EXPECT_NE(ok.stdOut.find("pass 2: divide"), std::string::npos);
  EXPECT_NE(ok.stdOut.find("parameter: div                  semantic: -              type: float"),
            std::string::npos)
      << ok.stdOut;
  const auto bad = testing_support::runCommand(testing_support::builtProgram("vesper-effectc") + " " +
                                               files.file("bad.cgfx"));
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_NE(bad.stdOut.find("no valid technique"), std::string::npos);
  EXPECT_NE(bad.stdErr.find("technique \"t\" pass \"p\": fragment program 'fs' failed to compile"),
            std::string::npos)
      << bad.stdErr;
}

TEST_F(TechniqueTest, UnusableEffectsShareTheFallbackWithoutDestroyingIt) {
  resShader* dummy = load(coreName("dummyShader.cgfx"));
  ASSERT_NE(dummy, nullptr);
  EXPECT_EQ(dummy->refCount, 1);
  resShader* syntax = load("data\\shader\\syntax.cgfx");
  resShader* nopass = load("data\\shader\\nopass.cgfx");
  ASSERT_NE(syntax, nullptr);
  ASSERT_NE(nopass, nullptr);
  EXPECT_EQ(syntax->fallback(), dummy);
  EXPECT_EQ(syntax->effectHandle(), dummy->effectHandle());
  EXPECT_EQ(nopass->effectHandle(), dummy->effectHandle());
  EXPECT_EQ(syntax->passCount(), dummy->passCount());
  EXPECT_EQ(dummy->refCount, 3);

  // The broken effect draws like the fallback (vertex colour).
  glColor4f(0, 0, 1, 1);
  quad(syntax, 0);
  expectColour(pixel(kW / 2, kH / 2), 0, 0, 255);

  release(syntax);
  release(nopass);
  EXPECT_EQ(dummy->refCount, 1);
  ASSERT_NE(dummy->effectHandle(), nullptr);
  glColor4f(1, 1, 0, 1);
  quad(dummy, 0);
  expectColour(pixel(kW / 2, kH / 2), 255, 255, 0);
  glColor4f(1, 1, 1, 1);
}

TEST_F(TechniqueTest, LoadingTheSameNameSharesOneResource) {
  resShader* a = load("data\\shader\\choice.cgfx");
  resShader* b = load("data\\shader\\choice.cgfx");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->refCount, 2);
  EXPECT_TRUE(a->reload());
  EXPECT_EQ(a->passCount(), 2u);
}

class BrokenDummyTest : public EffectGlTest {
 protected:
  void SetUp() override {
    add("data\\shader\\flat.cgfx", kFlat);
    EffectGlTest::SetUp();
    // Replace the fallback by one that cannot compile.
    std::vector<PackSource> files = {{coreName("dummyShader.cgfx"), bytes(R"(
void fs() { gl_FragColor = nothing; }
technique t { pass p { FragmentProgram = compile fp fs(); } }
)")},
                                     {"data\\shader\\flat.cgfx", bytes(kFlat)}};
    testing_support::installPack(dir, files);
  }
};

TEST_F(BrokenDummyTest, AGoodEffectLoadsWithoutNeedingTheFallback) {
  resShader* e = load("data\\shader\\flat.cgfx");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->fallback(), nullptr);
  EXPECT_EQ(e->passCount(), 1u);
}

// ---------------------------------------------------------------------------

class DrawTest : public EffectGlTest {
 protected:
  void SetUp() override {
    add("data\\shader\\flat.cgfx", kFlat);
    add("data\\shader\\matrix.cgfx", R"(
float4x4 M;
void vs() { gl_Position = M * gl_Vertex; }
void fs() { gl_FragColor = vec4(1.0); }
technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)");
    add("data\\shader\\samplers.cgfx", R"(
sampler2D nearestTex = sampler_state { MinFilter = Nearest; MagFilter = Nearest; WrapS = ClampToEdge; WrapT = ClampToEdge; };
sampler2D linearTex = sampler_state { MinFilter = Linear; MagFilter = Linear; WrapS = ClampToEdge; WrapT = ClampToEdge; };
float4x4 projMat;
float pick = 0;
void vs() { gl_Position = projMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }
void fs() {
  vec2 uv = gl_TexCoord[0].xy;
  gl_FragColor = pick < 0.5 ? texture2D(nearestTex, uv) : texture2D(linearTex, uv);
}
technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)");
    add("data\\shader\\states.cgfx", R"(
technique t { pass p {
  BlendEnable = true; BlendFunc = {SrcAlpha, OneMinusSrcAlpha}; BlendEquation = Max;
  DepthTestEnable = false; DepthFunc = Greater; DepthMask = false;
  CullFaceEnable = true; CullFace = Front;
  AlphaTestEnable = true; AlphaFunc = {GEqual, 0.25};
  ColorMask = {true, false, true, false}; PointSize = 4; LightingEnable = true;
  PointSpriteEnable = true; VertexProgramPointSizeEnable = true;
} }
)");
    EffectGlTest::SetUp();
  }
};

TEST_F(DrawTest, StateMatrixDrawsOnTheFixedFunctionPixels) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(50.0, 1.0, 0.5, 20.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.3f, -0.2f, -4.0f);
  glRotatef(35.0f, 0.3f, 1.0f, 0.2f);
  auto triangle = [] {
    glBegin(GL_TRIANGLES);
    glVertex3f(-1.2f, -0.9f, 0.4f);
    glVertex3f(1.4f, -0.6f, -0.3f);
    glVertex3f(-0.1f, 1.3f, 0.2f);
    glEnd();
  };
  glColor4f(1, 1, 1, 1);
  triangle();
  const auto fixed = gl.readPixels(0, 0, kW, kH);
  glClear(GL_COLOR_BUFFER_BIT);
  resShader* e = load("data\\shader\\flat.cgfx");
  ASSERT_EQ(e->fallback(), nullptr);
  e->setStateMatrix("mvp", 0x80, currentGlMatrices());
  e->setPassState(0);
  triangle();
  e->resetPassState(0);
  const auto shaded = gl.readPixels(0, 0, kW, kH);
  int covered = 0, differing = 0;
  for (size_t i = 0; i < fixed.size(); i += 4) {
    covered += fixed[i] > 128;
    differing += (fixed[i] > 128) != (shaded[i] > 128);
  }
  EXPECT_GT(covered, 300);
  EXPECT_LE(differing, 2);  // edge rounding only
  // The semantic binds the same matrix.
  glClear(GL_COLOR_BUFFER_BIT);
  e->setStateMatrix("WORLDVIEWPROJ", 0x81, currentGlMatrices());
  e->setPassState(0);
  triangle();
  e->resetPassState(0);
  EXPECT_EQ(gl.readPixels(0, 0, kW, kH), shaded);
}

TEST_F(DrawTest, RowMajorMatrixTranslatesAndInverseUndoes) {
  resShader* e = load("data\\shader\\matrix.cgfx");
  // Row-major: the translation sits in the last column.
  const float m[16] = {1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  e->setParameter("M", m);
  e->setPassState(0);
  glRectf(-0.25f, -0.25f, 0.25f, 0.25f);
  e->resetPassState(0);
  // NDC x 0.5 is column 48; the untranslated square would cover column 32.
  EXPECT_EQ(pixel(48, 32)[0], 255);
  EXPECT_EQ(pixel(30, 32)[0], 0);

  // Model-view inverse (0x14) of a translation by +0.5 moves it by -0.5.
  glClear(GL_COLOR_BUFFER_BIT);
  glTranslatef(0.5f, 0, 0);
  e->setStateMatrix("M", 0x14, currentGlMatrices());
  e->setPassState(0);
  glRectf(-0.25f, -0.25f, 0.25f, 0.25f);
  e->resetPassState(0);
  EXPECT_EQ(pixel(16, 32)[0], 255);
  EXPECT_EQ(pixel(34, 32)[0], 0);
}

TEST_F(DrawTest, SamplersBindTheirTextureWithTheirFilter) {
  resShader* e = load("data\\shader\\samplers.cgfx");
  ASSERT_EQ(e->fallback(), nullptr);
  // Two texels, red | green, stretched across the window; the textures are
  // created with the opposite filter to the sampler's.
  const std::vector<uint8_t> rg = {255, 0, 0, 255, 0, 255, 0, 255};
  const GLuint a = texture(2, 1, rg, GL_LINEAR);
  const GLuint b = texture(2, 1, rg, GL_NEAREST);
  e->setParameter("nearestTex", &a);
  e->setParameter("linearTex", &b);
  const float zero = 0, one = 1;
  e->setParameter("pick", &zero);
  quad(e, 0);
  expectColour(pixel(kW * 2 / 5, kH / 2), 255, 0, 0);
  GLint filter = 0;
  glBindTexture(GL_TEXTURE_2D, a);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_NEAREST);
  e->setParameter("pick", &one);
  quad(e, 0);
  const auto p = pixel(kW * 2 / 5, kH / 2);
  EXPECT_GT(p[0], 120);  // blended between the two texels
  EXPECT_GT(p[1], 40);
  glBindTexture(GL_TEXTURE_2D, b);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(DrawTest, ValueSetWhileThePassIsActiveTakesEffect) {
  resShader* e = load("data\\shader\\flat.cgfx");
  e->setStateMatrix("mvp", 0x81, currentGlMatrices());
  const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
  e->setParameter("col", red);
  e->setPassState(0);
  e->setParameter("col", green);
  glRectf(-1, -1, 1, 1);
  e->resetPassState(0);
  expectColour(pixel(10, 10), 0, 255, 0);
  // The current effect's forwarders reach the same storage.
  shaderManager::instance().setCurrentEffect(e);
  shaderManager::instance().setParameter("col", red);
  e->setPassState(0);
  glRectf(-1, -1, 1, 1);
  e->resetPassState(0);
  expectColour(pixel(10, 10), 255, 0, 0);
}

TEST_F(DrawTest, PassStatesAreAppliedAndRestored) {
  resShader* e = load("data\\shader\\states.cgfx");
  ASSERT_EQ(e->fallback(), nullptr);
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glBlendEquation(GL_FUNC_ADD);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glDisable(GL_ALPHA_TEST);
  glAlphaFunc(GL_ALWAYS, 0.0f);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glPointSize(1.0f);
  glDisable(GL_LIGHTING);
  glDisable(GL_POINT_SPRITE);
  glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);

  auto i = [](GLenum p) {
    GLint v = 0;
    glGetIntegerv(p, &v);
    return v;
  };
  auto f = [](GLenum p) {
    GLfloat v = 0;
    glGetFloatv(p, &v);
    return v;
  };
  auto mask = [] {
    GLboolean m[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, m);
    return std::vector<int>{m[0], m[1], m[2], m[3]};
  };
  e->setPassState(0);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(i(GL_BLEND_SRC_RGB), GL_SRC_ALPHA);
  EXPECT_EQ(i(GL_BLEND_DST_ALPHA), GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(i(GL_BLEND_EQUATION_RGB), GL_MAX);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(i(GL_DEPTH_FUNC), GL_GREATER);
  EXPECT_EQ(i(GL_DEPTH_WRITEMASK), GL_FALSE);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(i(GL_CULL_FACE_MODE), GL_FRONT);
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_EQ(i(GL_ALPHA_TEST_FUNC), GL_GEQUAL);
  EXPECT_FLOAT_EQ(f(GL_ALPHA_TEST_REF), 0.25f);
  EXPECT_EQ(mask(), (std::vector<int>{1, 0, 1, 0}));
  EXPECT_FLOAT_EQ(f(GL_POINT_SIZE), 4.0f);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_POINT_SPRITE));
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_PROGRAM_POINT_SIZE));
  e->resetPassState(0);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(i(GL_BLEND_SRC_RGB), GL_ONE);
  EXPECT_EQ(i(GL_BLEND_DST_ALPHA), GL_ZERO);
  EXPECT_EQ(i(GL_BLEND_EQUATION_RGB), GL_FUNC_ADD);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(i(GL_DEPTH_FUNC), GL_LESS);
  EXPECT_EQ(i(GL_DEPTH_WRITEMASK), GL_TRUE);
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_EQ(i(GL_CULL_FACE_MODE), GL_BACK);
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_EQ(i(GL_ALPHA_TEST_FUNC), GL_ALWAYS);
  EXPECT_EQ(mask(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_FLOAT_EQ(f(GL_POINT_SIZE), 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE));
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_PROGRAM_POINT_SIZE));
  EXPECT_EQ(i(GL_CURRENT_PROGRAM), 0);
}

// A run leaves the restores between passes out: each pass must still draw
// what it draws alone (a state the last pass set and this one does not is
// back first), and the state after the run is the one before it.
TEST_F(DrawTest, PassesInARunDrawAndRestoreLikeSeparatePasses) {
  resShader* msaa = load(coreName("msaa.cgfx"));
  resShader* states = load("data\\shader\\states.cgfx");
  ASSERT_EQ(msaa->fallback(), nullptr);
  const GLuint first = solid(80, 20, 0, 255), second = solid(40, 60, 20, 255);
  const float two = 2;
  msaa->setParameter("div", &two);
  const struct Step {
    resShader* effect;
    uint32_t pass;
    GLuint source;  // 0: none set
  } steps[] = {{msaa, 0, first}, {msaa, 1, second}, {states, 0, 0}, {msaa, 1, first}, {msaa, 2, 0}, {msaa, 0, second}};
  auto play = [&](bool inRun) {
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<std::vector<int>> seen;
    {
      std::unique_ptr<fx::PassRun> run(inRun ? new fx::PassRun : nullptr);
      for (const Step& step : steps) {
        if (step.source) step.effect->setParameter("srcColBuf0", &step.source);
        quad(step.effect, step.pass);
        const auto p = pixel(kW / 2, kH / 2);
        seen.emplace_back(p.begin(), p.end());
      }
    }
    GLint program = 0, src = 0, equation = 0, depthFunc = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_BLEND_SRC_RGB, &src);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &equation);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    seen.push_back({program, src, equation, depthFunc, glIsEnabled(GL_BLEND), glIsEnabled(GL_DEPTH_TEST),
                    glIsEnabled(GL_CULL_FACE), glIsEnabled(GL_LIGHTING), mask[1], mask[3]});
    return seen;
  };
  const auto separate = play(false);
  EXPECT_EQ(separate.back(), (std::vector<int>{0, GL_ONE, GL_FUNC_ADD, GL_ALWAYS, 0, 1, 0, 0, 1, 1}));
  EXPECT_EQ(play(true), separate);
}

// ---------------------------------------------------------------------------
// The core effects.

using CoreEffectTest = EffectGlTest;

TEST_F(CoreEffectTest, AllCompileWithoutFallingBack) {
  for (const char* f : {"dummyShader.cgfx", "defaultShader.cgfx", "finalScreenShader.cgfx",
                        "nullPostEffect.cgfx", "msaa.cgfx"}) {
    resShader* e = load(coreName(f));
    ASSERT_NE(e, nullptr) << f;
    EXPECT_EQ(e->fallback(), nullptr) << f;
  }
  EXPECT_EQ(load(coreName("finalScreenShader.cgfx"))->passCount(), 2u);
  EXPECT_EQ(load(coreName("msaa.cgfx"))->passCount(), 3u);
}

// The default model effect lights what the camera sees: a light at the
// viewer, the material's own factors (Metasequoia's defaults when the pass
// sets none), the texel tinted by the material colour.
TEST_F(CoreEffectTest, DefaultShaderLightsWhatTheCameraSeesWithTheMaterialsFactors) {
  resShader* e = load(coreName("defaultShader.cgfx"));
  ASSERT_EQ(e->fallback(), nullptr);
  const GLuint orange = solid(255, 128, 0, 255);
  glMatrixMode(GL_PROJECTION);
  glFrustum(-1, 1, -1, 1, 1, 10);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(0, 0, -2);
  struct Case {
    const char* what;
    glm::vec3 normal;
    glm::vec4 colour;
    float emi, spc;
    int r, g, b;
  } cases[] = {
      // ambient 0.6 x 0.1 + diffuse 0.8 x 1, times the texel (1, 0.5, 0)
      {"facing the camera", {0, 0, 1}, {1, 1, 1, 1}, 0, 0, 219, 110, 0},
      {"turned 60 degrees", {0.8660254f, 0, 0.5f}, {1, 1, 1, 1}, 0, 0, 117, 59, 0},
      {"facing away", {0, 0, -1}, {1, 1, 1, 1}, 0, 0, 15, 8, 0},
      {"facing away, self-lit", {0, 0, -1}, {1, 1, 1, 1}, 1, 0, 255, 135, 0},
      {"tinted cyan", {0, 0, 1}, {0, 1, 1, 1}, 0, 0, 0, 110, 0},
      {"with a highlight", {0, 0, 1}, {1, 1, 1, 1}, 0, 0.5f, 255, 238, 128},
  };
  for (const Case& c : cases) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    e->setStateMatrix("shWorldMat", 0x11, currentGlMatrices());
    e->setStateMatrix("shVProjMat", 0x80, currentGlMatrices());
    e->setParameter("shBaseTexture", &orange);
    e->setParameter("shMqoColor", &c.colour.x);
    e->setParameter("shMqoEmi", &c.emi);
    e->setParameter("shMqoSpc", &c.spc);
    e->setPassState(0);
    glBegin(GL_QUADS);
    glNormal3f(c.normal.x, c.normal.y, c.normal.z);
    glTexCoord2f(0, 0);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(1, -1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(1, 1, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-1, 1, 0);
    glEnd();
    e->resetPassState(0);
    SCOPED_TRACE(c.what);
    expectColour(pixel(kW / 2, kH / 2), c.r, c.g, c.b, 3);
  }
}

TEST_F(CoreEffectTest, FinalScreenDrawsTheBufferInsideBlackBars) {
  resShader* e = load(coreName("finalScreenShader.cgfx"));
  const GLuint screen = solid(40, 200, 90, 255);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  e->setParameter("shScreenTexture", &screen);
  quad(e, 1);
  quad(e, 0, 0.0f, 0.125f, 1.0f, 0.875f);  // 4:3 letterbox
  expectColour(pixel(kW / 2, kH / 2), 40, 200, 90);
  expectColour(pixel(kW / 2, kH - 2), 0, 0, 0);
  expectColour(pixel(kW / 2, 2), 0, 0, 0);
}

TEST_F(CoreEffectTest, NullPostEffectComposesLaterLinesOverEarlierOnes) {
  resShader* e = load(coreName("nullPostEffect.cgfx"));
  const GLuint clear = solid(0, 0, 0, 0);
  const GLuint red = solid(255, 0, 0, 255);
  const GLuint halfBlue = solid(0, 0, 255, 128);
  const GLuint green = solid(0, 255, 0, 255);
  auto compose = [&](const std::vector<GLuint>& lines) {
    for (int i = 0; i < 10; ++i) {
      const std::string name = "srcCBuf" + std::to_string(i);
      e->setParameter(name.c_str(), &lines[static_cast<size_t>(i)]);
    }
    glClear(GL_COLOR_BUFFER_BIT);
    for (uint32_t p = 0; p < e->passCount(); ++p) quad(e, p);
    return pixel(kW / 2, kH / 2);
  };
  std::vector<GLuint> lines(10, clear);
  lines[0] = red;
  lines[5] = halfBlue;
  expectColour(compose(lines), 127, 0, 128, 3);
  lines[9] = green;
  expectColour(compose(lines), 0, 255, 0);
  lines.assign(10, clear);
  lines[3] = halfBlue;
  expectColour(compose(lines), 0, 0, 255, 3);  // alone, a line keeps its colour
}

TEST_F(CoreEffectTest, MsaaCopiesAddsAndDivides) {
  resShader* e = load(coreName("msaa.cgfx"));
  const GLuint first = solid(80, 20, 0, 255);
  const GLuint second = solid(40, 60, 20, 255);
  glClearColor(0.5f, 0.5f, 0.5f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  e->setParameter("srcColBuf0", &first);
  quad(e, 0);
  expectColour(pixel(kW / 2, kH / 2), 80, 20, 0);
  e->setParameter("srcColBuf0", &second);
  quad(e, 1);
  expectColour(pixel(kW / 2, kH / 2), 120, 80, 20);
  const float two = 2;
  e->setParameter("div", &two);
  quad(e, 2);
  expectColour(pixel(kW / 2, kH / 2), 60, 40, 10);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));  // restored after the blended passes
}

}  // namespace
