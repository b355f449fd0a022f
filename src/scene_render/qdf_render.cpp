// Scene animation playback: camera, eye and light, and each object's model.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <string>

#include <glm/gtc/constants.hpp>

#include "scene_render/scene_render.h"

VESPER_IMPLEMENT_DYNAMIC(CSceneQdfDefault, CoreObject)

void CSceneQdfDefault::draw(cQdfRender* renderer, float t) {
  if (renderer) renderer->drawSceneByName(name.c_str(), t);
}

namespace {

constexpr float kDegreesPerRadian = 180.0f / 3.141592f;
constexpr double kAspect = 1.7777778;
constexpr double kNear = 0.1;
constexpr double kFar = 150.0;

// Built once: part lookups on the frame path must not allocate.
const std::string kCameraPos = "camera_pos";
const std::string kCameraLookAt = "camera_lookat";

// The eye and light the effects read; the camera and light managers keep
// them too for whoever asks after the draw.
void placeEye(DrawContext& context, glm::vec3 eye, glm::vec3 light) {
  context.eye = eye;
  context.light = light;
  cameraManager::instance().setPosition(eye.x, eye.y, eye.z);
  lightManager::instance().setPosition(light.x, light.y, light.z);
}

}  // namespace

CameraFrustum perspectiveFrustum(double fovDegrees, double aspect, double zNear, double zFar, glm::vec2 jitter,
                                 glm::ivec2 viewport) {
  const double h = zNear * std::tan(fovDegrees * glm::pi<double>() / 180.0 / 2.0);
  CameraFrustum f;
  f.left = -aspect * h;
  f.right = aspect * h;
  f.bottom = -h;
  f.top = h;
  f.zNear = zNear;
  f.zFar = zFar;
  if (viewport.x > 0 && viewport.y > 0) {
    const double dx = -(f.right - f.left) * static_cast<double>(jitter.x) / viewport.x;
    const double dy = -(f.top - f.bottom) * static_cast<double>(jitter.y) / viewport.y;
    f.left += dx;
    f.right += dx;
    f.bottom += dy;
    f.top += dy;
  }
  return f;
}

CameraFrustum cameraFrustum(float rotationY, glm::vec2 jitter, glm::ivec2 viewport) {
  const double fov = static_cast<double>(rotationY * kDegreesPerRadian + 30.0f);
  return perspectiveFrustum(fov, kAspect, kNear, kFar, jitter, viewport);
}

void jitteredPerspective(DrawContext& context, double fovDegrees, double aspect, double zNear, double zFar) {
  const CameraFrustum f = perspectiveFrustum(fovDegrees, aspect, zNear, zFar, context.jitter, context.viewport);
  MatrixStack& matrices = *context.matrices;
  matrices.matrixMode(MatrixStack::Projection);
  matrices.loadIdentity();
  matrices.frustum(f.left, f.right, f.bottom, f.top, f.zNear, f.zFar);
  matrices.matrixMode(MatrixStack::ModelView);
}

float sceneDuration(const QdfScene& scene) {
  float duration = 0.0f;
  for (const QdfObject& object : scene.objects) {
    if (object.slot == -1 && !object.times.empty()) duration = std::max(duration, object.times.back());
  }
  return duration;
}

cQdfRender::cQdfRender() = default;
cQdfRender::~cQdfRender() { unbindScene(); }

void cQdfRender::bindScene(resQDF* sceneFile) {
  unbindScene();
  if (sceneFile == nullptr) return;
  mSceneFile = ResourceRef<resQDF>(static_cast<resQDF*>(sceneFile->addRef()));
  const std::vector<QdfScene>& scenes = sceneFile->scenes();
  mSceneCount = static_cast<uint32_t>(scenes.size());
  mRenderers.resize(scenes.size());
  for (size_t s = 0; s < scenes.size(); ++s) {
    for (const QdfObject& object : scenes[s].objects) {
      auto renderer = std::make_unique<cMqoRender>();
      renderer->setModel(object.model, &object);
      renderer->setDrawContext(mContextForModels);
      mRenderers[s].push_back(std::move(renderer));
    }
  }
}

void cQdfRender::unbindScene() {
  mRenderers.clear();
  mSceneCount = 0;
  mSceneFile.reset();
}

