// Render objects, camera and light managers.
#include <GL/glew.h>

#include <cassert>

#include "scene_render/scene_render.h"
#include "shader/shader.h"

VESPER_IMPLEMENT_DYNAMIC(cRenderObject, CoreObject)
VESPER_IMPLEMENT_DYNAMIC(cQdfRender, cRenderObject)
VESPER_IMPLEMENT_DYNAMIC(cMqoRender, cRenderObject)
VESPER_IMPLEMENT_DYNAMIC(cMassMqoRender, cMqoRender)
VESPER_IMPLEMENT_INTERFACE(cameraManager)
VESPER_IMPLEMENT_DYNAMIC(cameraManager, Interface<cameraManager>)
VESPER_IMPLEMENT_INTERFACE(lightManager)
VESPER_IMPLEMENT_DYNAMIC(lightManager, Interface<lightManager>)

namespace {

const float kAmbient[4] = {0.1f, 0.1f, 0.1f, 0.1f};
const float kLightColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float kKe[4] = {0.0f, 0.0f, 0.0f, 0.0f};
const float kKa[4] = {0.8f, 0.8f, 0.8f, 0.8f};
const float kKd[4] = {0.6f, 0.6f, 0.6f, 0.6f};
const float kKs[4] = {0.85f, 0.85f, 0.85f, 0.85f};
const float kShininess = 8.0f;

void drawInterleaved(std::vector<ImmediateVertex>& vertices, GLenum mode) {
  if (vertices.empty()) return;
  glInterleavedArrays(GL_T2F_N3F_V3F, 0, vertices.data());
  glDrawArrays(mode, 0, static_cast<GLsizei>(vertices.size()));
  // glInterleavedArrays enabled these three; leave the client state as found.
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  vertices.clear();  // keeps the storage
}

}  // namespace

cRenderObject::cRenderObject() = default;
cRenderObject::~cRenderObject() = default;

DrawContext& cRenderObject::drawContext() const {
  assert(mContext && mContext->matrices && "draw without a draw context: setDrawContext first");
  return *mContext;
}

void cRenderObject::setPassParameters(uint32_t pass) {
  resShader* effect = shaderManager::instance().currentEffect();
  if (effect == nullptr) return;
  effect->setPassState(pass);
  const DrawContext& context = drawContext();
  const StateMatrices matrices = context.matrices->stateMatrices();
  effect->setStateMatrix("shWorldMat", 0x11, matrices);
  effect->setStateMatrix("shViewMat", 0x11, matrices);
  effect->setStateMatrix("shVProjMat", 0x80, matrices);
  effect->setParameter("shAmbient", kAmbient);
  effect->setParameter("shLightColor", kLightColor);
  effect->setParameter("shKe", kKe);
  effect->setParameter("shKa", kKa);
  effect->setParameter("shKd", kKd);
  effect->setParameter("shKs", kKs);
  effect->setParameter("shShininess", &kShininess);
  effect->setParameter("shEyePos", &context.eye.x);
  effect->setParameter("shLightPos", &context.light.x);
}

// The pass state is set in setPassParameters and reset in finishPass only:
// the effect runtime saves the state in force when a pass is set, so setting
// it a second time would save the pass's own state and its reset would then
// leave the pass's state behind.
void cRenderObject::render(float) {
  resShader* effect = getEffect();
  if (effect == nullptr) {
    draw(0);
    return;
  }
  shaderManager::instance().setCurrentEffect(effect);
  const uint32_t passes = effect->passCount();
  for (uint32_t i = 0; i < passes; ++i) {
    setPassParameters(i);
    draw(i);
    finishPass(i);
  }
}

void cRenderObject::finishPass(uint32_t pass) {
  drawInterleaved(mTriangles, GL_TRIANGLES);
  drawInterleaved(mFan, GL_TRIANGLE_FAN);
  if (resShader* effect = shaderManager::instance().currentEffect()) effect->resetPassState(pass);
}

void cRenderObject::addTriangle(const ImmediateVertex& a, const ImmediateVertex& b,
                                const ImmediateVertex& c) {
  mTriangles.push_back(a);
  mTriangles.push_back(b);
  mTriangles.push_back(c);
}

void cRenderObject::addFanVertex(const ImmediateVertex& v) { mFan.push_back(v); }

void cRenderObject::reserveImmediate(size_t triangleVertices, size_t fanVertices) {
  mTriangles.reserve(triangleVertices);
  mFan.reserve(fanVertices);
}
