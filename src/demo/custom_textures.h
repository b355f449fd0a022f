// The custom textures: textures every effect may sample by an agreed sampler
// name, from the definition document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "demo/param_keys.h"
#include "resources/resources.h"
#include "scene_render/scene_render.h"
#include "shader/shader.h"
#include "texture/texture.h"

// Textures every effect may sample by an agreed sampler name.
class customTextureManager : public Interface<customTextureManager>, public CustomTextureSource {
  VESPER_DECLARE_DYNAMIC(customTextureManager)
 public:
  static customTextureManager& instance();
  ~customTextureManager() override;
  uint16_t getPriority() const override { return 1; }
  bool terminate() override;
  // Replaces the bindings with those of the definition document; false
  // (and none) when it is missing or not one.
  bool readDefinition();
  // Binds every texture to `effect` (null: the current effect); the current
  // effect is the same afterwards.
  void apply(resShader* effect) const override;
  // The same through the keys of a show pass's sequence.
  void apply(ParamKeys& keys) const;
  size_t bindingCount() const { return mBindings.size(); }
  // Changes with every readDefinition: keys that include the bindings are
  // looked up again.
  uint32_t generation() const { return mGeneration; }

 private:
  uint32_t mGeneration = 0;
  struct Binding {
    std::string sampler;
    ResourceRef<resTexture> texture;
    uint32_t glName = 0;  // 0: the texture did not load; skipped
  };
  std::vector<Binding> mBindings;
};