void cQdfRender::setDrawContext(DrawContext* context) {
  cRenderObject::setDrawContext(context);
  mContextForModels = context;
  for (auto& scene : mRenderers)
    for (auto& renderer : scene) renderer->setDrawContext(context);
}

cMqoRender* cQdfRender::objectRenderer(uint32_t scene, uint32_t object) const {
  if (scene >= mRenderers.size() || object >= mRenderers[scene].size()) return nullptr;
  return mRenderers[scene][object].get();
}

void cQdfRender::drawSceneByName(const char* pName, float progress) {
  if (!mSceneFile || pName == nullptr) return;
  const std::vector<QdfScene>& scenes = mSceneFile->scenes();
  for (size_t s = 0; s < scenes.size(); ++s) {
    if (scenes[s].name == pName) {
      drawScene(static_cast<uint32_t>(s), progress);
      return;
    }
  }
}

void cQdfRender::modelMaterial(int slot, uint32_t material, const MqoMaterial* record) {
  resMQO* model = mSceneFile ? mSceneFile->modelInSlot(slot) : nullptr;
  if (model == nullptr || material >= model->getMaterialCount()) return;
  if (record != nullptr) {
    model->copyMaterial(material, *record);
  } else {
    model->restoreMaterial(material);
  }
}

void cQdfRender::drawSceneAt(uint32_t index, float progress, int withCamera) {
  if (!mSceneFile || index >= mSceneCount) return;
  const QdfScene& scene = mSceneFile->scenes()[index];
  if (scene.objects.empty()) return;
  const float t = progress * sceneDuration(scene);
  DrawContext& context = drawContext();
  MatrixStack& matrices = *context.matrices;

  if (withCamera == 1) {
    const QdfObject& camera = scene.objects.front();
    const QdfKey pos = evaluateKey(camera, kCameraPos, t);
    const QdfKey lookAt = evaluateKey(camera, kCameraLookAt, t);
    const glm::vec3 eye = pos.position;
    const glm::vec3 target = lookAt.position;
    const CameraFrustum f = cameraFrustum(pos.rotation.y, context.jitter, context.viewport);
    matrices.matrixMode(MatrixStack::Projection);
    matrices.push();
    matrices.loadIdentity();
    matrices.frustum(f.left, f.right, f.bottom, f.top, f.zNear, f.zFar);
    matrices.matrixMode(MatrixStack::ModelView);
    matrices.push();
    matrices.loadIdentity();
    matrices.rotate(pos.rotation.z * kDegreesPerRadian, 0.0f, 0.0f, 1.0f);
    matrices.lookAt(eye.x, eye.y, -eye.z, target.x, target.y, -target.z, 0.0, 1.0, 0.0);
    placeEye(context, eye, -eye);
  }

  const std::vector<std::unique_ptr<cMqoRender>>& renderers = mRenderers[index];
  const size_t first = withCamera > 0 ? static_cast<size_t>(withCamera) : 0;
  for (size_t k = first; k < scene.objects.size() && k < renderers.size(); ++k) {
    const QdfObject& object = scene.objects[k];
    if (object.model == nullptr) continue;
    const bool fixedView = object.cameraTrans == 0;
    if (fixedView) {
      // Backgrounds and overlays: seen from (0, 0, -1) towards +z.
      matrices.matrixMode(MatrixStack::ModelView);
      matrices.push();
      matrices.loadIdentity();
      matrices.lookAt(0.0, 0.0, -1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0);
      placeEye(context, glm::vec3(0.0f, 0.0f, -1.0f), glm::vec3(0.0f, 1000.0f, 1000.0f));
    }
    if (object.visible == 1) {
      if (fixedView) glDisable(GL_DEPTH_TEST);
      if (!fixedView || withCamera == 1) renderers[k]->render(t);
      if (fixedView) glEnable(GL_DEPTH_TEST);
    }
    if (fixedView) {
      matrices.matrixMode(MatrixStack::ModelView);
      matrices.pop();
    }
  }

  if (withCamera == 1) {
    matrices.matrixMode(MatrixStack::ModelView);
    matrices.pop();
    matrices.matrixMode(MatrixStack::Projection);
    matrices.pop();
    // Callers draw on with the model-view stack selected, as they found it.
    matrices.matrixMode(MatrixStack::ModelView);
  }
}
