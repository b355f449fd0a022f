// Particle generators: the draw sequence after seeding and the shapes of the sets
// and clouds.
#include <gtest/gtest.h>

#include <cmath>

#include "scenes/particles.h"

namespace {

// The sequence worked out by hand in 64-bit arithmetic, so a change to the
// generator's wrap-around or bit selection shows up here.
TEST(ParticleRandom, FirstDrawsAndFirstParticleOfTheRisingSets) {
  const uint64_t s1 = (4324ull * 214013ull + 2531011ull) % 4294967296ull;
  const uint64_t s2 = (s1 * 214013ull + 2531011ull) % 4294967296ull;
  const uint64_t s3 = (s2 * 214013ull + 2531011ull) % 4294967296ull;
  ASSERT_EQ(s1, 927923223u);
  ASSERT_EQ(s2, 1232389758u);
  ASSERT_EQ(s3, 2080097097u);
  const uint32_t d1 = 14158, d2 = 18804, d3 = 31739;  // bits 16-30 of s1..s3
  ASSERT_EQ((s1 >> 16) & 0x7FFF, d1);
  ASSERT_EQ((s2 >> 16) & 0x7FFF, d2);
  ASSERT_EQ((s3 >> 16) & 0x7FFF, d3);

  ParticleRandom random;
  EXPECT_EQ(random.draw(), d1);
  EXPECT_EQ(random.draw(), d2);
  EXPECT_EQ(random.draw(), d3);
  random.seed(4324);
  EXPECT_EQ(random.draw(), d1);

  // The first particle is built from the first six numbers: three for where
  // it starts, three (13805, 11827, 17153) for how far it travels.
  const std::vector<PointParticleSet> sets = generatePointSets(PointGenerator::Skyhand1);
  ASSERT_EQ(sets.size(), 4u);
  const PointParticle& p = sets[0][0];
  EXPECT_FLOAT_EQ(p.start.x, -0.13583788f);  // (14158 / 32767 - 0.5) x 2
  EXPECT_FLOAT_EQ(p.start.y, -1.42612994f);  // 18804 / 32767 - 2
  EXPECT_FLOAT_EQ(p.start.z, 7.74901581f);   // 31739 / 32767 x 8
  EXPECT_FLOAT_EQ(p.end.x, static_cast<float>(p.start.x + (13805 / 32767.0 - 0.5) * 0.5));
  EXPECT_FLOAT_EQ(p.end.y, static_cast<float>(p.start.y + (11827 / 32767.0 + 1)));
  EXPECT_FLOAT_EQ(p.end.z, static_cast<float>(p.start.z + (17153 / 32767.0 - 0.5)));
  EXPECT_EQ(p.colour, glm::vec4(1.0f));
  EXPECT_EQ(p.size, 32.0f);
  // Deterministic: a second call matches, and set 1 follows on from set 0.
  EXPECT_EQ(generatePointSets(PointGenerator::Skyhand1)[3][299].end, sets[3][299].end);
  EXPECT_NE(sets[1][0].start, p.start);
}

// Bounds that follow from each generator's spread and centres.
TEST(ParticleGenerators, SetsAndCloudsStayInTheirShapes) {
  for (const PointParticleSet& set : generatePointSets(PointGenerator::Hanescene3)) {
    for (const PointParticle& p : set) {
      EXPECT_TRUE(p.start.x >= -4 && p.start.x <= 4 && p.start.y >= 2 && p.start.y <= 4);
      EXPECT_TRUE(p.start.z >= -8 && p.start.z <= 0);
      EXPECT_TRUE(p.end.y - p.start.y >= -5.0001f && p.end.y - p.start.y <= -1.9999f);
      EXPECT_TRUE(p.end.z - p.start.z >= 4.9999f && p.end.z - p.start.z <= 10.0001f);
    }
  }

  struct Case {
    CloudGenerator generator;
    size_t count, textures;
    float minSize, maxSize, alphaBias, spreadZ;
    float startYMin, startYMax;
  };
  const Case cases[] = {
      {CloudGenerator::Hanescene1, 100, 4, 50, 250, 0.3f, 100, -200 - 200 - 50, -200 + 200 + 50},
      {CloudGenerator::Hanescene4, 300, 4, 500, 1000, 0.5f, 1, -900 - 600 - 300, -900 + 600},
      {CloudGenerator::Lightball, 50, 3, 200, 1000, 0.3f, 1, -200 - 600 - 150, -200 + 600 + 150},
  };
  resTexture loaded[4];  // not uploaded: no GL names
  const std::vector<resTexture*> textures = {&loaded[0], &loaded[1], &loaded[2], &loaded[3]};
  for (const Case& c : cases) {
    const std::vector<CloudElement> elements = generateCloud(c.generator, textures);
    ASSERT_EQ(elements.size(), c.count);
    for (size_t i = 0; i < elements.size(); ++i) {
      const CloudElement& e = elements[i];
      EXPECT_EQ(e.texture, textures[i % c.textures]);
      EXPECT_EQ(e.width, e.height);
      EXPECT_TRUE(e.width >= c.minSize && e.width <= c.maxSize) << e.width;
      EXPECT_TRUE(e.start.y >= c.startYMin && e.start.y <= c.startYMax) << e.start.y;
      EXPECT_EQ(e.angle, 0.0f);
      // Alpha is vz / Sz + bias, and vz is both the start's and the end's
      // offset from its centre's z.
      const float vz = (e.colour.a - c.alphaBias) * c.spreadZ;
      EXPECT_NEAR(e.end.z - e.start.z, c.generator == CloudGenerator::Hanescene1 ? 200.0f : 0.0f, 1e-3f);
      EXPECT_NEAR(std::abs(vz), std::abs(e.end.z - (c.generator == CloudGenerator::Hanescene1 ? 100.0f : 0.0f)),
                  1e-3f * c.spreadZ);
    }
    EXPECT_EQ(generateCloud(c.generator, {})[0].texture, nullptr);
  }
}

TEST(ParticleGenerators, CloudElementsSitAtTheirStartAndEnd) {
  for (CloudGenerator g : {CloudGenerator::Hanescene1, CloudGenerator::Hanescene4, CloudGenerator::Lightball}) {
    for (const CloudElement& e : generateCloud(g, {})) {
      EXPECT_EQ(cloudPosition(e, 0.0f), e.start);
      const glm::vec3 at1 = cloudPosition(e, 1.0f);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(at1[k], e.end[k], 1e-4f * (1 + std::abs(e.end[k])));
      const glm::vec3 half = cloudPosition(e, 0.5f);
      EXPECT_NEAR(half.y, (e.start.y + e.end.y) / 2, 1e-3f);
    }
  }
}

}  // namespace
