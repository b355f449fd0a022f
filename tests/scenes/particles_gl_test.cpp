// Point sprites, cloud billboards and the metaball image drawn with the
// shipped shaders and generated textures, read back at 320 x 180.
#include <GL/glew.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "scene_render/render_fixture.h"
#include "particle_pack.h"
#include "scenes/particles.h"
#include "support/allocation_counter.h"

namespace {

constexpr int kW = 320;
constexpr int kH = 180;


// Points sized by texture unit 1 and coloured by their vertex colour's alpha,
// so the colour the draw sends can be read back.
const char kVertexAlphaEffect[] = R"(
float4x4 shVProjMat;
void vs() { gl_Position = shVProjMat * gl_Vertex; gl_PointSize = gl_MultiTexCoord1.s; gl_FrontColor = gl_Color; }
void fs() { gl_FragColor = vec4(vec3(gl_Color.a), 1.0); }
technique t { pass p { PointSpriteEnable = true; VertexProgramPointSizeEnable = true;
  VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }
)";


class ParticlesGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    std::vector<PackSource> files = {
        {kDummyShaderName, testing_support::sourceFile("production/data/core/shader/dummyShader.cgfx")},
        {"data\\shader\\vertexAlpha.cgfx", testing_support::bytes(kVertexAlphaEffect)},
        {"data\\texture\\white.bmp", render_testing::solidBmp(255, 255, 255)},
    };
    particle_testing::addParticleFiles(painted_, files);
    testing_support::installPack(pack_, files);
    context_.matrices = &matrices_;
    context_.viewport = glm::ivec2(kW, kH);
    glViewport(0, 0, kW, kH);
    matrices_.loadIntoGl();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  std::vector<uint8_t> frame() const { return gl.readPixels(0, 0, kW, kH); }
  std::vector<uint8_t> pixel(int x, int y) const { return gl.readPixels(x, y, 1, 1); }
  static int brightness(const std::vector<uint8_t>& p) { return p[0] + p[1] + p[2]; }

  void snapshot(const char* name) const { particle_testing::snapshot(name, frame(), kW, kH); }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir painted_;
  testing_support::TempDir pack_;
  MatrixStack matrices_;
  DrawContext context_;
};

PointParticleSet singlePoint(glm::vec3 start, glm::vec3 end, float alpha, float size) {
  PointParticleSet set;
  for (PointParticle& p : set) {
    p.start = p.end = glm::vec3(100, 100, 0);  // outside the view
    p.size = size;
  }
  set[0] = PointParticle{start, end, glm::vec4(1, 1, 1, alpha), size};
  return set;
}

TEST_F(ParticlesGlTest, PointAlphaIsTheStoredAlphaTimesTheScaleAndStateIsRestored) {
  CParticle particle("data\\shader\\vertexAlpha.cgfx", "data\\texture\\white.bmp");
  ASSERT_NE(particle.effect(), nullptr);
  EXPECT_EQ(particle.alphaScale, 1.0f);
  const PointParticleSet set = singlePoint({0, 0, 0}, {0, 0, 0}, 0.6f, 8);
  particle.draw(context_, 0.0f, set.data());
  EXPECT_NEAR(pixel(kW / 2, kH / 2)[0], 153, 1);  // 0.6 x 255
  particle.alphaScale = 0.5f;
  particle.draw(context_, 0.0f, set.data());
  EXPECT_NEAR(pixel(kW / 2, kH / 2)[0], 77, 1);

  const GLenum disabled[] = {GL_TEXTURE_2D, GL_POINT_SPRITE, GL_VERTEX_PROGRAM_POINT_SIZE, GL_VERTEX_ARRAY,
                             GL_NORMAL_ARRAY, GL_COLOR_ARRAY};
  for (GLenum state : disabled) EXPECT_FALSE(glIsEnabled(state)) << std::hex << state;
  GLint value = 0;
  glGetIntegerv(GL_POINT_SPRITE_COORD_ORIGIN, &value);
  EXPECT_EQ(value, GL_UPPER_LEFT);
  glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &value);
  EXPECT_EQ(value, GL_TEXTURE0);
  glClientActiveTexture(GL_TEXTURE1);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  glClientActiveTexture(GL_TEXTURE0);
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 1.0f);
}

