// Shader manager and effect resources. An effect file keeps the CgFX
// structure (parameters, techniques, passes, states) with GLSL 1.20 program
// code; `resShader` loads one, chooses its first technique that validates on
// the current context and keeps a flat table of leaf parameters that callers
// set by name or semantic. An unusable effect borrows the fallback effect
// "data\core\shader\dummyShader.cgfx". Main thread only; loading and drawing
// need the current GL context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "resources/resources.h"
#include "shader/effect.h"

class CoreFileStream;

inline constexpr char kDummyShaderName[] = "data\\core\\shader\\dummyShader.cgfx";

// One leaf parameter of an effect: name as GLSL addresses it ("s.m",
// "a[2]"), semantic (empty when none), handle and type.
using shaderParam = fx::ParamInfo;
using StateMatrices = fx::StateMatrices;

class resShader : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resShader)
 public:
  resShader();
  ~resShader() override;  // unloads

  // Loads the effect text of `stream` (whole entry). Always true: an effect
  // that does not parse, has no valid technique or no pass borrows the
  // fallback instead; a fallback that fails itself is a critical error.
  bool load(CoreFileStream& stream) override;
  // True for the extensions "cg", "fx" and "cgfx", in any letter case.
  bool canLoad(CoreFileStream& stream) override;
  // Releases the fallback or destroys the own effect; empties the tables.
  bool unload() override;
  // A fallen-back effect's problem() is its first failure, with its file line.
  bool swapContents(resourceObject& other) override;

  // The effect in use (own or borrowed); null when unloaded.
  virtual fx::Effect* effectHandle() const { return mEffect; }
  // Number of passes of the chosen technique; 0 when none.
  virtual uint32_t passCount() const;
  // The flat table of leaf parameters (empty when unloaded).
  const std::vector<shaderParam>& parameters() const;
  // The fallback this effect borrows from, or null.
  resShader* fallback() const { return mFallback; }

  // Drawing protocol: for i in [0, passCount()): setPassState(i), set
  // parameters, draw, resetPassState(i).
  void setPassState(uint32_t pass);
  void resetPassState(uint32_t pass);

  // `values` points to floats (or, for samplers, a GL texture name as a
  // 32-bit integer). Sets every parameter whose name or semantic equals
  // `name`: float/half 1-4 components, float4x4 (16 floats, row-major),
  // sampler1D/2D/3D/CUBE (texture bound with its sampler state). Other
  // types, unknown names, a null/empty name or null values: nothing.
  void setParameter(const char* pName, const void* values);
  // `pName` looked up once on the effect in use, for setting it every frame
  // without the lookup: -1 when no parameter has it. A key is good while
  // effectHandle() stays the same.
  int32_t parameterKey(const char* pName) const;
  void setParameterByKey(int32_t key, const void* values);
  // Binds one of `matrices` to every parameter named `name` (float4x4
  // only). High nibble: 0x20 projection, 0x40 texture (the identity), 0x80
  // model-view-projection, else model-view. Low nibble: 0x2 transpose, 0x4
  // inverse, 0x8 inverse transpose, else unchanged.
  void setStateMatrix(const char* pName, uint32_t flags, const StateMatrices& matrices);

 private:
  std::unique_ptr<fx::Effect> mOwnEffect;
  fx::Effect* mEffect = nullptr;
  resShader* mFallback = nullptr;
};

// Passes drawn back to back (see fx::PassRun).
using effectPassRun = fx::PassRun;
// Fixed-function drawing: no effect program bound.
inline void useNoEffectProgram() { fx::useProgram(0); }

// Effect resources by pack entry name, shared by reference count: the
// resource-manager side of effects. `loadEffect` returns a resource holding
// one reference for the caller (or null for an empty entry); a name that is
// not in the pack is the file layer's critical error. `releaseEffect` drops
// one reference and destroys the resource at none.
resShader* loadEffect(const char* pName);
void releaseEffect(resShader* effect);

class shaderManager : public Interface<shaderManager> {
  VESPER_DECLARE_DYNAMIC(shaderManager)
 public:
  static shaderManager& instance();
  uint16_t getPriority() const override { return 1; }
  // Context set-up only: GL does not exist yet at this priority, so effects
  // compile when they are loaded.
  bool initialize() override;
  bool terminate() override;
  bool update() override { return true; }

  bool contextReady() const { return mContextReady; }
  // Stores `effect` unless it is null (then false, old one kept).
  bool setCurrentEffect(resShader* effect);
  resShader* currentEffect() const { return mCurrent; }
  // Forward to the current effect; nothing without one.
  void setParameter(const char* pName, const void* values);
  void setStateMatrix(const char* pName, uint32_t flags, const StateMatrices& matrices);

 private:
  bool mContextReady = false;
  resShader* mCurrent = nullptr;  // not a counted reference
};
