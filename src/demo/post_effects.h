// The post-effect chain's entries from the definition document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "demo/definitions.h"
#include "demo/param_keys.h"
#include "resources/resources.h"
#include "shader/shader.h"

// The post effects of the definition document, in execution order.
class cPostEffectManager : public Interface<cPostEffectManager> {
  VESPER_DECLARE_DYNAMIC(cPostEffectManager)
 public:
  static cPostEffectManager& instance();
  ~cPostEffectManager() override;
  uint16_t getPriority() const override { return 1; }
  bool terminate() override;
  // Replaces the entries with those of the definition document and loads
  // their effects; false (and none) when it is missing or not one.
  bool readDefinition();

  size_t entryCount() const { return mEntries.size(); }
  const PostEffectRecord& entry(size_t m) const { return mEntries[m].record; }
  // The entry's effect while sTime <= t <= eTime, else null.
  resShader* activeEffect(size_t m, uint32_t t) const;
  // 0 to 1 across the entry's window; 0 outside it.
  float timeRate(size_t m, uint32_t t) const;
  // The keys of the parameters the show sets on the entry's effect.
  ParamKeys& keys(size_t m) const { return mEntries[m].keys; }
  // Sets the entry's constants and sources through `keys`. The arrays hold
  // GL texture names, kSceneLineCount / kWorkBufferCount each.
  void bindConstantsAndSources(size_t m, ParamKeys& keys, const uint32_t* lineColour, const uint32_t* lineDepth,
                               const uint32_t* workColour) const;

 private:
  struct Entry {
    PostEffectRecord record;
    ResourceRef<resShader> effect;
    mutable ParamKeys keys;
  };
  std::vector<Entry> mEntries;
};