TEST_F(ParticlesGlTest, PointsMoveFromStartToEndAndRepeatExactly) {
  CParticle particle("data\\shader\\pointspriteShader.cgfx", "data\\texture\\white.bmp");
  // Start on the left, end on the right, in the view's plane (clip w = 1).
  const PointParticleSet set = singlePoint({-0.5f, 0, 0}, {0.5f, 0, 0}, 1.0f, 16);
  const int left = kW / 4, right = 3 * kW / 4, middle = kH / 2;
  particle.draw(context_, 0.0f, set.data());
  EXPECT_GT(brightness(pixel(left, middle)), 600);
  EXPECT_EQ(brightness(pixel(right, middle)), 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  particle.draw(context_, 1.0f, set.data());
  EXPECT_EQ(brightness(pixel(left, middle)), 0);
  EXPECT_GT(brightness(pixel(right, middle)), 600);

  // A generated set drawn twice at the same t gives the same pixels.
  CParticle feathers("data\\shader\\pointspriteShader.cgfx", "data\\texture\\mhane1a.png");
  const std::vector<PointParticleSet> sets = generatePointSets(PointGenerator::Hanescene3);
  auto draw = [&] {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    jitteredPerspective(context_, 45.0, 1.7777777777777777, 1.0, 1000.0);
    matrices_.loadIdentity();
    matrices_.lookAt(0, 0, 1, 0, 0, 0, 0, 1, 0);
    for (const PointParticleSet& s : sets) feathers.draw(context_, 0.4f, s.data());
    return frame();
  };
  const std::vector<uint8_t> first = draw();
  snapshot("points");
  EXPECT_EQ(draw(), first);
  const size_t before = testing_support::allocationCount();
  feathers.draw(context_, 0.4f, sets[0].data());
  EXPECT_EQ(testing_support::allocationCount() - before, 0u) << "a frame's draw allocates nothing";
  size_t lit = 0;
  for (size_t i = 0; i < first.size(); i += 4) lit += first[i] > 16;
  EXPECT_GT(lit, 300u);
}

// Where the centre of a billboard at eye-space position (x, y, z) lands
// under a 45 degree, 16:9 perspective.
glm::ivec2 projected(float x, float y, float z) {
  const double f = 1.0 / std::tan(22.5 * 3.14159265358979 / 180.0);
  const double nx = x * f / (16.0 / 9.0) / -z, ny = y * f / -z;
  return {static_cast<int>((nx + 1) / 2 * kW), static_cast<int>((ny + 1) / 2 * kH)};
}

TEST_F(ParticlesGlTest, CloudElementsSitAtStartAndEndWithZNegated) {
  CParticleCloud cloud;
  cloud.setup();
  ASSERT_NE(cloud.effect(), nullptr);
  ResourceRef<resTexture> white = ResourceRef<resTexture>::load("data\\texture\\white.bmp");
  std::vector<CloudElement> elements = generateCloud(CloudGenerator::Hanescene1, {white.get()});
  CloudElement& e = elements[0];
  e.start = {-50, 10, 200};
  e.end = {50, -10, 200};
  e.width = e.height = 16;
  e.colour = glm::vec4(1);
  const glm::ivec2 a = projected(-50, 10, -200), b = projected(50, -10, -200);
  struct Case {
    float t;
    bool atStart, atEnd;
  };
  for (const Case c : {Case{0.0f, true, false}, Case{1.0f, false, true}}) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    jitteredPerspective(context_, 45.0, 1.7777777777777777, 1.0, 1000.0);
    matrices_.loadIdentity();
    cloud.draw(context_, elements.data(), 1, c.t);
    EXPECT_EQ(brightness(pixel(a.x, a.y)) > 600, c.atStart) << "t " << c.t;
    EXPECT_EQ(brightness(pixel(b.x, b.y)) > 600, c.atEnd) << "t " << c.t;
  }
  // The draw flips z: stored +200 is in front of the eye, -200 behind it.
  e.start.z = e.end.z = -200;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  cloud.draw(context_, elements.data(), 1, 0.0f);
  EXPECT_EQ(brightness(pixel(a.x, a.y)), 0);

  // A full generated swarm, to look at with VESPER_SNAPSHOT_DIR.
  ResourceRef<resTexture> lights[3] = {ResourceRef<resTexture>::load("data\\texture\\light1.png"),
                                       ResourceRef<resTexture>::load("data\\texture\\light2.png"),
                                       ResourceRef<resTexture>::load("data\\texture\\light3.png")};
  const std::vector<CloudElement> balls =
      generateCloud(CloudGenerator::Lightball, {lights[0].get(), lights[1].get(), lights[2].get()});
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  jitteredPerspective(context_, 45.0, 1.7777777777777777, 1.0, 1000.0);
  matrices_.loadIdentity();
  matrices_.lookAt(0, 0, 150, 0, 0, 0, 0, 1, 0);
  const size_t before = testing_support::allocationCount();
  cloud.draw(context_, balls.data(), balls.size(), 0.5f);
  EXPECT_EQ(testing_support::allocationCount() - before, 0u) << "a frame's draw allocates nothing";
  snapshot("cloud");
}

