// Resource cache and loading: candidate classes come from the run-time class
// table in slot order; the first whose canLoad and load both succeed wins.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "files/files.h"
#include "resources/resources.h"

VESPER_IMPLEMENT_DYNAMIC(resourceObject, CoreObject)
VESPER_IMPLEMENT_INTERFACE(resourceManager)
VESPER_IMPLEMENT_DYNAMIC(resourceManager, Interface<resourceManager>)

namespace {

class NullPresenter final : public LoadingPresenter {
 public:
  void clearFrame() override {}
  void presentFrame() override {}
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

LoadingPresenter& nullPresenter() {
  static NullPresenter presenter;
  return presenter;
}

// Exact descent through the parent chain, so the cast below is always right.
bool descendsFromResource(const CoreRuntimeClass* c) {
  for (; c != nullptr; c = c->getParent()) {
    if (c == &resourceObject::dynamicClass()) return true;
  }
  return false;
}

}  // namespace

// A model is always read from its binary cache file.
std::string resourceEntryName(const char* pName) {
  std::string name(pName);
  if (name.find(".mqo") != std::string::npos) {
    name.erase(name.rfind('.'));
    name += ".bmdl";
  }
  return name;
}

resourceManager::resourceManager() : mPresenter(&nullPresenter()) {}

resourceManager::~resourceManager() { releaseHeld(); }

bool resourceManager::terminate() {
  releaseHeld();
  setLoadingScene(nullptr);
  return true;
}

void resourceManager::setLoadTiming(bool on) {
  mTiming = on;
  mNestedSeconds = 0.0;
  mLoadTimes.clear();
}

void resourceManager::addLoadTime(const char* kind, double seconds) {
  mNestedSeconds += seconds;
  for (LoadTime& t : mLoadTimes) {
    if (t.kind == kind) {
      t.seconds += seconds;
      ++t.count;
      return;
    }
  }
  mLoadTimes.push_back({kind, seconds, 1});
}

resourceObject* resourceManager::load(const char* pName) {
  if (!mTiming) return loadEntry(pName);
  const double enclosing = std::exchange(mNestedSeconds, 0.0);
  const auto start = std::chrono::steady_clock::now();
  resourceObject* resource = loadEntry(pName);
  const double total = secondsSince(start);
  const double nested = mNestedSeconds;
  mNestedSeconds = 0.0;
  addLoadTime(resource ? resource->getRuntimeClass()->getName() : "not loaded", total - nested);
  mNestedSeconds = enclosing + total;
  return resource;
}

resourceObject* resourceManager::loadEntry(const char* pName) {
  const std::string name = resourceEntryName(pName);
  for (resourceObject* cached : mCache) {
    if (cached->getName() == name) return cached->addRef();
  }

  const auto opening = std::chrono::steady_clock::now();
  CoreFile file(name.c_str(), MODE_READ);
  if (mTiming) addLoadTime("pack open", secondsSince(opening));
  CoreFileStream stream(&file);
  if (file.getSize() == 0) return nullptr;

  for (uint32_t i = 0; i < CoreRuntimeClass::DYNAMIC_HASH_NUM; ++i) {
    const CoreRuntimeClass* c = CoreRuntimeClass::slot(i);
    if (!descendsFromResource(c)) continue;
    auto* candidate = static_cast<resourceObject*>(c->createObject());
    if (candidate == nullptr) continue;
    candidate->addRef();
    stream.seek(0, 1);  // back to the entry start
    if (candidate->canLoad(stream) && candidate->load(stream)) {
      mCache.push_back(candidate);
      return candidate;
    }
    release(candidate);
  }
  return nullptr;
}

bool resourceManager::reloadInPlace(resourceObject& resource, std::string& problem, int& line) {
  problem.clear();
  line = 0;
  auto* fresh = static_cast<resourceObject*>(resource.getRuntimeClass()->createObject());
  if (fresh == nullptr) {
    problem = "cannot be reloaded";
    return false;
  }
  fresh->addRef();
  const bool wasReloading = std::exchange(mReloading, true);
  bool loaded = false;
  try {
    CoreFile file(resource.getName().c_str(), MODE_READ);
    CoreFileStream stream(&file);
    loaded = file.getSize() > 0 && fresh->canLoad(stream) && fresh->load(stream);
  } catch (...) {
    mReloading = wasReloading;
    release(fresh);
    throw;
  }
  mReloading = wasReloading;
  bool swapped = false;
  if (loaded && fresh->problem().empty()) {
    swapped = resource.swapContents(*fresh);
    if (!swapped) problem = "cannot be replaced in place";
  } else {
    problem = !fresh->problem().empty() ? fresh->problem() : "does not load";
    line = fresh->problemLine();
  }
  release(fresh);  // the old contents, after a swap
  return swapped;
}

void resourceManager::release(resourceObject* resource) {
  if (resource == nullptr || --resource->refCount > 0) return;
  const auto it = std::find(mCache.begin(), mCache.end(), resource);
  if (it != mCache.end()) mCache.erase(it);
  delete resource;
}

void resourceManager::registerPreload(const char* pName) {
  if (pName == nullptr) return;
  if (std::find(mPreloadNames.begin(), mPreloadNames.end(), pName) == mPreloadNames.end()) {
    mPreloadNames.emplace_back(pName);
  }
}

void resourceManager::computeProgressStep() {
  int models = 0;
  for (const std::string& name : mPreloadNames) models += countSceneModels(name.c_str());
  // With no models no step is ever taken; 0 keeps the value finite.
  mProgressStep = models > 0 ? 1.0f / static_cast<float>(models) : 0.0f;
}

void resourceManager::releaseHeld() {
  // Swap first: releasing may destroy resources whose destructors release
  // further resources, and none of that may touch a half-cleared list.
  std::vector<resourceObject*> held;
  held.swap(mHeld);
  for (resourceObject* r : held) release(r);
}

void resourceManager::loadPreloads() {
  releaseHeld();
  for (const std::string& name : mPreloadNames) mHeld.push_back(load(name.c_str()));
}

void resourceManager::clearPreloads() {
  releaseHeld();
  mPreloadNames.clear();
  mProgress = 0.0f;
}

void resourceManager::setLoadingPresenter(LoadingPresenter* presenter) {
  mPresenter = presenter ? presenter : &nullPresenter();
}

void resourceManager::drawLoadingScene(float t) {
  mLoadingScene->draw(t);
  mPresenter->presentFrame();
}

void resourceManager::setLoadingScene(std::unique_ptr<LoadingScene> scene) {
  mLoadingScene.reset();
  mLoadingScene = std::move(scene);
  if (mLoadingScene) drawLoadingScene(0.0f);
}

void resourceManager::advanceProgress() {
  // A reload is no part of the loading sequence.
  if (mReloading) return;
  mProgress += mProgressStep;
  if (!mLoadingScene) return;
  const auto start = std::chrono::steady_clock::now();
  mPresenter->clearFrame();
  drawLoadingScene(mProgress);
  if (mTiming) addLoadTime("loading screen", secondsSince(start));
}
