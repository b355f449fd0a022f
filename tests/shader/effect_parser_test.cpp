// Effect files without GL: parsing, leaf tables, program text, parameter
// setting into the effect's storage, extension checks and the fatal
// fallback path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "shader/shader.h"
#include "support/support.h"

namespace {

using testing_support::bytes;

const char kRich[] = R"(
// comment with technique { inside
#define SCALE 2.0
struct Light { float4 color : LIGHTCOLOR; float3 pos; };
uniform Light light;
Light lights[2];
float4 arr[3] : ARRSEM = {1, 2, 3, 4,  5, 6, 7, 8,  9, 10, 11, 12};
float4 eye : shEyePos = {0, 0, 0, 1};
float4 shEyePos;
float3 alsoEye : shEyePos;
float4x4 world : WORLD <string UIName = "World"; float UIMin = -1;>;
float3x3 rot;
int count = 3;
samplerRECT rect;
string title = "a title";
half2 h;
sampler2D tex = sampler_state { MinFilter = LinearMipMapLinear; MagFilter = Nearest; WrapS = ClampToEdge; };
attribute vec3 tangent;
varying vec2 uv;
static const float kHalf = 0.5;
float helper(float x) { return x * SCALE; }
float unused(float x) { return x; }
void vs() { uv = gl_MultiTexCoord0.xy + tangent.xy * helper(kHalf); gl_Position = ftransform(); }
void fs() { gl_FragColor = texture2D(tex, uv) * light.color; }
technique first <string note = "x";> {
  pass p0 { BlendFunc = int2(SrcAlpha, OneMinusSrcAlpha); AlphaFunc = float2(Greater, -0.5);
            VertexProgram = compile vp40 vs(); FragmentProgram = compile fp40 fs(); }
  pass { DepthTestEnable = false; }
}
technique second { pass only { ColorMask = {true, false, true, true}; } };
)";

std::vector<std::string> names(const fx::Effect& e) {
  std::vector<std::string> out;
  for (const auto& p : e.parameters()) out.push_back(p.name);
  return out;
}

const fx::ParamSlot& slotOf(const fx::Effect& e, const std::string& name) {
  for (const auto& p : e.parameters()) {
    if (p.name == name) return *e.slot(p.handle);
  }
  ADD_FAILURE() << "no parameter " << name;
  static fx::ParamSlot none;
  return none;
}

TEST(EffectParser, ReadsParametersTechniquesPassesAndStates) {
  fx::EffectSource src;
  fx::ParseError err;
  ASSERT_TRUE(fx::parseEffect(kRich, src, err)) << err.line << ": " << err.message;
  ASSERT_EQ(src.structs.size(), 1u);
  EXPECT_EQ(src.structs[0].members[0].semantic, "LIGHTCOLOR");
  ASSERT_EQ(src.params.size(), 13u);
  const fx::ParamDecl& world = src.params[6];
  EXPECT_EQ(world.name, "world");
  EXPECT_EQ(world.semantic, "WORLD");
  ASSERT_EQ(world.annotations.size(), 2u);
  EXPECT_EQ(world.annotations[0].value, "World");
  EXPECT_EQ(world.annotations[1].value, "-1");
  EXPECT_EQ(src.params[2].arraySize, 3);
  EXPECT_EQ(src.params[2].init.size(), 12u);
  EXPECT_EQ(src.params[10].initString, "a title");
  ASSERT_EQ(src.params[12].samplerStates.size(), 3u);
  EXPECT_EQ(src.params[12].samplerStates[0].values, std::vector<std::string>{"LinearMipMapLinear"});

  ASSERT_EQ(src.techniques.size(), 2u);
  const fx::TechniqueDecl& t = src.techniques[0];
  EXPECT_EQ(t.name, "first");
  ASSERT_EQ(t.passes.size(), 2u);
  EXPECT_EQ(t.passes[0].vertexEntry, "vs");
  EXPECT_EQ(t.passes[0].fragmentEntry, "fs");
  ASSERT_EQ(t.passes[0].states.size(), 2u);
  EXPECT_EQ(t.passes[0].states[0].values, (std::vector<std::string>{"SrcAlpha", "OneMinusSrcAlpha"}));
  EXPECT_EQ(t.passes[0].states[1].values, (std::vector<std::string>{"Greater", "-0.5"}));
  EXPECT_TRUE(t.passes[1].vertexEntry.empty());  // fixed-function pass
  EXPECT_EQ(src.techniques[1].passes[0].states[0].values.size(), 4u);
}

