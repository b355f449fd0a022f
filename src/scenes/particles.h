// Sprite sets, billboard swarms and the blob image for the scene classes
// that draw more than their scene files hold. A particle's place is a
// function of t (a lerp between its two stored points) with no state
// carried between frames: seeking in a capture and jittered anti-aliasing
// passes then need nothing special.
// The generators are plain functions without GL, so tests run them with no
// context; the draw calls want a current context with GL_MODELVIEW selected.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

// Pseudo-random numbers for the particle scenes: a 32-bit linear
// congruential state, 15 bits out per draw. The sample production's
// particles were placed with this sequence, so it must not change.
class ParticleRandom {
 public:
  static constexpr uint32_t kSeed = 4324;
  explicit ParticleRandom(uint32_t seed = kSeed) : mState(seed) {}
  void seed(uint32_t seed) { mState = seed; }
  // Multiply-add with 32-bit wrap-around; the top bit is dropped because
  // the low-order bits of such a state repeat quickly.
  uint32_t draw() {
    mState = mState * 214013u + 2531011u;
    return (mState >> 16) & 0x7FFFu;
  }
  // One draw scaled to [0, 1].
  double unit() { return draw() / 32767.0; }

 private:
  uint32_t mState;
};

// One point sprite: a start and an end position, a colour and a size in
// pixels (at 1280 x 720, one unit of eye distance).
struct PointParticle {
  glm::vec3 start{0.0f};
  glm::vec3 end{0.0f};
  glm::vec4 colour{1.0f};
  float size = 0.0f;
};

constexpr size_t kParticlesPerSet = 300;
constexpr size_t kSetsPerScene = 4;
using PointParticleSet = std::array<PointParticle, kParticlesPerSet>;

enum class PointGenerator {
  Skyhand1,   // rising from below the view, spread in depth
  Hanescene3  // falling through a wide box
};
// The four sets of a point-sprite scene, drawn in order from one generator
// seeded with 4324.
std::vector<PointParticleSet> generatePointSets(PointGenerator generator);

// One billboard of a cloud. `texture` is borrowed from the scene that owns
// the textures' references; `textureName` keeps its GL name, looked up once
// when the element is built so drawing needs no map lookup.
struct CloudElement {
  glm::vec3 start{0.0f};
  glm::vec3 end{0.0f};
  float width = 0.0f;
  float height = 0.0f;
  float angle = 0.0f;  // degrees about z
  glm::vec4 colour{1.0f};
  resTexture* texture = nullptr;
  uint32_t textureName = 0;
};

enum class CloudGenerator {
  Hanescene1,  // 100 elements drifting up and across, four textures
  Hanescene4,  // 300 elements rising in a column, four textures
  Lightball    // 50 large glows rising, three textures
};
// Builds a cloud from a freshly seeded sequence, so the same call always
// gives the same cloud. Textures are dealt out in turn (four kinds, three
// for Lightball); an element whose texture the list lacks gets none.
std::vector<CloudElement> generateCloud(CloudGenerator generator, const std::vector<resTexture*>& textures);

// Where a cloud element is at progress t, in float per axis. z is kept in
// the scene files' sense; drawing turns it into GL's by negating it.
inline glm::vec3 cloudPosition(const CloudElement& e, float t) { return e.start + (e.end - e.start) * t; }

// A point-sprite set's drawing state: its effect and texture (one counted
// reference each, released by the destructor) and an alpha scale.
class CParticle {
 public:
  // Loads the effect and the texture through the resource manager.
  CParticle(const char* effectName, const char* textureName);
  ~CParticle() = default;
  CParticle(const CParticle&) = delete;
  CParticle& operator=(const CParticle&) = delete;

  // One point per record, once per pass; the shader lerps with "TIME_RATE"
  // and sizes the sprite, under the context's matrices. GL state is left as
  // found.
  void draw(const DrawContext& context, float t, const PointParticle* particles);

  float alphaScale = 1.0f;
  resShader* effect() const { return mEffect.get(); }

 private:
  // One point as the vertex arrays read it.
  struct Vertex {
    float colour[4];
    float normal[3];
    float size[2];
    float position[3];
  };

  ResourceRef<resShader> mEffect;
  ResourceRef<resTexture> mTexture;
  uint32_t mTextureName = 0;
  std::array<Vertex, kParticlesPerSet> mVertices{};
};

// Clouds of camera-facing billboards drawn with "particleCloudShader.cgfx".
class CParticleCloud {
 public:
  CParticleCloud() = default;
  CParticleCloud(const CParticleCloud&) = delete;
  CParticleCloud& operator=(const CParticleCloud&) = delete;

  // Loads the cloud effect (one counted reference, released with the cloud).
  void setup();
  // Draws `count` elements of `list` at progress t: each translated to its
  // position (z negated) on the context's matrices, turned by its angle and
  // drawn with every pass.
  void draw(DrawContext& context, const CloudElement* list, size_t count, float t);

  // Elements of the cloud's own (the scenes pass theirs to draw instead).
  std::vector<CloudElement> elements;
  resShader* effect() const { return mEffect.get(); }

 private:
  // GL_T2F_C4F_N3F_V3F.
  struct Vertex {
    float s, t;
    float colour[4];
    float normal[3];
    float position[3];
  };

  ResourceRef<resShader> mEffect;
  std::array<Vertex, 4> mQuad{};
};

// The blob image: the effect's vertex program stretches four fixed corners
// over the viewport and its fragment program ray-marches the blobs, shades
// them from the cube map and fills the rest with the backdrop.
class MetaballQuad {
 public:
  static constexpr char kEffectName[] = "data\\shader\\MetaballShader.cgfx";
  static constexpr char kBackgroundName[] = "data\\texture\\metaback.jpg";
  static constexpr char kCubeMapName[] = "data\\texture\\moricube.dds";

  // Loads the effect and both textures through the resource manager.
  void setup();
  // Clears to black, sets the context's jittered perspective and draws the
  // quad at progress t.
  void draw(DrawContext& context, float t);
  void release();

 private:
  ResourceRef<resShader> mEffect;
  ResourceRef<resTexture> mBackground;
  ResourceRef<resTexture> mCubeMap;
  uint32_t mBackgroundName = 0;
  uint32_t mCubeMapName = 0;
};
