// The scene family: what each file scene adds to or draws instead of the
// scene file's own picture.
#include <GL/glew.h>
#include <GL/glu.h>

#include "scenes/scenes.h"

VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_blackgirl, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_boxfloor1, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_clock1, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_clock2, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_fallheart, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_grasswater, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_greetz, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_hanescene1, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_hanescene3, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_hanescene4, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_lightball, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_loader, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_metaball, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(SceneQdf_skycloud1, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_skyhand1, CSceneQdfDefault)
VESPER_IMPLEMENT_DYNAMIC(CSceneQdf_skyhand2, CSceneQdfDefault)

namespace {

constexpr char kPointEffectName[] = "data\\shader\\pointspriteShader.cgfx";
constexpr const char* kFeatherTextures[] = {"data\\texture\\mhane1a.png", "data\\texture\\mhane2a.png",
                                            "data\\texture\\mhane3a.png", "data\\texture\\mhane4a.png"};
constexpr const char* kLightTextures[] = {"data\\texture\\light1.png", "data\\texture\\light2.png",
                                          "data\\texture\\light3.png"};

constexpr double kFieldOfView = 45.0;
constexpr double kWideAspect = 1.7777777777777777;

void clearToBlack() {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void drawByIndex(cQdfRender* renderer, const CSceneQdfDefault& scene, float t) {
  if (renderer != nullptr) renderer->drawScene(static_cast<uint32_t>(scene.sceneIndex()), t);
}

// A fixed camera on the z axis looking at the origin; its position is the
// eye the effects see.
void lookFromZ(DrawContext& context, float eyeZ) {
  context.matrices->lookAt(0.0, 0.0, eyeZ, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  context.eye = glm::vec3(0.0f, 0.0f, eyeZ);
  cameraManager::instance().setPosition(0.0f, 0.0f, eyeZ);
}

// A w x h rectangle centred on the origin in the z = 0 plane.
void centredRect(float w, float h) {
  const float x = w / 2, y = h / 2;
  const float corners[] = {-x, -y, x, -y, x, y, -x, y};
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, corners);
  glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void CSceneQdfByIndex::draw(cQdfRender* renderer, float t) { drawByIndex(renderer, *this, t); }

// ---------------------------------------------------------------------------

void CSceneQdf_boxfloor1::setup(cQdfRender* renderer) {
  const resQDF* file = renderer != nullptr ? renderer->sceneFile() : nullptr;
  mSlot = file != nullptr ? file->findModelSlot(kModelName) : -1;
}

void CSceneQdf_boxfloor1::before(cQdfRender* renderer, float t) {
  resMQO* model = mSlot >= 0 ? renderer->sceneFile()->modelInSlot(mSlot) : nullptr;
  if (model == nullptr || mMaterial >= model->getMaterialCount()) return;
  mTinted = model->getMaterial(mMaterial);
  mTinted.col = glm::vec4(t, 1.0f - t, 0.0f, 0.7f);
  renderer->modelMaterial(mSlot, mMaterial, &mTinted);
}

void CSceneQdf_boxfloor1::after(cQdfRender* renderer, float t) {
  if (mSlot >= 0) renderer->modelMaterial(mSlot, mMaterial, nullptr);
}

// ---------------------------------------------------------------------------

void CSceneQdf_loader::before(cQdfRender* renderer, float t) {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.3333333333333333, 1.0, 1000.0);
}

void CSceneQdf_loader::draw(cQdfRender* renderer, float t) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, 0.0, 10.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  // Flat colour, painted in order: a depth test or texture left on would
  // hide or tint the later rectangles. (Effect passes leave no program.)
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glDisable(GL_BLEND);
  glColor3f(1.0f, 1.0f, 1.0f);
  centredRect(10.0f, 0.8f);
  glColor3f(0.0f, 0.0f, 0.0f);
  centredRect(9.75f, 0.65f);
  glColor3f(1.0f, 1.0f, 1.0f);
  centredRect(t * 9.5f, 0.5f);
  glPopAttrib();
}

// ---------------------------------------------------------------------------

void PointSpriteScene::setup(cQdfRender* renderer) {
  mSets = generatePointSets(mGenerator);
  mParticles.clear();
  for (const char* texture : kFeatherTextures) {
    mParticles.push_back(std::make_unique<CParticle>(kPointEffectName, texture));
  }
}

void PointSpriteScene::drawSets(DrawContext& context, float t) {
  MatrixStack& matrices = *context.matrices;
  matrices.matrixMode(MatrixStack::ModelView);
  for (size_t k = 0; k < mParticles.size() && k < mSets.size(); ++k) {
    matrices.push();
    mParticles[k]->draw(context, t, mSets[k].data());
    matrices.pop();
  }
}

void CSceneQdf_skyhand1::draw(cQdfRender* renderer, float t) {
  clearToBlack();
  drawByIndex(renderer, *this, t);
  if (renderer) drawSets(renderer->drawContext(), t);
}

void CSceneQdf_hanescene3::draw(cQdfRender* renderer, float t) {
  clearToBlack();
  drawByIndex(renderer, *this, t);
  if (!renderer) return;
  DrawContext& context = renderer->drawContext();
  jitteredPerspective(context, kFieldOfView, kWideAspect, 1.0, 1000.0);
  context.matrices->loadIdentity();
  lookFromZ(context, 1.0f);
  drawSets(context, t);
}

// ---------------------------------------------------------------------------

void CloudScene::setup(cQdfRender* renderer) {
  mTextures.clear();
  std::vector<resTexture*> loaded;
  auto load = [&](const char* path) {
    mTextures.push_back(ResourceRef<resTexture>::load(path));
    loaded.push_back(mTextures.back().get());
  };
  if (mGenerator == CloudGenerator::Lightball) {
    for (const char* path : kLightTextures) load(path);
  } else {
    for (const char* path : kFeatherTextures) load(path);
  }
  mCloud.setup();
  mElements = generateCloud(mGenerator, loaded);
}

void CloudScene::drawFromEye(DrawContext& context, float eyeZ, float scale, float t) {
  MatrixStack& matrices = *context.matrices;
  lookFromZ(context, eyeZ);
  matrices.push();
  if (scale != 1.0f) matrices.scale(scale, scale, scale);
  mCloud.draw(context, mElements.data(), mElements.size(), t);
  matrices.pop();
}

void CSceneQdf_hanescene1::draw(cQdfRender* renderer, float t) {
  clearToBlack();
  drawByIndex(renderer, *this, t);
  if (!renderer) return;
  DrawContext& context = renderer->drawContext();
  jitteredPerspective(context, kFieldOfView, kWideAspect, 1.0, 10000.0);
  drawFromEye(context, 300.0f, 1.0f, t);
}

void CSceneQdf_hanescene4::draw(cQdfRender* renderer, float t) {
  const float fade = t * t * t * t;
  glClearColor(fade, fade, fade, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (!renderer) return;
  DrawContext& context = renderer->drawContext();
  context.matrices->loadIdentity();
  jitteredPerspective(context, kFieldOfView, kWideAspect, 1.0, 1000.0);
  context.matrices->loadIdentity();
  drawFromEye(context, 300.0f, 0.7f, t);
}

void CSceneQdf_lightball::setup(cQdfRender* renderer) {
  CloudScene::setup(renderer);
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
}

void CSceneQdf_lightball::draw(cQdfRender* renderer, float t) {
  clearToBlack();
  if (!renderer) return;
  DrawContext& context = renderer->drawContext();
  context.matrices->loadIdentity();
  jitteredPerspective(context, kFieldOfView, kWideAspect, 1.0, 1000.0);
  context.matrices->loadIdentity();
  drawFromEye(context, 150.0f, 1.0f, t);
}

// ---------------------------------------------------------------------------

void CSceneQdf_metaball::setup(cQdfRender* renderer) { mMetaball.setup(); }

void CSceneQdf_metaball::draw(cQdfRender* renderer, float t) {
  if (renderer) mMetaball.draw(renderer->drawContext(), t);
}
