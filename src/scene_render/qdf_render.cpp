// Scene animation playback: camera, eye and light, and each object's model.
#include <GL/glew.h>
#include <GL/glu.h>

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

void jitteredPerspective(double fovDegrees, double aspect, double zNear, double zFar) {
  RenderHooks& hooks = renderHooks();
  const CameraFrustum f =
      perspectiveFrustum(fovDegrees, aspect, zNear, zFar, hooks.jitterOffset(), hooks.viewportSize());
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(f.left, f.right, f.bottom, f.top, f.zNear, f.zFar);
  glMatrixMode(GL_MODELVIEW);
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
      mRenderers[s].push_back(std::move(renderer));
    }
  }
}

void cQdfRender::unbindScene() {
  mRenderers.clear();
  mSceneCount = 0;
  mSceneFile.reset();
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

  if (withCamera == 1) {
    const QdfObject& camera = scene.objects.front();
    const QdfKey pos = evaluateKey(camera, kCameraPos, t);
    const QdfKey lookAt = evaluateKey(camera, kCameraLookAt, t);
    const glm::vec3 eye = pos.position;
    const glm::vec3 target = lookAt.position;
    RenderHooks& hooks = renderHooks();
    const CameraFrustum f = cameraFrustum(pos.rotation.y, hooks.jitterOffset(), hooks.viewportSize());
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(f.left, f.right, f.bottom, f.top, f.zNear, f.zFar);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRotatef(pos.rotation.z * kDegreesPerRadian, 0.0f, 0.0f, 1.0f);
    gluLookAt(eye.x, eye.y, -eye.z, target.x, target.y, -target.z, 0.0, 1.0, 0.0);
    cameraManager::instance().setPosition(eye.x, eye.y, eye.z);
    lightManager::instance().setPosition(-eye.x, -eye.y, -eye.z);
  }

  const std::vector<std::unique_ptr<cMqoRender>>& renderers = mRenderers[index];
  const size_t first = withCamera > 0 ? static_cast<size_t>(withCamera) : 0;
  for (size_t k = first; k < scene.objects.size() && k < renderers.size(); ++k) {
    const QdfObject& object = scene.objects[k];
    if (object.model == nullptr) continue;
    const bool fixedView = object.cameraTrans == 0;
    if (fixedView) {
      // Backgrounds and overlays: seen from (0, 0, -1) towards +z.
      glMatrixMode(GL_MODELVIEW);
      glPushMatrix();
      glLoadIdentity();
      gluLookAt(0.0, 0.0, -1.0, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0);
      cameraManager::instance().setPosition(0.0f, 0.0f, -1.0f);
      lightManager::instance().setPosition(0.0f, 1000.0f, 1000.0f);
    }
    if (object.visible == 1) {
      if (fixedView) glDisable(GL_DEPTH_TEST);
      if (!fixedView || withCamera == 1) renderers[k]->render(t);
      if (fixedView) glEnable(GL_DEPTH_TEST);
    }
    if (fixedView) {
      glMatrixMode(GL_MODELVIEW);
      glPopMatrix();
    }
  }

  if (withCamera == 1) {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    // Callers draw on with the model-view stack selected, as they found it.
    glMatrixMode(GL_MODELVIEW);
  }
}
