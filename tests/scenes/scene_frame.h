// What the scene tests and the scene benchmark share: one scene frame drawn
// as the demo draws it, and a PNG of a read-back frame. No test framework.
#pragma once

#include <GL/glew.h>

#include <string>
#include <vector>

#include "scene_render/scene_render.h"
#include "texture/texture.h"

namespace scene_testing {

// Identity pushed on both matrix stacks (the renderer's draw context's; GL's
// without a renderer, as the loading screen draws), before, draw and after
// at t, then both popped (the caller clears).
inline void playSceneFrame(CSceneQdfDefault& scene, cQdfRender* renderer, float t) {
  if (renderer) {
    MatrixStack& m = *renderer->drawContext().matrices;
    m.matrixMode(MatrixStack::Projection);
    m.push();
    m.loadIdentity();
    m.matrixMode(MatrixStack::ModelView);
    m.push();
    m.loadIdentity();
    scene.before(renderer, t);
    scene.draw(renderer, t);
    scene.after(renderer, t);
    m.matrixMode(MatrixStack::Projection);
    m.pop();
    m.matrixMode(MatrixStack::ModelView);
    m.pop();
    return;
  }
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  scene.before(renderer, t);
  scene.draw(renderer, t);
  scene.after(renderer, t);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

// Writes bottom-up RGBA pixels as `path`.
inline bool writeFramePng(const std::string& path, const std::vector<uint8_t>& pixels, int width, int height,
                          std::string& reason) {
  PngImage image;
  image.pixels = pixels.data();
  image.width = width;
  image.height = height;
  image.stride = width * 4;
  image.bottomUp = true;
  return writePngFile(path.c_str(), image, reason);
}

}  // namespace scene_testing
