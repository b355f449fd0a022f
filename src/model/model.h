// Models: the in-memory model (materials, objects, named points), the binary
// model format's reader and writer, and the model resource `resMQO`, which
// adds each material's textures and effect and compiles the draw units.
// The reader and writer never touch GL; `resMQO` loads and draws on the main
// thread with the GL context current.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <glm/vec3.hpp>
#include <glm/vec4.hpp>

#include "resources/resources.h"

class cTexture;
class resShader;
class resTexture;

inline constexpr char kBinaryModelMagic[] = "NOVABMDL";
inline constexpr char kDefaultModelTexture[] = "data\\core\\texture\\defaultTexture.bmp";
inline constexpr char kDefaultModelEffect[] = "data\\core\\shader\\defaultShader.cgfx";

struct MqoMaterial {
  glm::vec4 col{0.0f};  // red, green, blue, alpha
  float dif = 0.0f;
  float amb = 0.0f;
  float emi = 0.0f;
  float spc = 0.0f;
  float power = 0.0f;
  int32_t shader = 0;
  std::string texturePath;        // empty: the default texture
  std::string secondTexturePath;  // empty: the default texture
  std::string effectPath;         // empty: the default effect
};

// cornerCount 3 is a triangle, 4 a quad (drawn as its first three corners),
// 2 a line (no face normal, draws nothing).
struct MqoFace {
  uint32_t cornerCount = 0;
  uint32_t material = 0;
  uint32_t index[4] = {0, 0, 0, 0};
  float uv[4][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
};

struct MqoObject {
  uint32_t vertexCount = 0;  // after the vertex split
  uint32_t faceCount = 0;
  std::string name;  // raw bytes as stored (may be Shift-JIS)
  glm::vec3 objectVector{0.0f};
  std::vector<glm::vec3> positions;  // vertexCount entries
  std::vector<glm::vec3> normals;    // vertexCount entries, computed at load
  std::vector<glm::vec3> colours;    // empty: no per-vertex colours
  std::vector<MqoFace> faces;        // faceCount entries
  int32_t depth = 0;                 // hierarchy depth, 0 at the top
  float facet = 0.0f;                // smoothing angle in degrees
};

struct MqoModel {
  std::vector<MqoObject> objects;
  std::vector<MqoMaterial> materials;
  std::map<std::string, glm::vec3> points;  // key: name without leading '>'
  glm::vec3 trailerVectorA{0.0f};
  glm::vec3 trailerVectorB{0.0f};
};

// Parses a whole binary model held in memory into `model` (which must be
// empty), computing normals and splitting shared vertices. False with a
// reason (and `model` left empty) for a wrong magic, a truncated file, counts
// or lengths larger than the data can hold, a face whose corner count is not
// 2-4, whose vertex index is >= vertexCount or whose material is >=
// materialCount, and for a face or vertex count whose presence flag is 0.
// A model without materials keeps its faces (no draw unit shows them).
// Never reads outside [data, data + size); allocates at most in proportion
// to `size`.
bool parseBinaryModel(const uint8_t* data, size_t size, MqoModel& model, std::string& reason);

// Reads the pack entry `pName` whole and parses it. A name missing from the
// pack is the file layer's critical error.
bool readBinaryModel(const char* pName, MqoModel& model, std::string& reason);

// The binary form of `model` (its positions and faces as stored: the normals
// are not written; the reader computes them).
std::vector<uint8_t> writeBinaryModel(const MqoModel& model);

// Face normals, vertex normals, the vertex split and the facet smoothing
// rule for one object whose positions and faces are filled; every face's
// corner count must be 2-4 and its used indices below positions.size().
// Sets vertexCount, faceCount and normals.
void computeNormals(MqoObject& object);

// Widens a stored half (upper 16 bits of a single) and narrows a single to
// one (truncating the lower 16 bits).
float halfToFloat(uint16_t half);
uint16_t floatToHalf(float value);

class resMQO : public resourceObject {
  VESPER_DECLARE_DYNAMIC(resMQO)
 public:
  resMQO();
  ~resMQO() override;  // unloads

  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"mqo", "bmdl"}); }
  // Reads the ".bmdl" entry of the stream's name, loads every material's
  // textures and effect (all or nothing) and compiles the draw units. A
  // failure is logged once ("model: <entry>: <reason>") and leaves nothing
  // loaded or held.
  bool load(CoreFileStream& stream) override;
  // Releases the material resources and deletes the draw units.
  bool unload() override;
  bool swapContents(resourceObject& other) override;

  // A resource holding `model` alone: no material resources, no draw units,
  // no GL. It carries one reference for the caller and no name; for readers
  // of scene files that check models without drawing them.
  static resMQO* holdingModelOnly(std::unique_ptr<MqoModel> model);

  // The loaded model, or null while unloaded. Read-only for callers.
  const MqoModel* model() const { return mData.get(); }
  uint32_t getObjectCount() const;
  uint32_t getMaterialCount() const;
  const MqoObject& getObject(uint32_t index) const;
  const MqoMaterial& getMaterial(uint32_t index) const;
  // Copies `material` over material `index`; the model keeps the change.
  void copyMaterial(uint32_t index, const MqoMaterial& material);
  // Restores material `index` to its values as loaded.
  void restoreMaterial(uint32_t index);

  // which 0: the material's texture, 1: its second texture, else null.
  cTexture* getTexture(int which, uint32_t material) const;
  resShader* getMaterialEffect(uint32_t material) const;
  // Draw units (GL display-list names): every face of the model with the
  // material, and the faces of one object with the material.
  uint32_t getMaterialList(uint32_t material) const;
  uint32_t getObjectMaterialList(uint32_t object, uint32_t material) const;
  // Submits the faces of `object` that use `material` (what the draw units
  // are compiled from).
  void drawObjectFaces(uint32_t object, uint32_t material) const;

  // The named point; leading '>' characters of `pName` are ignored; an
  // unknown name gives (0, 0, 0).
  glm::vec3 findPoint(const char* pName) const;

 private:
  // One object's faces as independent triangles (the first three corners
  // of every face with three or four), grouped by material: material i's
  // corners are [first[i], first[i + 1]). Built once at load; the draw
  // units and drawObjectFaces read it.
  struct DrawCorner {
    glm::vec3 position;
    glm::vec3 normal;
    float texCoord[2];  // scaled to the material texture's used part
  };
  struct ObjectArrays {
    std::vector<DrawCorner> corners;
    std::vector<glm::vec3> colours;  // per corner; empty without vertex colours
    std::vector<uint32_t> first;     // materialCount + 1 entries
  };

  bool loadMaterialResources(const std::string& path);
  void releaseMaterialResources();
  void buildDrawArrays();
  void compileLists();

  std::unique_ptr<MqoModel> mData;
  std::vector<MqoMaterial> mLoadedMaterials;  // the copy restoreMaterial reads
  std::vector<resTexture*> mTextures;         // one reference each, or null
  std::vector<resTexture*> mSecondTextures;
  std::vector<resShader*> mEffects;
  std::vector<uint32_t> mMaterialLists;
  std::vector<std::vector<uint32_t>> mObjectMaterialLists;
  std::vector<ObjectArrays> mArrays;  // per object
  uint32_t mListBase = 0;             // every list name comes from one block
  uint32_t mListCount = 0;
};
