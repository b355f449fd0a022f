// The effect runtime: one parsed effect turned into GL programs, a chosen
// technique, a flat parameter table with a name/semantic index, pass states
// that are set and reset, and managed sampler textures. Internal to
// src/shader/ (and its tests and tools). Main thread only; everything but
// construction needs the current GL context.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shader/effect_source.h"

namespace fx {

// ---------------------------------------------------------------------------
// Pass states (state_table.cpp).

// One resolved state assignment of a pass.
struct StateSetting {
  uint8_t id = 0;
  uint32_t e[4] = {};  // enums and booleans
  float f[4] = {};     // numbers
};
// A state's value before a pass changed it.
using SavedState = StateSetting;

// Resolves `NAME = VALUE` against the state table (names and enum values
// without regard to case). False with a reason for an unknown state or value.
bool resolveState(const Assignment& a, StateSetting& out, std::string& error);
void captureState(uint8_t id, SavedState& out);
void applyState(const StateSetting& s);
void restoreState(const SavedState& s);
// Number of state ids; a GL state one id's assignment changes.
inline constexpr uint8_t kStateIdCount = 16;
// `s` in the form its saved value takes (a BlendFunc as the separate
// function, a one-value BlendEquation as both halves), so that two settings
// of the same GL state compare equal exactly when they set the same values.
StateSetting canonicalState(const StateSetting& s);
bool sameState(const StateSetting& a, const StateSetting& b);
// Every state name the table knows, in its CgFX spelling.
std::vector<std::string> stateNames();

// One texture parameter of a sampler_state block.
struct SamplerSetting {
  uint32_t pname = 0;
  int32_t value = 0;
};
bool resolveSamplerState(const Assignment& a, SamplerSetting& out, std::string& error);

// ---------------------------------------------------------------------------
// Effects (effect.cpp).

// How setParameter treats a leaf, decided once from its type.
enum class SetKind : uint8_t { None, Float1, Float2, Float3, Float4, Matrix4, Sampler };

// A leaf parameter's value, owned by the effect and uploaded to every pass.
struct ParamSlot {
  TypeInfo type;
  SetKind kind = SetKind::None;
  float v[16] = {};  // matrices row-major
  uint64_t version = 1;  // changes with v, so a pass uploads only what it lacks
  uint32_t texture = 0;
  uint32_t target = 0;  // GL texture target of samplers
  int unit = -1;        // texture unit of samplers
  std::vector<SamplerSetting> samplerStates;
};

// One table row, as callers see it.
struct ParamInfo {
  std::string name;
  std::string semantic;
  uint32_t handle = 0;  // index into the effect's slots
  TypeInfo type;
};

// The fixed-function matrices state-matrix parameters are taken from, 16
// floats column-major each (as GL keeps them). The texture matrix is the
// identity: nothing in the engine sets it. Borrowed for the call.
struct StateMatrices {
  const float* modelView;
  const float* projection;
};

class Effect {
 public:
  // Parses and flattens `text`; touches no GL. Null with a reason
  // ("LINE: message") on bad input. `fileName` is used in diagnostics.
  static std::unique_ptr<Effect> fromText(std::string_view text, const std::string& fileName,
                                          std::string& error);
  ~Effect();  // deletes the GL programs it created (context must be current)
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  // Compiles techniques in file order until one validates; prints every
  // failure on stderr, or appends it to `diagnostics` when that is given
  // (one message per failure, each ending in a line feed). False when none
  // does (or no GL is available).
  bool chooseTechnique(std::string* diagnostics = nullptr);
  int techniqueIndex() const { return mTechnique; }
  const std::string& techniqueName() const;
  size_t passCount() const { return mPasses.size(); }
  const std::string& passName(size_t i) const { return mPasses[i].name; }
  const std::vector<ParamInfo>& parameters() const { return mParams; }
  const EffectSource& source() const { return mSource; }