TEST(EffectParser, SyntaxErrorsCarryTheirLine) {
  struct Case {
    const char* text;
    int line;
  } cases[] = {
      {"float4 a\nfloat b;", 2},
      {"float4 c = {1, 0, 0, 1}\n\nvoid fs() {}\n\n\n", 3},
      {"technique t { pass p { BlendEnable = true\n DepthMask = false; } }", 2},
      {"float4 a;\n\ntechnique t { pass p { VertexProgram = compile vp entry(1); } }", 3},
      {"float4 a[0];", 1},
      {"float4 a[2][2];", 1},
      {"/* open", 1},
      {"string s = \"open\n;", 1},
      {"void f() { if (x) {", 1},
      {"struct S { float4 a; }", 1},
      {"struct S { };", 1},
      {"technique t { passes p { } }", 1},
      {"float4 c = {1, oops, 3};", 1},
      {"technique t { pass p { Lights[0] = true; } }", 1},
  };
  for (const auto& c : cases) {
    fx::EffectSource src;
    fx::ParseError err;
    EXPECT_FALSE(fx::parseEffect(c.text, src, err)) << c.text;
    EXPECT_EQ(err.line, c.line) << c.text << " -> " << err.message;
    EXPECT_FALSE(err.message.empty());
  }
}

TEST(EffectParser, GeneratedProgramsKeepOnlyWhatTheEntryReaches) {
  fx::EffectSource src;
  fx::ParseError err;
  ASSERT_TRUE(fx::parseEffect(kRich, src, err));
  std::string vs, fs;
  ASSERT_TRUE(fx::generateProgram(kRich, src, "vs", fx::Stage::Vertex, vs));
  ASSERT_TRUE(fx::generateProgram(kRich, src, "fs", fx::Stage::Fragment, fs));
  EXPECT_EQ(vs.rfind("#version 120\n", 0), 0u);
  EXPECT_NE(vs.find("float helper("), std::string::npos);
  EXPECT_EQ(vs.find("float unused("), std::string::npos);
  EXPECT_EQ(vs.find("void fs()"), std::string::npos);
  EXPECT_NE(vs.find("void main() { vs(); }"), std::string::npos);
  EXPECT_NE(vs.find("attribute vec3 tangent;"), std::string::npos);
  EXPECT_EQ(fs.find("attribute vec3 tangent;"), std::string::npos);
  EXPECT_EQ(fs.find("helper("), std::string::npos);
  EXPECT_NE(fs.find("varying vec2 uv;"), std::string::npos);
  // Cg type names become GLSL through definitions; strings are not declared.
  EXPECT_NE(fs.find("#define float4 vec4\n"), std::string::npos);
  EXPECT_NE(fs.find("#define float3x3 mat3\n"), std::string::npos);
  EXPECT_NE(fs.find("#define samplerRECT sampler2DRect\n"), std::string::npos);
  EXPECT_NE(fs.find("#extension GL_ARB_texture_rectangle"), std::string::npos);
  EXPECT_NE(fs.find("uniform Light lights[2];"), std::string::npos);
  EXPECT_EQ(fs.find("uniform string"), std::string::npos);
  // The struct precedes the uniform that uses it.
  EXPECT_LT(fs.find("struct Light"), fs.find("uniform Light light;"));
  std::string none;
  EXPECT_FALSE(fx::generateProgram(kRich, src, "missing", fx::Stage::Vertex, none));
}

TEST(EffectParameters, StructMembersAndArrayElementsAreLeaves) {
  std::string error;
  auto e = fx::Effect::fromText(kRich, "rich.cgfx", error);
  ASSERT_TRUE(e) << error;
  const auto n = names(*e);
  const std::vector<std::string> expected = {
      "light.color", "light.pos", "lights[0].color", "lights[0].pos", "lights[1].color", "lights[1].pos",
      "arr[0]", "arr[1]", "arr[2]", "eye", "shEyePos", "alsoEye", "world", "rot", "count", "rect",
      "title", "h", "tex"};
  EXPECT_EQ(n, expected);
  // Array initialisers are spread over the elements; member semantics stay.
  EXPECT_FLOAT_EQ(slotOf(*e, "arr[2]").v[3], 12.0f);
  EXPECT_EQ(e->parameters()[0].semantic, "LIGHTCOLOR");
  EXPECT_EQ(e->parameters()[6].semantic, "ARRSEM");
}

