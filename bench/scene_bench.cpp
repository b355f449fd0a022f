// Frame time of the two busiest particle scenes at 640x360 (the 300-element
// cloud of "hanescene4" and the 1200 point sprites of "hanescene3"), each
// against a bare GL loop drawing the same particles at the same positions,
// sizes and textures with the fixed pipeline and no effect system, in the
// same run. Reads the sample production's pack from the build tree (or the
// path given as the argument). Needs a display (Xvfb works).
#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <functional>
#include <vector>

#include "files/files.h"
#include "scenes/scene_frame.h"
#include "scenes/scenes.h"
#include "support/gl_context.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
// The cloud fills the screen hundreds of times over: few frames suffice.
constexpr int kCloudFrames = 6;
constexpr int kPointFrames = 200;

// Milliseconds per frame of `scene` and of `bare`, each over `frames`
// frames sweeping t from 0 to 1; rounds alternate between the two so a
// change in the machine's load reaches both, and each keeps its best of 5.
struct Timing {
  double scene = 1e30, bare = 1e30;
};
Timing msPerFrame(int frames, const std::function<void(float)>& scene, const std::function<void(float)>& bare) {
  auto round = [frames](const std::function<void(float)>& frame) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) frame(static_cast<float>(i) / (frames - 1));
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / frames;
  };
  for (int i = 0; i < 3; ++i) scene(0.5f), bare(0.5f);  // warm-up: shader and texture caches
  glFinish();
  Timing best;
  for (int k = 0; k < 5; ++k) {
    best.scene = std::min(best.scene, round(scene));
    best.bare = std::min(best.bare, round(bare));
  }
  return best;
}

void clearToBlack() {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void playScene(CSceneQdfDefault& scene, cQdfRender& renderer, float t) {
  clearToBlack();
  scene_testing::playSceneFrame(scene, &renderer, t);
}

void bareCamera(double eyeZ) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 16.0 / 9.0, 1.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, eyeZ, 0, 0, 0, 0, 1, 0);
}

// The cloud as a plain loop: per element a translated, textured, blended
// quad (the effect's billboard is a quad facing the eye, which an
// unrotated quad under this view is).
void bareCloud(const std::vector<CloudElement>& elements, float t) {
  clearToBlack();
  bareCamera(300.0);
  glScalef(0.7f, 0.7f, 0.7f);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  for (const CloudElement& e : elements) {
    const glm::vec3 p = cloudPosition(e, t);
    glPushMatrix();
    glTranslatef(p.x, p.y, -p.z);
    const float hw = e.width / 2, hh = e.height / 2;
    const float quad[] = {0, 1, -hw, hh, 0, 0, -hw, -hh, 1, 1, hw, hh, 1, 0, hw, -hh};
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), quad);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), quad + 2);
    glColor4f(e.colour.r, e.colour.g, e.colour.b, std::clamp(e.colour.a, 0.0f, 1.0f));
    glBindTexture(GL_TEXTURE_2D, e.textureName);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glPopMatrix();
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDepthMask(GL_TRUE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
}

// The point sets as a plain loop: positions blended on the CPU, sizes
// falling off with distance as the effect's do (32 x 2 x 360 / 720 pixels
// at one unit), additive sprites.
void barePoints(const std::vector<PointParticleSet>& sets, const std::vector<GLuint>& textures,
                std::vector<glm::vec3>& positions, float t) {
  clearToBlack();
  bareCamera(1.0);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_POINT_SPRITE);
  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  const GLfloat falloff[] = {0.0f, 0.0f, 1.0f};
  glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, falloff);
  glPointParameterf(GL_POINT_SIZE_MAX, 256.0f);
  glPointSize(32.0f);
  glEnableClientState(GL_VERTEX_ARRAY);
  for (size_t k = 0; k < sets.size(); ++k) {
    for (size_t i = 0; i < kParticlesPerSet; ++i) {
      positions[i] = sets[k][i].start + (sets[k][i].end - sets[k][i].start) * t;
    }
    glBindTexture(GL_TEXTURE_2D, textures[k % textures.size()]);
    glVertexPointer(3, GL_FLOAT, 0, positions.data());
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(kParticlesPerSet));
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  const GLfloat none[] = {1.0f, 0.0f, 0.0f};
  glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, none);
  glPointSize(1.0f);
  glDepthMask(GL_TRUE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_FALSE);
  glDisable(GL_POINT_SPRITE);
  glDisable(GL_TEXTURE_2D);
}

