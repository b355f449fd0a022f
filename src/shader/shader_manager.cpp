// Shader manager and effect resources.
#include <cctype>
#include <cstdio>
#include <vector>

#include "files/files.h"
#include "shader/effect.h"
#include "shader/shader.h"

VESPER_IMPLEMENT_DYNAMIC(resShader, resourceObject)
VESPER_IMPLEMENT_INTERFACE(shaderManager)
VESPER_IMPLEMENT_DYNAMIC(shaderManager, Interface<shaderManager>)

namespace {

// Effects shared by name until the resource manager keeps them in its cache.
std::vector<resShader*>& effectCache() {
  static std::vector<resShader*> cache;
  return cache;
}

const std::vector<shaderParam>& emptyTable() {
  static const std::vector<shaderParam> table;
  return table;
}

}  // namespace

// ---------------------------------------------------------------------------
// resShader

resShader::resShader() = default;

resShader::~resShader() { unload(); }

bool resShader::canLoad(CoreFileStream& stream) {
  std::string ext = stream.getExtension();
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "cg" || ext == "fx" || ext == "cgfx";
}

bool resShader::load(CoreFileStream& stream) {
  unload();
  mName = stream.getName();
  // Whole entry plus two zero bytes, so the text is terminated.
  const uint64_t size = stream.getSize();
  std::vector<char> text(static_cast<size_t>(size) + 2, '\0');
  if (size) stream.read(text.data(), static_cast<int32_t>(size));
  std::string error;
  mOwnEffect = fx::Effect::fromText(std::string_view(text.data(), static_cast<size_t>(size)), mName, error);
  if (!mOwnEffect) {
    std::fprintf(stderr, "shader: %s:%s\n", mName.c_str(), error.c_str());
  }
  if (mOwnEffect && mOwnEffect->chooseTechnique() && mOwnEffect->passCount() > 0) {
    mEffect = mOwnEffect.get();
    return true;
  }
  unload();
  mName = stream.getName();
  if (mName == kDummyShaderName) CoreDebug::criticalError(critical::kDummyShader);
  mFallback = loadEffect(kDummyShaderName);
  // An empty fallback entry gives nothing to draw with: as fatal as a broken one.
  if (!mFallback) CoreDebug::criticalError(critical::kDummyShader);
  mEffect = mFallback->effectHandle();
  return true;
}

bool resShader::unload() {
  if (mFallback) {
    resShader* f = mFallback;
    mFallback = nullptr;
    releaseEffect(f);
  }
  // A borrowed effect is never destroyed here: only the owner's is.
  mOwnEffect.reset();
  mEffect = nullptr;
  return true;
}

bool resShader::reload() {
  if (mName.empty()) return false;
  const std::string name = mName;
  CoreFile file(name.c_str(), MODE_READ);
  CoreFileStream stream(&file);
  if (stream.getSize() == 0) return false;
  return load(stream);
}

uint32_t resShader::passCount() const { return mEffect ? static_cast<uint32_t>(mEffect->passCount()) : 0; }

const std::vector<shaderParam>& resShader::parameters() const {
  return mEffect ? mEffect->parameters() : emptyTable();
}

void resShader::setPassState(uint32_t pass) {
  if (mEffect) mEffect->setPassState(pass);
}

void resShader::resetPassState(uint32_t pass) {
  if (mEffect) mEffect->resetPassState(pass);
}

void resShader::setParameter(const char* name, const void* values) {
  if (mEffect) mEffect->setParameter(name, values);
}

void resShader::setStateMatrix(const char* name, uint32_t flags) {
  if (mEffect) mEffect->setStateMatrix(name, flags);
}

// ---------------------------------------------------------------------------
// Sharing by name

resShader* loadEffect(const char* pName) {
  auto& cache = effectCache();
  const std::string name = pName;
  for (resShader* r : cache) {
    if (r->name() == name) {
      ++r->refCount;
      return r;
    }
  }
  CoreFile file(pName, MODE_READ);
  CoreFileStream stream(&file);
  if (stream.getSize() == 0) return nullptr;
  auto* r = new resShader;
  r->refCount = 1;
  if (!r->canLoad(stream) || !r->load(stream)) {
    delete r;
    return nullptr;
  }
  cache.push_back(r);
  return r;
}

void releaseEffect(resShader* effect) {
  if (!effect || --effect->refCount > 0) return;
  auto& cache = effectCache();
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (*it == effect) {
      cache.erase(it);
      break;
    }
  }
  delete effect;
}

// ---------------------------------------------------------------------------
// shaderManager

bool shaderManager::initialize() {
  // The state table, managed samplers and immediate parameter setting are
  // built into the runtime; nothing needs a GL context yet.
  mContextReady = true;
  return true;
}

bool shaderManager::terminate() {
  mContextReady = false;
  mCurrent = nullptr;
  return true;
}

bool shaderManager::setCurrentEffect(resShader* effect) {
  if (!effect) return false;
  mCurrent = effect;
  return true;
}

void shaderManager::setParameter(const char* name, const void* values) {
  if (mCurrent) mCurrent->setParameter(name, values);
}

void shaderManager::setStateMatrix(const char* name, uint32_t flags) {
  if (mCurrent) mCurrent->setStateMatrix(name, flags);
}
