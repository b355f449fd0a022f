// Model rendering: whole models, animated object hierarchies and instances.
#include <GL/glew.h>

#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

namespace {

// The authoring tool's degree factor, kept for identical pictures.
constexpr float kDegreesPerRadian = 180.0f / 3.141592f;

uint32_t textureName(const cTexture* texture) {
  return texture ? textureManager::instance().glName(texture) : 0;
}

}  // namespace

cMqoRender::cMqoRender() = default;
cMqoRender::~cMqoRender() = default;

void cMqoRender::setModel(resMQO* model, const QdfObject* animation) {
  if (model != nullptr) {
    mModel = ResourceRef<resMQO>(static_cast<resMQO*>(model->addRef()));
    const uint32_t materials = model->getMaterialCount();
    mBaseTextures.assign(materials, 0);
    mOverlapTextures.assign(materials, 0);
    for (uint32_t i = 0; i < materials; ++i) {
      mBaseTextures[i] = textureName(model->getTexture(0, i));
      mOverlapTextures[i] = textureName(model->getTexture(1, i));
    }
    // Named points never change while the model is loaded.
    const uint32_t objects = model->getObjectCount();
    mPivots.assign(objects, glm::vec3(0.0f));
    for (uint32_t k = 0; k < objects; ++k) mPivots[k] = model->findPoint(model->getObject(k).name.c_str());
  }
  if (animation != nullptr) mAnimation = animation;
}

void cMqoRender::releaseModel() {
  mModel.reset();
  mBaseTextures.clear();
  mOverlapTextures.clear();
  mPivots.clear();
}

uint32_t cMqoRender::passCount() const {
  const resShader* effect = getEffect();
  return effect ? effect->passCount() : 0;
}

uint32_t cMqoRender::materialCount() const { return mModel ? mModel->getMaterialCount() : 0; }

void cMqoRender::drawObjectFaces(uint32_t object, uint32_t material) {
  if (mModel) mModel->drawObjectFaces(object, material);
}

void cMqoRender::setMaterialParameters(uint32_t material, float alpha, float time) {
  const DrawContext& context = drawContext();
  resShader* effect = context.overrideEffect;
  if (effect == nullptr && mModel) effect = mModel->getMaterialEffect(material);
  setEffect(effect);
  if (effect == nullptr) return;
  shaderManager& shaders = shaderManager::instance();
  shaders.setCurrentEffect(effect);
  const uint32_t base = material < mBaseTextures.size() ? mBaseTextures[material] : 0;
  const uint32_t overlap = material < mOverlapTextures.size() ? mOverlapTextures[material] : 0;
  effect->setParameter("shBaseTexture", &base);
  effect->setParameter("shOverlapTexture", &overlap);
  glm::vec4 colour = material < materialCount() ? mModel->getMaterial(material).col : glm::vec4(1.0f);
  colour.a *= alpha;
  effect->setParameter("shMqoColor", &colour.x);
  // The modeller's own lighting factors, for effects that declare them.
  if (material < materialCount()) {
    const MqoMaterial& m = mModel->getMaterial(material);
    effect->setParameter("shMqoDif", &m.dif);
    effect->setParameter("shMqoAmb", &m.amb);
    effect->setParameter("shMqoEmi", &m.emi);
    effect->setParameter("shMqoSpc", &m.spc);
    effect->setParameter("shMqoPower", &m.power);
  }
  effect->setParameter("TIME_RATE", &time);
  if (context.customTextures) context.customTextures->apply(effect);
}

// The materials' passes follow one another with only parameters and
// matrices set between them (a material without an effect draws nothing):
// one pass run spares the program switches and restores between them.
void cMqoRender::render(float time) {
  if (!mModel) return;
  effectPassRun run;
  if (mAnimation != nullptr) {
    drawAnimated(time);
  } else {
    drawStatic(time);
  }
}

void cMqoRender::drawMaterialPasses(uint32_t list) {
  const uint32_t passes = passCount();
  for (uint32_t j = 0; j < passes; ++j) {
    setPassParameters(j);
    glCallList(list);
    finishPass(j);
  }
}

void cMqoRender::drawStatic(float time) {
  const uint32_t materials = materialCount();
  for (uint32_t i = 0; i < materials; ++i) {
    setMaterialParameters(i, 1.0f, time);
    drawMaterialPasses(mModel->getMaterialList(i));
  }
}

// Objects nest by depth on the matrix stack. Going back up pops (prev - d)
// levels and pushes one, so an object returning to depth d still carries the
// transform of the last object at depth d beneath its own: that is the
// nesting rule scene files are animated against, not an off-by-one.
void cMqoRender::drawAnimated(float time) {
  const uint32_t objects = mModel->getObjectCount();
  const uint32_t materials = materialCount();
  MatrixStack& matrices = *drawContext().matrices;
  int32_t prev = -1;
  int32_t pushes = 0;
  for (uint32_t k = 0; k < objects; ++k) {
    const MqoObject& object = mModel->getObject(k);
    const int32_t d = object.depth;
    if (prev < d) {
      matrices.push();
      pushes += 1;
    } else if (prev == d) {
      matrices.pop();
      matrices.push();
    } else {
      for (int32_t n = 0; n < prev - d; ++n) matrices.pop();
      matrices.push();
      pushes += 1 - (prev - d);
    }
    prev = d;

    const glm::vec3 p = k < mPivots.size() ? mPivots[k] : glm::vec3(0.0f);
    const QdfKey key = evaluateKey(*mAnimation, object.name, time);
    const glm::vec3 degrees = key.rotation * kDegreesPerRadian;
    matrices.translate(p.x, p.y, -p.z);
    matrices.translate(key.position.x, key.position.y, -key.position.z);
    matrices.rotate(degrees.z, 0.0f, 0.0f, 1.0f);
    matrices.rotate(-degrees.y, 0.0f, 1.0f, 0.0f);
    matrices.rotate(-degrees.x, 1.0f, 0.0f, 0.0f);
    matrices.scale(key.scale.x, key.scale.y, key.scale.z);
    matrices.translate(-p.x, -p.y, p.z);

    for (uint32_t i = 0; i < materials; ++i) {
      setMaterialParameters(i, key.alpha, time);
      drawMaterialPasses(mModel->getObjectMaterialList(k, i));
    }
  }
  for (int32_t n = 0; n < pushes; ++n) matrices.pop();
}

// ---------------------------------------------------------------------------

void cMassMqoRender::beginMaterial(float time, uint32_t pass, uint32_t material, float alpha) {
  setMaterialParameters(material, alpha, time);
  mMaterial = material;
  setPassParameters(pass);
  mPass = pass;
}

void cMassMqoRender::bindInstanceMatrices() {
  shaderManager& shaders = shaderManager::instance();
  const StateMatrices matrices = drawContext().matrices->stateMatrices();
  shaders.setStateMatrix("shWorldMat", 0x11, matrices);
  shaders.setStateMatrix("shViewMat", 0x11, matrices);
  shaders.setStateMatrix("shVProjMat", 0x80, matrices);
}

void cMassMqoRender::drawInstance() {
  if (mModel) glCallList(mModel->getMaterialList(mMaterial));
}

void cMassMqoRender::endMaterial() { finishPass(mPass); }
