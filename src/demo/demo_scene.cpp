// Timeline scenes: a scene file's file scenes played end to end, each by the
// scene class registered for its name; and the engine's scene stack.
#include <GL/glew.h>

#include <algorithm>

#include "demo/demo_scene.h"
#include "demo/scene_manager.h"

VESPER_IMPLEMENT_DYNAMIC(cDemoScene, CoreObject)
VESPER_IMPLEMENT_INTERFACE(sceneManager)
VESPER_IMPLEMENT_DYNAMIC(sceneManager, Interface<sceneManager>)

namespace {

constexpr char kSceneClassPrefix[] = "CSceneQdf_";

// Creates an instance of `cls` when it is a `Base`; null otherwise (or for a
// class that cannot be instantiated).
template <class Base>
std::unique_ptr<Base> createAs(const CoreRuntimeClass* cls) {
  if (cls == nullptr || !cls->isKindOf(Base::dynamicClass().getName())) return nullptr;
  return std::unique_ptr<Base>(static_cast<Base*>(cls->createObject()));
}

}  // namespace

std::unique_ptr<CSceneQdfDefault> createSceneInstance(const std::string& name) {
  const std::string className = kSceneClassPrefix + name;
  std::unique_ptr<CSceneQdfDefault> instance =
      createAs<CSceneQdfDefault>(CoreRuntimeClass::findClass(className.c_str()));
  return instance ? std::move(instance) : std::make_unique<CSceneQdfDefault>();
}

cDemoScene::cDemoScene(const char* pPath, const char* pShader, int line, uint32_t sTime, uint32_t eTime,
                       int animStart, int animEnd)
    : mPath(pPath), mShader(pShader), mLine(line), mSTime(sTime), mETime(eTime), mAnimStart(animStart),
      mAnimEnd(animEnd) {
  mScene = ResourceRef<resQDF>::load(pPath);
  if (mAnimStart == -1) mAnimStart = 0;
  const std::vector<QdfScene> none;
  const std::vector<QdfScene>& scenes = mScene ? mScene->scenes() : none;
  if (mAnimEnd == -1) {
    // Every camera object counts, not only the longest of a file scene.
    mAnimEnd = 0;
    for (const QdfScene& scene : scenes) {
      for (const QdfObject& object : scene.objects) {
        if (object.slot != -1) continue;
        float last = 0.0f;
        for (float key : object.times) last = std::max(last, key);
        mAnimEnd += static_cast<int>(last * 1000.0f);
      }
    }
  }
  float s = 0.0f;
  for (size_t i = 0; i < scenes.size(); ++i) {
    std::unique_ptr<CSceneQdfDefault> instance = createSceneInstance(scenes[i].name);
    float d = 0.0f;
    for (const QdfObject& object : scenes[i].objects) {
      if (object.slot != -1) continue;
      for (float key : object.times) d = std::max(d, key);
    }
    instance->name = scenes[i].name;
    instance->index = static_cast<int>(i);
    instance->start = static_cast<uint32_t>(s * 1000.0f);
    instance->end = static_cast<uint32_t>((s + d) * 1000.0f);
    s += d;
    mSceneInstances.push_back(std::move(instance));
  }
  mRenderer = std::make_unique<cQdfRender>();
  mRenderer->bindScene(mScene.get());
  for (const std::unique_ptr<CSceneQdfDefault>& instance : mSceneInstances) instance->setup(mRenderer.get());
}

cDemoScene::~cDemoScene() {
  // The renderer holds the file's models: it goes before the instances and
  // the file.
  mRenderer.reset();
  mSceneInstances.clear();
  mScene.reset();
}

void cDemoScene::setDrawContext(DrawContext* context) {
  if (mRenderer) mRenderer->setDrawContext(context);
}

bool cDemoScene::render(float progress) {
  const uint32_t a = static_cast<uint32_t>(progress * static_cast<float>(mAnimEnd - mAnimStart));
  for (const std::unique_ptr<CSceneQdfDefault>& instance : mSceneInstances) {
    if (a < instance->start || a > instance->end) continue;
    const uint32_t span = instance->end - instance->start;
    // A zero-length file scene is reached only at its start: t = 0.
    const float t = span ? static_cast<float>(a - instance->start) / static_cast<float>(span) : 0.0f;
    // Transparent: what the scene leaves empty lets the lines below show.
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cQdfRender* renderer = mRenderer.get();
    MatrixStack& matrices = *renderer->drawContext().matrices;
    matrices.matrixMode(MatrixStack::Projection);
    matrices.push();
    matrices.loadIdentity();
    matrices.matrixMode(MatrixStack::ModelView);
    matrices.push();
    matrices.loadIdentity();
    instance->before(renderer, t);
    instance->draw(renderer, t);
    instance->after(renderer, t);
    matrices.matrixMode(MatrixStack::ModelView);
    matrices.pop();
    matrices.matrixMode(MatrixStack::Projection);
    matrices.pop();
    matrices.matrixMode(MatrixStack::ModelView);
    break;
  }
  return true;
}

void QdfLoadingScene::draw(float progress) {
  if (!mScene) return;
  mScene->before(nullptr, progress);
  mScene->draw(nullptr, progress);
  mScene->after(nullptr, progress);
}

sceneManager::~sceneManager() = default;

std::unique_ptr<cDemoScene> sceneManager::createScene(const char* pName) {
  if (pName == nullptr || *pName == '\0') return nullptr;
  return createAs<cDemoScene>(CoreRuntimeClass::findClass(pName));
}

void sceneManager::changeScene(const char* pName) {
  if (mCurrent) {
    mCurrent->end();
    mCurrent.reset();
  }
  mPendingName = pName ? pName : "";
  mChangePending = true;
}

void sceneManager::pushScene(const char* pName) {
  if (mCurrent) mStack.push_back(std::move(mCurrent));
  mPendingName = pName ? pName : "";
  mChangePending = true;
}

void sceneManager::popScene() {
  if (mStack.empty()) return;
  if (mCurrent) mCurrent->end();
  mCurrent = std::move(mStack.back());
  mStack.pop_back();
}

bool sceneManager::update() {
  if (mChangePending) {
    mChangePending = false;
    mCurrent = createScene(mPendingName.c_str());
  }
  if (mCurrent && mCurrent->isReady()) mCurrent->render(0.0f);
  return true;
}

bool sceneManager::terminate() {
  while (!mStack.empty()) {
    mStack.back()->end();
    mStack.pop_back();
  }
  if (mCurrent) {
    mCurrent->end();
    mCurrent.reset();
  }
  mChangePending = false;
  return true;
}
