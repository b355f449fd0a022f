// Parameter keys of a show pass: the names it sets on one effect every
// frame, looked up once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shader/shader.h"

// The parameters a show pass sets on one effect every frame, in the order it
// sets them: each name is looked up once, and again only when the effect in
// use, the `generation` given to begin or the name at that place changes.
// Names are kept by pointer and must outlive the keys.
class ParamKeys {
 public:
  void begin(resShader& effect, uint32_t generation = 0);
  // Sets the next parameter of the sequence on the effect given to begin.
  void set(const char* pName, const void* values);
  void setFloat(const char* pName, float value);  // a scalar, repeated to four floats

 private:
  struct Key {
    const char* name;
    int32_t key;
  };
  resShader* mEffect = nullptr;
  uint64_t mKeyedFor = 0;  // the serial of the effect the keys are for
  uint32_t mGeneration = 0;
  size_t mNext = 0;
  std::vector<Key> mKeys;
};
