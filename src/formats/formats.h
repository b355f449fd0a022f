// Scene animation files ("QScene Demo File"): the token reader, the parsed
// scenes with their keyed objects and parts, key evaluation, and the
// resource `resQDF` that loads the listed models. The parser never touches
// GL; loading models needs the GL context (through resMQO).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <glm/vec3.hpp>

#include "resources/resources.h"

class resMQO;

inline constexpr int kQdfModelSlots = 256;

// One key: rotation in radians, alpha, scale, position. Default: rotation 0,
// alpha 1, scale 1, position 0.
struct QdfKey {
  glm::vec3 rotation{0.0f};
  float alpha = 1.0f;
  glm::vec3 scale{1.0f};
  glm::vec3 position{0.0f};
};

struct QdfObject {
  resMQO* model = nullptr;  // borrowed from QdfData::models; null: camera or empty slot
  int32_t slot = 0;         // -1 for the camera object
  std::map<std::string, std::vector<QdfKey>> parts;  // each: one key per time
  std::vector<float> times;                          // seconds of scene time
  int32_t cameraTrans = 0;
  int32_t visible = 0;
};

struct QdfScene {
  std::string name = "scene_name";
  std::vector<QdfObject> objects;
};

struct QdfData {
  std::string path;
  resMQO* models[kQdfModelSlots] = {};  // one reference each, or null
  std::vector<QdfScene> scenes;
  std::string modelDirectory;  // always empty
};

// Loads one model for the parser: returns a model holding one reference
// that the data then owns, or null. Called once per model line (whose slot
// is 0-255) with modelDirectory + the line's name.
using QdfModelLoader = std::function<resMQO*(const std::string& name)>;
// Called after each model line's load (the loading progress step).
using QdfProgress = std::function<void()>;

// A problem found while reading a scene file: its 1-based line and why.
struct QdfProblem {
  int line = 0;
  std::string reason;
};

// Parses the text [text, text + size) into `data`. Never reads outside it;
// a NUL byte, "Eof" or the end of the text ends it. Reading is tolerant:
// what can be used is kept, and each problem is appended once to `problems`
// (when not null) in text order; nothing is printed. Problems: model lines
// and object slots outside 0-255 (such objects have no model); key counts
// that are negative or larger than the text can hold (the object gets no
// keys and its blocks are skipped whole); key lists that hold more or fewer
// values than "DataNum" asks (reported on the DataNum line; the values read
// are kept); part blocks naming no part of the object; unknown or misplaced
// keywords (skipped with their value or block, with a near-miss hint); a
// block whose "{" or "}" is missing (reported on the line it opens on).
// An object without a key count gets no keys either (not a problem).
void parseQdfText(const char* text, size_t size, QdfData& data, const QdfModelLoader& loadModel,
                  const QdfProgress& progress, std::vector<QdfProblem>* problems);

// Number of tokens containing ".mqo" in the text's model block (the rule
// of countSceneModels, which this shares).
int countQdfModels(const char* text, size_t size);

// Releases every model reference `data` holds (through the resource
// manager) and empties the slots. For data parsed outside resQDF.
void releaseQdfModels(QdfData& data);

// The key of `part` at scene time `time` (linear, with parabolic position
// for three or more keys). An unknown part gives the default key.
QdfKey evaluateKey(const QdfObject& object, const std::string& part, float time);

class resQDF : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resQDF)
 public:
  resQDF();
  ~resQDF() override;  // unloads

  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"qdf"}); }
  // Reads the entry named by the stream, loads its models through the
  // resource manager (advancing the loading progress) and parses the scenes.
  bool load(CoreFileStream& stream) override;
  // Releases every model reference and frees the scenes.
  bool unload() override;
  bool swapContents(resourceObject& other) override;

  // Model lines in the model block of the pack entry `pName`.
  static int countModels(const char* pName);
  // Lowest slot whose model's resource name contains `pFragment`, or -1.
  int findModelSlot(const char* pFragment) const;

  // Null while unloaded. Read-only for callers.
  const QdfData* data() const { return mData.get(); }
  const std::vector<QdfScene>& scenes() const;
  resMQO* modelInSlot(int slot) const;

 private:
  std::unique_ptr<QdfData> mData;
};