// With VESPER_SNAPSHOT_DIR set, the scene's frame at t = 0.5 is written
// there as <name>.png, to look at the effects at a real size.
void snapshot(const char* name, const std::function<void(float)>& frame) {
  const char* dir = std::getenv("VESPER_SNAPSHOT_DIR");
  if (dir == nullptr) return;
  frame(0.5f);
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  std::string reason;
  if (!scene_testing::writeFramePng(std::string(dir) + "/" + name + ".png", pixels, kWidth, kHeight, reason)) {
    std::fprintf(stderr, "scene_bench: %s\n", reason.c_str());
  }
}

void report(const char* what, double scene, double bare) {
  std::printf("%-36s scene %7.2f ms/frame   bare GL loop %7.2f ms/frame   ratio %.2fx\n", what, scene, bare,
              scene / bare);
}

}  // namespace

int main(int argc, char** argv) {
  const char* pak = argc > 1 ? argv[1] : VESPER_BENCH_PACK;
  testing_support::GlContext gl(kWidth, kHeight);
  if (!gl.ok()) {
    std::fprintf(stderr, "scene_bench: no OpenGL context\n");
    return 1;
  }
  if (const char* e = installPackage(std::fopen(pak, "rb"))) {
    std::fprintf(stderr, "scene_bench: %s: %s\n", pak, e);
    return 1;
  }
  glViewport(0, 0, kWidth, kHeight);
  MatrixStack matrices;
  DrawContext context;
  context.matrices = &matrices;
  context.viewport = glm::ivec2(kWidth, kHeight);
  cQdfRender renderer;  // bound to nothing: these scenes add to it or replace it
  renderer.setDrawContext(&context);

  Timing cloud, points;
  {
    CSceneQdf_hanescene4 hanescene4;
    hanescene4.setup(&renderer);
    const auto scene = [&](float t) { playScene(hanescene4, renderer, t); };
    const auto bare = [&](float t) { bareCloud(hanescene4.elements(), t); };
    cloud = msPerFrame(kCloudFrames, scene, bare);
    snapshot("bench_hanescene4", scene);
    snapshot("bench_hanescene4_bare", bare);
  }
  {
    CSceneQdf_hanescene3 hanescene3;
    hanescene3.setup(&renderer);
    const std::vector<PointParticleSet> sets = generatePointSets(PointGenerator::Hanescene3);
    std::vector<ResourceRef<resTexture>> feathers;
    std::vector<GLuint> names;
    for (const char* name : {"data\\texture\\mhane1a.png", "data\\texture\\mhane2a.png",
                             "data\\texture\\mhane3a.png", "data\\texture\\mhane4a.png"}) {
      feathers.push_back(ResourceRef<resTexture>::load(name));
      names.push_back(feathers.back() ? textureManager::instance().glName(feathers.back()->texture()) : 0);
    }
    std::vector<glm::vec3> positions(kParticlesPerSet);
    const auto scene = [&](float t) { playScene(hanescene3, renderer, t); };
    const auto bare = [&](float t) { barePoints(sets, names, positions, t); };
    points = msPerFrame(kPointFrames, scene, bare);
    snapshot("bench_hanescene3", scene);
    snapshot("bench_hanescene3_bare", bare);
  }

  std::printf("renderer: %s, %dx%d, t swept 0-1, best of 5 alternating rounds\n",
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)), kWidth, kHeight);
  report("hanescene4 (300 cloud billboards):", cloud.scene, cloud.bare);
  report("hanescene3 (1200 point sprites):", points.scene, points.bare);
  closePackage();
  return 0;
}
