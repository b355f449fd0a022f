// Sprite sets, billboard swarms, the blob quad, and the seeded generators
// that fill them.
#include <GL/glew.h>

#include "scenes/particles.h"
#include "scene_render/scene_render.h"

namespace {

constexpr char kCloudEffectName[] = "data\\shader\\particleCloudShader.cgfx";

// How far a cloud scatters its elements and where its swarm starts and ends.
struct CloudShape {
  size_t count;
  glm::vec3 spread;
  glm::vec3 from;
  glm::vec3 to;
  size_t textureCount;
};

const CloudShape& shapeOf(CloudGenerator generator) {
  static const CloudShape kHanescene1{100, {200, 200, 100}, {-100, -200, -100}, {100, 200, 100}, 4};
  static const CloudShape kHanescene4{300, {500, 600, 1}, {0, -900, 0}, {0, -100, 0}, 4};
  static const CloudShape kLightball{50, {100, 600, 1}, {0, -200, 0}, {0, 200, 0}, 3};
  switch (generator) {
    case CloudGenerator::Hanescene4: return kHanescene4;
    case CloudGenerator::Lightball: return kLightball;
    case CloudGenerator::Hanescene1: break;
  }
  return kHanescene1;
}

uint32_t glNameOf(const resTexture* texture) {
  return texture ? textureManager::instance().glName(texture->texture()) : 0;
}

// "SCREEN_RATIO_*" against 1280 x 720; the effects treat 0 as unknown.
void setScreenRatios(const DrawContext& context, resShader& effect) {
  const glm::ivec2 screen = context.screen;
  const bool known = screen.x > 0 && screen.y > 0;
  const float w = known ? static_cast<float>(screen.x) / 1280.0f : 0.0f;
  const float h = known ? static_cast<float>(screen.y) / 720.0f : 0.0f;
  const float r = known ? static_cast<float>(screen.x * screen.y) / 921600.0f : 0.0f;
  effect.setParameter("SCREEN_RATIO_W", &w);
  effect.setParameter("SCREEN_RATIO_H", &h);
  effect.setParameter("SCREEN_RATIO_R", &r);
}

void setMatrices(const DrawContext& context, resShader& effect) {
  const StateMatrices matrices = context.matrices->stateMatrices();
  effect.setStateMatrix("shWorldMat", 0x11, matrices);
  effect.setStateMatrix("shViewMat", 0x11, matrices);
  effect.setStateMatrix("shVProjMat", 0x80, matrices);
}

}  // namespace

// ---------------------------------------------------------------------------
// Generators. Arithmetic runs in double; results are narrowed to the float
// fields, and each swarm offset is narrowed before it is reused, so the
// numbers do not depend on the compiler's choice of precision.

std::vector<PointParticleSet> generatePointSets(PointGenerator generator) {
  ParticleRandom random;
  std::vector<PointParticleSet> sets(kSetsPerScene);
  for (PointParticleSet& set : sets) {
    for (PointParticle& p : set) {
      const double r1 = random.unit(), r2 = random.unit(), r3 = random.unit();
      const double r4 = random.unit(), r5 = random.unit(), r6 = random.unit();
      if (generator == PointGenerator::Skyhand1) {
        p.start = glm::vec3(static_cast<float>((r1 - 0.5) * 2), static_cast<float>(r2 - 2),
                            static_cast<float>(r3 * 8));
        p.end = glm::vec3(static_cast<float>(p.start.x + (r4 - 0.5) * 0.5), static_cast<float>(p.start.y + (r5 + 1)),
                          static_cast<float>(p.start.z + (r6 - 0.5)));
      } else {
        p.start = glm::vec3(static_cast<float>((r1 - 0.5) * 8), static_cast<float>((r2 - 1) * 2 + 4),
                            static_cast<float>((r3 - 1) * 8));
        p.end = glm::vec3(static_cast<float>(p.start.x + (r4 - 0.5) * 0.5),
                          static_cast<float>(p.start.y + ((r5 + 1) * 3 - 8)),
                          static_cast<float>(p.start.z + (r6 + 1) * 5));
      }
      p.colour = glm::vec4(1.0f);
      p.size = 32.0f;
    }
  }
  return sets;
}

