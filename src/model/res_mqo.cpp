// The model resource: the binary model, each material's textures and effect
// (all or nothing), and the display lists compiled from client arrays.
#include <GL/glew.h>

#include <cstdio>

#include "files/files.h"
#include "model/model.h"
#include "shader/shader.h"
#include "texture/texture.h"

VESPER_IMPLEMENT_DYNAMIC(resMQO, resourceObject)

resMQO::resMQO() = default;
resMQO::~resMQO() { unload(); }

namespace {

constexpr uint64_t kMaxDrawUnits = uint64_t{1} << 20;

const char* orDefault(const std::string& name, const char* fallback) {
  return name.empty() ? fallback : name.c_str();
}

}  // namespace

bool resMQO::load(CoreFileStream& stream) {
  resourceObject::load(stream);
  std::string path = stream.getName();
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos) path.resize(dot);
  path += ".bmdl";

  auto model = std::make_unique<MqoModel>();
  std::string reason;
  if (!readBinaryModel(path.c_str(), *model, reason)) {
    std::fprintf(stderr, "model: %s: %s\n", path.c_str(), reason.c_str());
    setProblem(0, reason);
    return false;
  }
  // Every (object, material) pair gets a list: a hostile pair of counts
  // must not ask GL for billions.
  const uint64_t units = uint64_t{model->materials.size()} * (model->objects.size() + 1);
  if (units > kMaxDrawUnits) {
    std::fprintf(stderr, "model: %s: %zu materials for %zu objects are too many draw units\n",
                 path.c_str(), model->materials.size(), model->objects.size());
    return false;
  }
  mData = std::move(model);
  if (!loadMaterialResources(path)) {
    setProblem(0, "a material's texture or effect did not load");
    releaseMaterialResources();
    mData.reset();
    return false;
  }
  mLoadedMaterials = mData->materials;
  buildDrawArrays();
  compileLists();
  return true;
}

bool resMQO::swapContents(resourceObject& other) {
  auto* o = dynamic_cast<resMQO*>(&other);
  if (o == nullptr) return false;
  std::swap(mData, o->mData);
  std::swap(mLoadedMaterials, o->mLoadedMaterials);
  std::swap(mTextures, o->mTextures);
  std::swap(mSecondTextures, o->mSecondTextures);
  std::swap(mEffects, o->mEffects);
  std::swap(mMaterialLists, o->mMaterialLists);
  std::swap(mObjectMaterialLists, o->mObjectMaterialLists);
  std::swap(mArrays, o->mArrays);
  std::swap(mListBase, o->mListBase);
  std::swap(mListCount, o->mListCount);
  swapProblem(other);
  return true;
}

resMQO* resMQO::holdingModelOnly(std::unique_ptr<MqoModel> model) {
  auto* resource = new resMQO();
  resource->mData = std::move(model);
  resource->mLoadedMaterials = resource->mData->materials;
  resource->addRef();
  return resource;
}

bool resMQO::loadMaterialResources(const std::string& path) {
  const size_t count = mData->materials.size();
  mTextures.assign(count, nullptr);
  mSecondTextures.assign(count, nullptr);
  mEffects.assign(count, nullptr);
  for (size_t i = 0; i < count; ++i) {
    const MqoMaterial& m = mData->materials[i];
    const char* texture = orDefault(m.texturePath, kDefaultModelTexture);
    const char* second = orDefault(m.secondTexturePath, kDefaultModelTexture);
    const char* effect = orDefault(m.effectPath, kDefaultModelEffect);
    const char* failed = nullptr;
    if (!(mTextures[i] = ResourceRef<resTexture>::load(texture).detach())) {
      failed = texture;
    } else if (!(mSecondTextures[i] = ResourceRef<resTexture>::load(second).detach())) {
      failed = second;
    } else if (!(mEffects[i] = ResourceRef<resShader>::load(effect).detach())) {
      failed = effect;
    }
    if (failed) {
      std::fprintf(stderr, "model: %s: material %zu: %s did not load\n", path.c_str(), i, failed);
      return false;
    }
  }
  return true;
}

void resMQO::releaseMaterialResources() {
  resourceManager& manager = resourceManager::instance();
  for (auto* list : {&mTextures, &mSecondTextures}) {
    for (resTexture* r : *list) manager.release(r);
    list->clear();
  }
  for (resShader* r : mEffects) manager.release(r);
  mEffects.clear();
}