TEST(EffectParameters, NameAndSemanticSetEveryMatchOfASupportedType) {
  std::string error;
  auto e = fx::Effect::fromText(kRich, "rich.cgfx", error);
  ASSERT_TRUE(e) << error;
  const float v[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  e->setParameter("shEyePos", v);
  // By name, and by semantic twice (a float4 and a float3).
  EXPECT_FLOAT_EQ(slotOf(*e, "shEyePos").v[3], 4.0f);
  EXPECT_FLOAT_EQ(slotOf(*e, "eye").v[3], 4.0f);
  EXPECT_FLOAT_EQ(slotOf(*e, "alsoEye").v[2], 3.0f);
  EXPECT_FLOAT_EQ(slotOf(*e, "alsoEye").v[3], 0.0f);  // a float3 takes three
  e->setParameter("ARRSEM", v);  // every element shares the semantic
  for (const char* a : {"arr[0]", "arr[1]", "arr[2]"}) EXPECT_FLOAT_EQ(slotOf(*e, a).v[0], 1.0f);
  e->setParameter("WORLD", v);
  EXPECT_FLOAT_EQ(slotOf(*e, "world").v[15], 16.0f);
  e->setParameter("h", v);
  EXPECT_FLOAT_EQ(slotOf(*e, "h").v[1], 2.0f);
  const uint32_t texName = 77;
  e->setParameter("tex", &texName);
  EXPECT_EQ(slotOf(*e, "tex").texture, 77u);

  // Unsupported types keep their values; unknown names, null values and
  // empty names change nothing.
  e->setParameter("rot", v);
  EXPECT_FLOAT_EQ(slotOf(*e, "rot").v[0], 0.0f);
  e->setParameter("count", v);
  EXPECT_FLOAT_EQ(slotOf(*e, "count").v[0], 3.0f);
  e->setParameter("rect", &texName);
  EXPECT_EQ(slotOf(*e, "rect").texture, 0u);
  e->setParameter("light", v);  // the struct itself is not in the table
  EXPECT_FLOAT_EQ(slotOf(*e, "light.color").v[0], 0.0f);
  e->setParameter("shEyePo", v);
  e->setParameter("shEyePosX", v);
  const float w[4] = {9, 9, 9, 9};
  e->setParameter("shEyePos", nullptr);
  e->setParameter("", w);
  e->setParameter(nullptr, w);
  EXPECT_FLOAT_EQ(slotOf(*e, "shEyePos").v[0], 1.0f);
  // Exact, case-sensitive match.
  e->setParameter("sheyepos", w);
  EXPECT_FLOAT_EQ(slotOf(*e, "shEyePos").v[0], 1.0f);
}

TEST(EffectParameters, EngineWideNamesReachTheirDeclarations) {
  const char kEngine[] = R"(
float4 shAmbient; float4 shLightColor; float4 shKe; float4 shKa; float4 shKd; float4 shKs;
float shShininess; float3 shEyePos; float3 shLightPos; float4 shMqoColor;
sampler2D shBaseTexture; sampler2D shOverlapTexture;
float TIME_RATE; float TIME_RATE_EFFECT; float2 ViewportSize;
float SCREEN_RATIO_W; float SCREEN_RATIO_H; float SCREEN_RATIO_R;
)";
  std::string error;
  auto e = fx::Effect::fromText(kEngine, "engine.cgfx", error);
  ASSERT_TRUE(e) << error;
  float value = 1;
  for (const auto& p : e->parameters()) {
    const float v[4] = {value, value + 1, value + 2, value + 3};
    const uint32_t tex = static_cast<uint32_t>(value);
    e->setParameter(p.name.c_str(), p.type.isSampler() ? static_cast<const void*>(&tex) : v);
    const fx::ParamSlot& s = *e->slot(p.handle);
    if (p.type.isSampler()) {
      EXPECT_EQ(s.texture, tex) << p.name;
    } else {
      for (int i = 0; i < p.type.cols; ++i) EXPECT_FLOAT_EQ(s.v[i], value + static_cast<float>(i)) << p.name;
    }
    value += 10;
  }
  EXPECT_EQ(e->parameters().size(), 18u);
}