std::vector<CloudElement> generateCloud(CloudGenerator generator, const std::vector<resTexture*>& textures) {
  const CloudShape& shape = shapeOf(generator);
  const glm::vec3 S = shape.spread, P = shape.from, Q = shape.to;
  ParticleRandom random;
  std::vector<CloudElement> elements(shape.count);
  for (size_t i = 0; i < elements.size(); ++i) {
    CloudElement& e = elements[i];
    const float vx = static_cast<float>((random.unit() - 0.5) * 2 * S.x);
    const float vy = static_cast<float>((random.unit() - 0.5) * 2 * S.y);
    const float vz = static_cast<float>((random.unit() - 0.5) * 2 * S.z);
    const double r4 = random.unit(), r5 = random.unit(), r6 = random.unit(), r7 = random.unit();
    const double r8 = random.unit();
    float size = 0.0f;
    if (generator == CloudGenerator::Hanescene4) {
      e.start = glm::vec3(static_cast<float>(P.x + vx - r4 * r4 * S.x * 0.25 * 0.25),
                          static_cast<float>(P.y + vy - r5 * r5 * S.y * 0.5), P.z + vz);
      e.end = glm::vec3(static_cast<float>((r6 * r6 - 0.5) * S.x * 0.25 + vx + Q.x),
                        static_cast<float>(r7 * r7 * S.y + vy * 0.1 + Q.y), vz + Q.z);
      size = static_cast<float>(r8 * 500 + 500);
      e.colour = glm::vec4(1.0f, 1.0f, 1.0f, static_cast<float>(vz / S.z + 0.5));
    } else {
      e.start = glm::vec3(static_cast<float>(P.x + vx - (r4 - 0.5) * S.x * 0.25),
                          static_cast<float>(P.y + vy - (r5 - 0.5) * S.y * 0.5), P.z + vz);
      e.end = glm::vec3(static_cast<float>((r6 - 0.5) * S.x * 0.25 + vx + Q.x),
                        static_cast<float>((r7 - 0.5) * S.y * 0.5 + vy + Q.y), vz + Q.z);
      size = generator == CloudGenerator::Lightball ? static_cast<float>(r8 * 800 + 200)
                                                    : static_cast<float>(r8 * 200 + 50);
      e.colour = glm::vec4(1.0f, 1.0f, 1.0f, static_cast<float>(vz / S.z + 0.3));
    }
    e.width = e.height = size;
    e.angle = 0.0f;
    const size_t slot = i % shape.textureCount;
    e.texture = slot < textures.size() ? textures[slot] : nullptr;
    e.textureName = glNameOf(e.texture);
  }
  return elements;
}

// ---------------------------------------------------------------------------
// CParticle

CParticle::CParticle(const char* effectName, const char* textureName)
    : mEffect(ResourceRef<resShader>::load(effectName)),
      mTexture(ResourceRef<resTexture>::load(textureName)),
      mTextureName(glNameOf(mTexture.get())) {}

void CParticle::draw(const DrawContext& context, float t, const PointParticle* particles) {
  if (!mEffect || particles == nullptr) return;
  for (size_t i = 0; i < kParticlesPerSet; ++i) {
    const PointParticle& p = particles[i];
    Vertex& v = mVertices[i];
    v.colour[0] = p.colour.r, v.colour[1] = p.colour.g, v.colour[2] = p.colour.b;
    v.colour[3] = p.colour.a * alphaScale;
    v.normal[0] = p.end.x, v.normal[1] = p.end.y, v.normal[2] = p.end.z;
    v.size[0] = v.size[1] = p.size;
    v.position[0] = p.start.x, v.position[1] = p.start.y, v.position[2] = p.start.z;
  }

  glEnable(GL_TEXTURE_2D);
  glEnable(GL_POINT_SPRITE);
  glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);

  resShader& effect = *mEffect;
  shaderManager::instance().setCurrentEffect(&effect);
  effect.setParameter("TIME_RATE", &t);
  setMatrices(context, effect);
  effect.setParameter("shTexture0", &mTextureName);
  setScreenRatios(context, effect);

  constexpr GLsizei stride = sizeof(Vertex);
  const Vertex* base = mVertices.data();
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glColorPointer(4, GL_FLOAT, stride, base->colour);
  glNormalPointer(GL_FLOAT, stride, base->normal);
  glVertexPointer(3, GL_FLOAT, stride, base->position);
  glClientActiveTexture(GL_TEXTURE1);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, stride, base->size);

  const uint32_t passes = effect.passCount();
  for (uint32_t pass = 0; pass < passes; ++pass) {
    effect.setPassState(pass);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(kParticlesPerSet));
    effect.resetPassState(pass);
  }

  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glClientActiveTexture(GL_TEXTURE0);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);

  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_FALSE);
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_UPPER_LEFT);
  glPointSize(1.0f);
  glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
  glDisable(GL_POINT_SPRITE);
  glDisable(GL_TEXTURE_2D);
}