TEST_F(ParticlesGlTest, MetaballSurfaceCoversTheMiddleAndTheBackgroundTheCorners) {
  MetaballQuad metaball;
  metaball.setup();
  ResourceRef<resTexture> back = ResourceRef<resTexture>::load(MetaballQuad::kBackgroundName);
  ResourceRef<resTexture> cube = ResourceRef<resTexture>::load(MetaballQuad::kCubeMapName);
  ASSERT_TRUE(back && cube);
  EXPECT_EQ(cube->texture()->target(), static_cast<GLenumValue>(GL_TEXTURE_CUBE_MAP));
  const cTexture& image = *back->texture();
  std::vector<uint8_t> texels(static_cast<size_t>(image.width()) * image.height() * 4);
  glBindTexture(GL_TEXTURE_2D, image.glName());
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  auto texel = [&](double u, double v) {
    const size_t x = static_cast<size_t>(u * (image.width() - 1)), y = static_cast<size_t>(v * (image.height() - 1));
    const uint8_t* p = &texels[(y * image.width() + x) * 4];
    return std::vector<uint8_t>{p[0], p[1], p[2], p[3]};
  };
  auto near = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    return std::abs(a[0] - b[0]) <= tolerance && std::abs(a[1] - b[1]) <= tolerance &&
           std::abs(a[2] - b[2]) <= tolerance;
  };

  for (float t : {0.0f, 0.35f}) {
    metaball.draw(context_, t);
    const std::vector<uint8_t> centre = pixel(kW / 2, kH / 2);
    EXPECT_FALSE(near(centre, texel(0.5, 0.5), 24)) << "t " << t;
    EXPECT_GT(brightness(centre), 150) << "t " << t;  // the lit surface
    EXPECT_TRUE(near(pixel(0, 0), texel(0, 0), 12)) << "t " << t;
    EXPECT_TRUE(near(pixel(kW - 1, kH - 1), texel(1, 1), 12)) << "t " << t;
    EXPECT_TRUE(near(pixel(0, kH - 1), texel(0, 1), 12)) << "t " << t;
  }
  snapshot("metaball");

  // An anti-aliasing sample shifted by one pixel to the right shows the same
  // picture one pixel to the right (apart from the surface's edge smoothing,
  // whose screen-space derivatives come in 2 x 2 blocks).
  const std::vector<uint8_t> unshifted = frame();
  context_.jitter = glm::vec2(1.0f, 0.0f);
  metaball.draw(context_, 0.35f);
  const std::vector<uint8_t> shifted = frame();
  auto mismatches = [&](int dx) {
    size_t count = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x + 1 < kW; ++x) {
        for (int k = 0; k < 3; ++k) {
          const size_t a = (static_cast<size_t>(y) * kW + x) * 4 + k;
          count += std::abs(shifted[a + 4 * dx] - unshifted[a]) > 8;
        }
      }
    }
    return count;
  };
  const size_t total = static_cast<size_t>(kW) * kH * 3;
  EXPECT_LT(mismatches(1), total / 200);
  EXPECT_GT(mismatches(0), 10 * mismatches(1));
}

// The painted sprites are pictures, not flat colours: opaque in the middle,
// clear at the corners.
TEST_F(ParticlesGlTest, GeneratedSpritesFadeFromTheMiddleToTheCorners) {
  for (const char* name : particle_testing::kPaintedTextures) {
    const std::string entry = std::string("data\\texture\\") + name;
    ResourceRef<resTexture> sprite = ResourceRef<resTexture>::load(entry.c_str());
    ASSERT_TRUE(sprite) << name;
    if (entry.find(".png") == std::string::npos) continue;
    const cTexture& image = *sprite->texture();
    std::vector<uint8_t> texels(static_cast<size_t>(image.width()) * image.height() * 4);
    glBindTexture(GL_TEXTURE_2D, image.glName());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const size_t middle = (image.height() / 2 * image.width() + image.width() / 2) * 4;
    EXPECT_GT(texels[middle + 3], 128) << name;
    EXPECT_EQ(texels[3], 0) << name;
  }
}

}  // namespace
