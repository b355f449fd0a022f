// Scene animation file resource: reads its pack entry whole, loads the
// listed models through the resource manager and keeps the parsed scenes.
#include <cstdio>

#include "files/files.h"
#include "formats/formats.h"
#include "model/model.h"

VESPER_IMPLEMENT_DYNAMIC(resQDF, resourceObject)

resQDF::resQDF() = default;
resQDF::~resQDF() { unload(); }

bool resQDF::load(CoreFileStream& stream) {
  resourceObject::load(stream);
  mData = std::make_unique<QdfData>();
  mData->path = name;
  resourceManager& manager = resourceManager::instance();
  const QdfModelLoader loadModel = [](const std::string& model) {
    return ResourceRef<resMQO>::load(model.c_str()).detach();
  };
  const QdfProgress progress = [&manager] { manager.advanceProgress(); };
  std::vector<QdfProblem> problems;
  {
    const std::vector<char> text = loadEntryText(name.c_str());
    parseQdfText(text.data(), text.size(), *mData, loadModel, progress, &problems);
  }
  for (const QdfProblem& p : problems) std::fprintf(stderr, "qdf: %s:%d: %s\n", name.c_str(), p.line, p.reason.c_str());
  if (!problems.empty()) setProblem(problems.front().line, problems.front().reason);
  return true;
}

bool resQDF::swapContents(resourceObject& other) {
  auto* o = dynamic_cast<resQDF*>(&other);
  if (o == nullptr) return false;
  std::swap(mData, o->mData);
  swapProblem(other);
  return true;
}

bool resQDF::unload() {
  if (mData) releaseQdfModels(*mData);
  mData.reset();
  return true;
}

int resQDF::countModels(const char* pName) { return countSceneModels(pName); }

int resQDF::findModelSlot(const char* pFragment) const {
  if (!mData || pFragment == nullptr) return -1;
  for (int slot = 0; slot < kQdfModelSlots; ++slot) {
    const resMQO* model = mData->models[slot];
    if (model != nullptr && model->getName().find(pFragment) != std::string::npos) return slot;
  }
  return -1;
}

const std::vector<QdfScene>& resQDF::scenes() const {
  static const std::vector<QdfScene> none;
  return mData ? mData->scenes : none;
}

resMQO* resQDF::modelInSlot(int slot) const {
  return mData && slot >= 0 && slot < kQdfModelSlots ? mData->models[slot] : nullptr;
}