  // Applies pass i's states (remembering the previous values), binds its
  // program and samplers and uploads every value. Out of range: nothing.
  void setPassState(size_t i);
  // Restores what setPassState(i) changed; inside a PassRun, left for the
  // next pass or the run's end.
  void resetPassState(size_t i);

  // Sets every leaf whose name or semantic equals `name` (see the type
  // table in shader.h). Null/empty name or null values: nothing.
  void setParameter(const char* name, const void* values);
  // The name looked up once, for setting it often: -1 when no leaf has it.
  // A key is good for this effect only.
  int32_t parameterKey(const char* name) const;
  void setParameterByKey(int32_t key, const void* values);
  // Unique to this effect in the process (never 0), for telling whether
  // keys were taken from it.
  uint64_t serial() const { return mSerial; }
  // Binds one of `matrices` (flags: high nibble matrix, low nibble
  // transform). Reads nothing back from GL.
  void setStateMatrix(const char* name, uint32_t flags, const StateMatrices& matrices);
  // Reads a leaf's stored value (tests and tools).
  const ParamSlot* slot(uint32_t handle) const {
    return handle < mSlots.size() ? &mSlots[handle] : nullptr;
  }

 private:
  struct Pass {
    std::string name;
    uint32_t program = 0;
    std::vector<int32_t> locations;  // per slot; -1 when the program lacks it
    std::vector<uint64_t> uploaded;  // per slot: the value version the program holds
    std::vector<StateSetting> states;
    std::vector<SavedState> saved;
    int32_t savedProgram = 0;
    int32_t savedActiveTexture = 0;
  };
  // Open-addressing index from names and semantics to slot lists.
  struct IndexEntry {
    uint64_t hash = 0;
    std::string key;
    uint32_t first = 0;
    uint32_t count = 0;
  };

  Effect() = default;
  void buildIndex();
  const IndexEntry* find(const char* name) const;
  void setEntry(const IndexEntry& e, const void* values);
  uint32_t shader(Stage stage, const std::string& entry, const std::string& where, bool& ok);
  uint32_t program(const std::string& vs, const std::string& fs, const std::string& where, bool& ok);
  void upload(const ParamSlot& s, int32_t location) const;
  void bindSampler(const ParamSlot& s) const;
  void setSlot(uint32_t handle, const void* values);
  bool chooseFirstValidTechnique();
  // A validation failure, to the diagnostics sink or stderr.
  void report(const std::string& message) const;

  uint64_t mSerial = 0;
  std::string mFileName;
  std::string mText;
  EffectSource mSource;
  std::vector<ParamInfo> mParams;
  std::vector<ParamSlot> mSlots;
  std::vector<IndexEntry> mIndex;  // size is a power of two
  std::vector<uint32_t> mIndexSlots;
  std::vector<Pass> mPasses;
  int mTechnique = -1;
  Pass* mActive = nullptr;
  std::string* mDiagnostics = nullptr;  // set only while chooseTechnique runs
  // Compiled once per effect; 0 records a failure so it is reported once.
  std::map<std::pair<int, std::string>, uint32_t> mShaders;
  std::map<std::pair<std::string, std::string>, uint32_t> mPrograms;
};

// Passes drawn back to back (on one effect or several), with nothing
// between them that changes a pass state or draws outside a pass (setting
// parameters, matrices and targets is fine): a pass's reset leaves its
// program and states in place, the next pass changes only what differs from
// them, and the run's end restores what was in force before its first pass.
// A run opened inside another is part of it.
class PassRun {
 public:
  PassRun();
  ~PassRun();
  PassRun(const PassRun&) = delete;
  PassRun& operator=(const PassRun&) = delete;

 private:
  bool mOwner;
};

// Binds `program` (0: fixed function) through the runtime, which keeps track
// of the bound program and texture unit rather than reading them back: code
// outside it changes neither directly.
void useProgram(uint32_t program);

// 4x4 helpers on row-major matrices (exposed for tests).
void multiply4(const float* a, const float* b, float* out);
bool invert4(const float* m, float* out);
void transpose4(const float* m, float* out);

}  // namespace fx