TEST(EffectParameters, BadSamplerStatesAndUnknownStructsAreRejected) {
  std::string error;
  EXPECT_FALSE(fx::Effect::fromText("sampler2D s = sampler_state { MagFilter = LinearMipMapLinear; };", "a", error));
  EXPECT_NE(error.find("MagFilter"), std::string::npos);
  EXPECT_FALSE(fx::Effect::fromText("sampler2D s = sampler_state { Anisotropy = 4; };", "a", error));
  EXPECT_FALSE(fx::Effect::fromText("struct S { Missing m; };", "a", error));
  EXPECT_FALSE(fx::Effect::fromText("struct S { S m; };", "a", error));
  // Nested arrays multiply: the table is capped instead of exhausting memory.
  EXPECT_FALSE(fx::Effect::fromText(
      "struct A { float4 v[4096]; }; struct B { A a[4096]; }; B b[4096];", "a", error));
  EXPECT_NE(error.find("leaf parameters"), std::string::npos) << error;
}

TEST(EffectMatrices, InverseAndProduct) {
  const float m[16] = {2, 0, 0, 1, 0, 4, 0, 2, 0, 0, 8, 3, 0, 0, 0, 1};
  float inv[16], id[16];
  ASSERT_TRUE(fx::invert4(m, inv));
  fx::multiply4(m, inv, id);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(id[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-6f) << i;
  const float singular[16] = {};
  EXPECT_FALSE(fx::invert4(singular, inv));
}

class EffectResourceTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
};

TEST_F(EffectResourceTest, CanLoadByExtensionInAnyCase) {
  testing_support::installPack(dir, {{"data\\a.CgFx", bytes("x")}, {"data\\b.fx", bytes("x")},
                                     {"data\\c.cg", bytes("x")}, {"data\\d.glsl", bytes("x")},
                                     {"data\\e.cgfx.png", bytes("x")}});
  resShader r;
  for (const char* n : {"data\\a.CgFx", "data\\b.fx", "data\\c.cg", "data\\d.glsl", "data\\e.cgfx.png"}) {
    CoreFile f(n, MODE_READ);
    CoreFileStream s(&f);
    const bool expected = std::strstr(n, "glsl") == nullptr && std::strstr(n, "png") == nullptr;
    EXPECT_EQ(r.canLoad(s), expected) << n;
  }
}

TEST_F(EffectResourceTest, BrokenFallbackEndsTheProcessWhenNeeded) {
  testing_support::installPack(dir, {{kDummyShaderName, bytes("technique {")},
                                     {"data\\shader\\bad.cgfx", bytes("float4 x")},
                                     {"data\\shader\\empty.cgfx", {}}});
  // The parse diagnostics come first; the critical error is the last line.
  for (const char* name : {"data\\shader\\bad.cgfx", kDummyShaderName}) {
    const auto r = testing_support::runInChild([&] { loadEffect(name); });
    EXPECT_EQ(r.exitStatus, 3) << name;
    const std::string last = std::string(critical::kDummyShader) + "\n  entry: " + kDummyShaderName + "\n";
    ASSERT_GE(r.stdErr.size(), last.size());
    EXPECT_EQ(r.stdErr.substr(r.stdErr.size() - last.size()), last);
    EXPECT_NE(r.stdErr.find("shader: data\\core\\shader\\dummyShader.cgfx:1: expected 'pass'"),
              std::string::npos)
        << r.stdErr;
  }
  // An empty entry is no resource and needs no fallback.
  EXPECT_EQ(loadEffect("data\\shader\\empty.cgfx"), nullptr);
}

TEST(ShaderManager, CurrentEffectIgnoresNullAndForwards) {
  shaderManager& m = shaderManager::instance();
  EXPECT_TRUE(m.initialize());
  EXPECT_TRUE(m.contextReady());
  resShader a;
  EXPECT_TRUE(m.setCurrentEffect(&a));
  EXPECT_FALSE(m.setCurrentEffect(nullptr));
  EXPECT_EQ(m.currentEffect(), &a);
  const float v[4] = {1, 2, 3, 4};
  m.setParameter("x", v);  // an unloaded effect takes nothing, without crashing
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  m.setStateMatrix("x", 0x80, {identity, identity});
  EXPECT_EQ(a.passCount(), 0u);
  EXPECT_TRUE(a.parameters().empty());
  EXPECT_TRUE(m.terminate());
  EXPECT_EQ(m.currentEffect(), nullptr);
}

}  // namespace
