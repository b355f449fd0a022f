// The post-effect entries and the custom texture bindings: definition
// records turned into loaded effects and textures, bound on the frame path
// without lookups by name beyond the effect's own.
#include <cstdio>

#include "demo/post_effects.h"
#include "demo/custom_textures.h"
#include "demo/definitions.h"
#include "demo/param_keys.h"

VESPER_IMPLEMENT_INTERFACE(customTextureManager)
VESPER_IMPLEMENT_DYNAMIC(customTextureManager, Interface<customTextureManager>)
VESPER_IMPLEMENT_INTERFACE(cPostEffectManager)
VESPER_IMPLEMENT_DYNAMIC(cPostEffectManager, Interface<cPostEffectManager>)

void reportDefinitionProblems(const char* pDocument, const std::vector<DefinitionProblem>& problems) {
  for (const DefinitionProblem& p : problems) {
    std::fprintf(stderr, "demo: %s: %s: %s%s\n", pDocument, p.entry.c_str(), p.warning ? "warning: " : "",
                 p.reason.c_str());
  }
}

customTextureManager::~customTextureManager() = default;

bool customTextureManager::terminate() {
  mBindings.clear();
  return true;
}

bool customTextureManager::readDefinition() {
  mBindings.clear();
  ++mGeneration;
  std::vector<CustomTextureRecord> records;
  std::vector<DefinitionProblem> problems;
  const bool ok = readCustomTextures(loadDefinitionDocument(kCustomTextureDefinePath), records, problems);
  reportDefinitionProblems(kCustomTextureDefinePath, problems);
  if (!ok) return false;
  mBindings.reserve(records.size());
  for (const CustomTextureRecord& r : records) {
    Binding b;
    b.sampler = r.sampler;
    b.texture = ResourceRef<resTexture>::load(r.path.c_str());
    if (b.texture && b.texture->texture()) b.glName = b.texture->texture()->glName();
    mBindings.push_back(std::move(b));
  }
  return true;
}

void customTextureManager::apply(resShader* effect) const {
  shaderManager& shaders = shaderManager::instance();
  resShader* previous = shaders.currentEffect();
  if (effect && effect != previous) shaders.setCurrentEffect(effect);
  for (const Binding& b : mBindings) {
    if (b.glName) shaders.setParameter(b.sampler.c_str(), &b.glName);
  }
  if (previous && previous != effect) shaders.setCurrentEffect(previous);
}

void customTextureManager::apply(ParamKeys& keys) const {
  for (const Binding& b : mBindings) {
    if (b.glName) keys.set(b.sampler.c_str(), &b.glName);
  }
}

cPostEffectManager::~cPostEffectManager() = default;

bool cPostEffectManager::terminate() {
  mEntries.clear();
  return true;
}

bool cPostEffectManager::readDefinition() {
  mEntries.clear();
  std::vector<PostEffectRecord> records;
  std::vector<DefinitionProblem> problems;
  const bool ok = readPostEffects(loadDefinitionDocument(kPostEffectDefinePath), records, problems);
  reportDefinitionProblems(kPostEffectDefinePath, problems);
  if (!ok) return false;
  mEntries.reserve(records.size());
  for (PostEffectRecord& r : records) {
    Entry e;
    e.effect = ResourceRef<resShader>::load(shaderPathOf(r.shader).c_str());
    e.record = std::move(r);
    mEntries.push_back(std::move(e));
  }
  return true;
}

resShader* cPostEffectManager::activeEffect(size_t m, uint32_t t) const {
  const Entry& e = mEntries[m];
  return e.record.sTime <= t && t <= e.record.eTime ? e.effect.get() : nullptr;
}

float cPostEffectManager::timeRate(size_t m, uint32_t t) const {
  const PostEffectRecord& r = mEntries[m].record;
  if (t < r.sTime || t > r.eTime || r.eTime == r.sTime) return 0.0f;
  return static_cast<float>(t - r.sTime) / static_cast<float>(r.eTime - r.sTime);
}

void cPostEffectManager::bindConstantsAndSources(size_t m, ParamKeys& keys, const uint32_t* lineColour,
                                                 const uint32_t* lineDepth, const uint32_t* workColour) const {
  const PostEffectRecord& r = mEntries[m].record;
  for (const PostEffectConstant& c : r.constants) keys.set(c.param.c_str(), c.value);
  for (const PostEffectSource& s : r.sources) {
    // Work buffers have no depth: a depth source there reads the colour.
    const uint32_t* name = s.fromWork ? &workColour[s.index] : s.kind == 1 ? &lineDepth[s.index] : &lineColour[s.index];
    keys.set(s.param.c_str(), name);
  }
}

void ParamKeys::begin(resShader& effect, uint32_t generation) {
  mEffect = &effect;
  const uint64_t serial = effect.effectHandle() ? effect.effectHandle()->serial() : 0;
  if (serial != mKeyedFor || generation != mGeneration) {
    mKeys.clear();
    mKeyedFor = serial;
    mGeneration = generation;
  }
  mNext = 0;
}

void ParamKeys::set(const char* pName, const void* values) {
  if (mNext == mKeys.size()) {
    mKeys.push_back({pName, mEffect->parameterKey(pName)});
  } else if (mKeys[mNext].name != pName) {
    mKeys[mNext] = {pName, mEffect->parameterKey(pName)};
  }
  mEffect->setParameterByKey(mKeys[mNext++].key, values);
}

void ParamKeys::setFloat(const char* pName, float value) {
  const float v[4] = {value, value, value, value};
  set(pName, v);
}