void resMQO::buildDrawArrays() {
  const uint32_t materialCount = getMaterialCount();
  std::vector<float> sScale(materialCount, 1.0f);
  std::vector<float> tScale(materialCount, 1.0f);
  for (uint32_t i = 0; i < materialCount; ++i) {
    if (const cTexture* t = getTexture(0, i)) {
      sScale[i] = t->sScale();
      tScale[i] = t->tScale();
    }
  }
  mArrays.resize(mData->objects.size());
  for (size_t j = 0; j < mData->objects.size(); ++j) {
    const MqoObject& o = mData->objects[j];
    ObjectArrays& out = mArrays[j];
    // Counting sort of the drawn faces by material.
    out.first.assign(materialCount + 1, 0);
    for (const MqoFace& f : o.faces) {
      if (f.cornerCount >= 3 && f.material < materialCount) out.first[f.material + 1] += 3;
    }
    for (uint32_t i = 0; i < materialCount; ++i) out.first[i + 1] += out.first[i];
    std::vector<uint32_t> next(out.first.begin(), out.first.end() - 1);
    const bool coloured = !o.colours.empty();
    out.corners.resize(out.first.back());
    out.colours.resize(coloured ? out.first.back() : 0);
    for (const MqoFace& f : o.faces) {
      if (f.cornerCount < 3 || f.material >= materialCount) continue;
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = f.index[c];
        const uint32_t at = next[f.material]++;
        DrawCorner& corner = out.corners[at];
        corner.position = o.positions[v];
        corner.normal = o.normals[v];
        corner.texCoord[0] = f.uv[c][0] * sScale[f.material];
        corner.texCoord[1] = f.uv[c][1] * tScale[f.material];
        if (coloured) out.colours[at] = o.colours[v];
      }
    }
  }
}

void resMQO::compileLists() {
  const uint32_t materialCount = getMaterialCount();
  const uint32_t objectCount = getObjectCount();
  mListCount = materialCount * (objectCount + 1);
  if (mListCount == 0) return;
  mListBase = glGenLists(static_cast<GLsizei>(mListCount));
  uint32_t nextList = mListBase;
  mMaterialLists.resize(materialCount);
  for (uint32_t i = 0; i < materialCount; ++i) {
    mMaterialLists[i] = nextList++;
    glNewList(mMaterialLists[i], GL_COMPILE);
    for (uint32_t j = 0; j < objectCount; ++j) drawObjectFaces(j, i);
    glEndList();
  }
  mObjectMaterialLists.assign(objectCount, std::vector<uint32_t>(materialCount, 0));
  for (uint32_t j = 0; j < objectCount; ++j) {
    for (uint32_t i = 0; i < materialCount; ++i) {
      mObjectMaterialLists[j][i] = nextList++;
      glNewList(mObjectMaterialLists[j][i], GL_COMPILE);
      drawObjectFaces(j, i);
      glEndList();
    }
  }
}

bool resMQO::unload() {
  releaseMaterialResources();
  mData.reset();
  mLoadedMaterials.clear();
  mArrays.clear();
  if (mListCount) glDeleteLists(mListBase, static_cast<GLsizei>(mListCount));
  mListBase = mListCount = 0;
  mMaterialLists.clear();
  mObjectMaterialLists.clear();
  return true;
}

void resMQO::drawObjectFaces(uint32_t object, uint32_t material) const {
  if (object >= mArrays.size() || material >= getMaterialCount()) return;
  const ObjectArrays& a = mArrays[object];
  const uint32_t first = a.first[material];
  const uint32_t count = a.first[material + 1] - first;
  if (count == 0) return;
  const GLsizei stride = sizeof(DrawCorner);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, &a.corners[0].position);
  glNormalPointer(GL_FLOAT, stride, &a.corners[0].normal);
  glTexCoordPointer(2, GL_FLOAT, stride, a.corners[0].texCoord);
  if (!a.colours.empty()) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, a.colours.data());
  }
  glDrawArrays(GL_TRIANGLES, static_cast<GLint>(first), static_cast<GLsizei>(count));
  if (!a.colours.empty()) glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

uint32_t resMQO::getObjectCount() const {
  return mData ? static_cast<uint32_t>(mData->objects.size()) : 0;
}

uint32_t resMQO::getMaterialCount() const {
  return mData ? static_cast<uint32_t>(mData->materials.size()) : 0;
}

const MqoObject& resMQO::getObject(uint32_t index) const { return mData->objects.at(index); }

const MqoMaterial& resMQO::getMaterial(uint32_t index) const { return mData->materials.at(index); }

void resMQO::copyMaterial(uint32_t index, const MqoMaterial& material) {
  mData->materials.at(index) = material;
}

void resMQO::restoreMaterial(uint32_t index) {
  mData->materials.at(index) = mLoadedMaterials.at(index);
}

cTexture* resMQO::getTexture(int which, uint32_t material) const {
  const std::vector<resTexture*>* list = which == 0 ? &mTextures : which == 1 ? &mSecondTextures : nullptr;
  if (list == nullptr || material >= list->size() || (*list)[material] == nullptr) return nullptr;
  return (*list)[material]->texture();
}

resShader* resMQO::getMaterialEffect(uint32_t material) const {
  return material < mEffects.size() ? mEffects[material] : nullptr;
}

uint32_t resMQO::getMaterialList(uint32_t material) const {
  return material < mMaterialLists.size() ? mMaterialLists[material] : 0;
}

uint32_t resMQO::getObjectMaterialList(uint32_t object, uint32_t material) const {
  if (object >= mObjectMaterialLists.size() || material >= mObjectMaterialLists[object].size()) return 0;
  return mObjectMaterialLists[object][material];
}

glm::vec3 resMQO::findPoint(const char* pName) const {
  if (!mData || pName == nullptr) return glm::vec3(0.0f);
  while (*pName == '>') ++pName;
  const auto it = mData->points.find(pName);
  return it == mData->points.end() ? glm::vec3(0.0f) : it->second;
}