// ---------------------------------------------------------------------------
// CParticleCloud

void CParticleCloud::setup() { mEffect = ResourceRef<resShader>::load(kCloudEffectName); }

void CParticleCloud::draw(DrawContext& context, const CloudElement* list, size_t count, float t) {
  if (!mEffect || list == nullptr) return;
  resShader& effect = *mEffect;
  shaderManager::instance().setCurrentEffect(&effect);
  effect.setParameter("TIME_RATE", &t);
  const uint32_t passes = effect.passCount();
  MatrixStack& matrices = *context.matrices;
  matrices.matrixMode(MatrixStack::ModelView);
  // Between two elements only matrices, parameters and client arrays change:
  // one pass run for all of them spares the program switches between.
  effectPassRun run;
  for (size_t i = 0; i < count; ++i) {
    const CloudElement& e = list[i];
    const glm::vec3 p = cloudPosition(e, t);
    matrices.push();
    matrices.translate(p.x, p.y, -p.z);
    matrices.rotate(e.angle, 0.0f, 0.0f, 1.0f);
    effect.setParameter("shTexture0", &e.textureName);
    setMatrices(context, effect);

    const float hw = e.width / 2, hh = e.height / 2;
    const float corners[4][4] = {{0, 1, -hw, hh}, {0, 0, -hw, -hh}, {1, 1, hw, hh}, {1, 0, hw, -hh}};
    for (size_t k = 0; k < 4; ++k) {
      Vertex& v = mQuad[k];
      v.s = corners[k][0], v.t = corners[k][1];
      v.colour[0] = e.colour.r, v.colour[1] = e.colour.g, v.colour[2] = e.colour.b, v.colour[3] = e.colour.a;
      v.normal[0] = v.normal[1] = v.normal[2] = e.angle;
      v.position[0] = corners[k][2], v.position[1] = corners[k][3], v.position[2] = 0.0f;
    }
    glInterleavedArrays(GL_T2F_C4F_N3F_V3F, 0, mQuad.data());
    for (uint32_t pass = 0; pass < passes; ++pass) {
      effect.setPassState(pass);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      effect.resetPassState(pass);
    }
    matrices.pop();
  }
  // glInterleavedArrays enabled these; leave the client state as found.
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

// ---------------------------------------------------------------------------
// MetaballQuad

void MetaballQuad::setup() {
  mEffect = ResourceRef<resShader>::load(kEffectName);
  mBackground = ResourceRef<resTexture>::load(kBackgroundName);
  mCubeMap = ResourceRef<resTexture>::load(kCubeMapName);
  mBackgroundName = glNameOf(mBackground.get());
  mCubeMapName = glNameOf(mCubeMap.get());
}

void MetaballQuad::release() {
  mEffect.reset();
  mBackground.reset();
  mCubeMap.reset();
  mBackgroundName = mCubeMapName = 0;
}

void MetaballQuad::draw(DrawContext& context, float t) {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  context.matrices->loadIdentity();
  jitteredPerspective(context, 45.0, 1.7777777777777777, 0.01, 1000.0);
  if (!mEffect) return;
  resShader& effect = *mEffect;
  shaderManager::instance().setCurrentEffect(&effect);
  effect.setParameter("TIME_RATE", &t);
  setScreenRatios(context, effect);
  // T2F_V3F; the texture coordinates are unused (the shader works from the
  // positions), which is why the first two corners share (0, 0).
  static const float kQuad[4][5] = {
      {0, 0, -1, 1, 0}, {0, 0, -1, -1, 0}, {1, 1, 1, 1, 0}, {1, 0, 1, -1, 0}};
  glInterleavedArrays(GL_T2F_V3F, 0, kQuad);
  const uint32_t passes = effect.passCount();
  for (uint32_t pass = 0; pass < passes; ++pass) {
    effect.setParameter("shTexture0", &mBackgroundName);
    effect.setParameter("shTexture1", &mCubeMapName);
    effect.setPassState(pass);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    effect.resetPassState(pass);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
