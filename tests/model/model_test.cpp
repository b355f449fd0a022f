// Binary models without GL: normals, the vertex split, smoothing, halves,
// the writer/reader round trip and malformed files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <glm/geometric.hpp>

#include "model/model.h"

namespace {

MqoFace face(uint32_t corners, uint32_t a, uint32_t b, uint32_t c, uint32_t d = 0, uint32_t material = 0) {
  MqoFace f;
  f.cornerCount = corners;
  f.material = material;
  f.index[0] = a;
  f.index[1] = b;
  f.index[2] = c;
  f.index[3] = d;
  return f;
}

void expectVec(const glm::vec3& got, const glm::vec3& want, const char* what) {
  EXPECT_NEAR(got.x, want.x, 1e-5f) << what;
  EXPECT_NEAR(got.y, want.y, 1e-5f) << what;
  EXPECT_NEAR(got.z, want.z, 1e-5f) << what;
}

TEST(ModelNormalsTest, FoldedPairIsSmoothOnlyWithinTheFacetOfEachFace) {
  // Triangles A (normal +z) and B share the edge 0-1; B is turned about the
  // edge by `fold`, so the averaged normal lies fold/2 from each face normal.
  struct Case {
    float fold;
    float facet;
    bool smooth;
  };
  const Case cases[] = {{30, 60, true}, {90, 60, true}, {90, 40, false}, {150, 60, false}};
  for (const Case& c : cases) {
    const float t = c.fold * 3.14159265f / 180.0f;
    MqoObject o;
    o.facet = c.facet;
    o.positions = {{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -std::cos(t), std::sin(t)}};
    o.faces = {face(3, 0, 1, 2), face(3, 1, 0, 3)};
    computeNormals(o);
    SCOPED_TRACE(testing::Message() << "fold " << c.fold << " facet " << c.facet);
    ASSERT_EQ(o.vertexCount, 6u);
    ASSERT_EQ(o.normals.size(), 6u);
    const uint32_t splitB[4] = {5, 4, 3, 0};
    EXPECT_EQ(std::memcmp(o.faces[1].index, splitB, sizeof splitB), 0);
    const glm::vec3 nA(0, 0, 1);
    const glm::vec3 nB(0, std::sin(t), std::cos(t));
    const glm::vec3 averaged = glm::normalize(nA + nB);
    for (uint32_t v : {0u, 1u}) expectVec(o.normals[v], c.smooth ? averaged : nA, "A's shared corner");
    for (uint32_t v : {4u, 5u}) expectVec(o.normals[v], c.smooth ? averaged : nB, "B's shared corner");
    expectVec(o.normals[2], nA, "A's own corner");
    expectVec(o.normals[3], nB, "B's own corner");
  }
}

TEST(ModelNormalsTest, LaterUsersGetCopiesInVertexThenFaceOrder) {
  // A fan around vertex 0: it has three users, vertices 2 and 3 two each.
  MqoObject o;
  o.facet = 180;
  o.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}};
  o.faces = {face(3, 0, 1, 2), face(3, 0, 2, 3), face(3, 0, 3, 4)};
  computeNormals(o);
  ASSERT_EQ(o.vertexCount, 9u);
  const uint32_t want[3][3] = {{0, 1, 2}, {5, 7, 3}, {6, 8, 4}};
  for (int f = 0; f < 3; ++f) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(o.faces[f].index[c], want[f][c]) << f << "," << c;
  }
  const uint32_t source[4] = {0, 0, 2, 3};  // what copies 5..8 duplicate
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(o.positions[5 + k], o.positions[source[k]]);
    expectVec(o.normals[5 + k], {0, 0, 1}, "copy");
  }
}

TEST(ModelNormalsTest, DegenerateFacesLinesAndUnusedVerticesStayFinite) {
  MqoObject o;
  o.facet = 30;
  o.positions = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {0, 0, 0}, {2, 0, 0}, {5, 5, 5}};
  // A zero-area triangle, a line and a quad whose first three corners
  // repeat one vertex; vertex 5 is used by nobody.
  o.faces = {face(3, 0, 1, 2), face(2, 3, 4, 0), face(4, 3, 3, 4, 2)};
  computeNormals(o);
  for (const glm::vec3& n : o.normals) {
    EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z));
  }
  expectVec(o.normals[5], {0, 0, 0}, "unused vertex");
  // The quad repeats vertex 3 twice: one copy serves both corners.
  EXPECT_EQ(o.faces[2].index[0], o.faces[2].index[1]);
}

TEST(ModelHalfTest, HalvesAreTheUpperBitsOfASingle) {
  EXPECT_EQ(halfToFloat(0x3F80), 1.0f);
  EXPECT_EQ(halfToFloat(0x0000), 0.0f);
  EXPECT_EQ(halfToFloat(0xC020), -2.5f);
  EXPECT_EQ(floatToHalf(1.0f), 0x3F80);
  EXPECT_EQ(floatToHalf(1.0078124f), 0x3F80);  // the lower 16 bits are cut, not rounded
}

MqoModel smallModel() {
  MqoModel m;
  MqoMaterial mat;
  mat.texturePath = "t.png";
  m.materials = {mat};
  MqoObject o;
  o.name = "obj";
  o.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  o.faces = {face(3, 0, 1, 2)};
  m.objects = {o};
  m.points["pivot"] = {1, 2, 3};
  return m;
}

TEST(ModelFileTest, WrittenModelReadsBack) {
  MqoModel m;
  MqoMaterial a;
  a.col = {0.25f, 0.5f, 0.75f, 1};
  a.dif = 0.5f;
  a.amb = 0.25f;
  a.emi = 2;
  a.spc = 0.75f;
  a.power = 5;
  a.shader = -3;
  a.effectPath = "fx.cgfx";
  a.texturePath = "t.png";
  a.secondTexturePath = "u.png";
  m.materials = {a, MqoMaterial()};
  // No vertex is shared, so reading changes no index and writing the result
  // gives the same bytes.
  MqoObject o;
  o.name = "\x82\xa0obj";
  o.objectVector = {1, 2, 3};
  o.depth = 2;
  o.facet = 59.5f;
  o.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 2}, {3, 3, 3}};
  o.faces = {face(4, 0, 1, 2, 3, 1), face(2, 4, 5, 0, 0, 0)};
  o.faces[0].uv[3][1] = 0.75f;
  m.objects = {o, MqoObject()};
  m.objects[1].name = "empty";
  m.points["a"] = {1, 1, 1};
  m.trailerVectorA = {4, 5, 6};
  m.trailerVectorB = {7, 8, 9};
  const std::vector<uint8_t> file = writeBinaryModel(m);
  MqoModel r;
  std::string reason;
  ASSERT_TRUE(parseBinaryModel(file.data(), file.size(), r, reason)) << reason;
  EXPECT_EQ(writeBinaryModel(r), file);
  EXPECT_EQ(r.materials[0].power, 5.0f);
  EXPECT_EQ(r.objects[0].vertexCount, 6u);
  EXPECT_EQ(r.objects[0].normals.size(), 6u);
  EXPECT_TRUE(r.objects[0].colours.empty());

  // ">>a" is written first (map order): its key is "a", and the later "a"
  // replaces it.
  m.points[">>a"] = {2, 2, 2};
  m.points[">b"] = {3, 3, 3};
  const std::vector<uint8_t> pointFile = writeBinaryModel(m);
  MqoModel p;
  ASSERT_TRUE(parseBinaryModel(pointFile.data(), pointFile.size(), p, reason)) << reason;
  const std::map<std::string, glm::vec3> points = {{"a", {1, 1, 1}}, {"b", {3, 3, 3}}};
  EXPECT_EQ(p.points, points);

  // Without materials the faces stay; their material number is not checked.
  MqoModel bare = smallModel();
  bare.materials.clear();
  bare.objects[0].faces[0].material = 7;
  const std::vector<uint8_t> bareFile = writeBinaryModel(bare);
  MqoModel rb;
  ASSERT_TRUE(parseBinaryModel(bareFile.data(), bareFile.size(), rb, reason)) << reason;
  EXPECT_EQ(rb.objects[0].faceCount, 1u);
}

TEST(ModelFileTest, MalformedFilesFailWithTheirReason) {
  const std::vector<uint8_t> good = writeBinaryModel(smallModel());
  // Offsets in smallModel's file.
  enum : size_t {
    kMaterialCount = 8,
    kTextureLength = 46,
    kObjectCount = 59,
    kFaceCount = 81,
    kHasFaces = 85,
    kFaceMaterial = 86,
    kCorners = 90,
    kIndex2 = 134,
    kVertexCount = 142,
    kHasVertices = 146,
    kNameLength = 183,
    kPointCount = 190,
    kSize = 239
  };
  ASSERT_EQ(good.size(), size_t{kSize});
  struct Case {
    const char* what;
    size_t offset;     // patched u32 (or byte for the flags)
    uint32_t value;
    size_t size;       // truncated to this size; 0: whole
    const char* reason;
  };
  const Case cases[] = {
      {"magic", 3, 0x41, 0, "wrong magic"},
      {"no magic", 0, 0, 0, "wrong magic"},
      {"cut in header", 0, 0, 10, "truncated in header"},
      {"cut in material", 0, 0, 57, "truncated in material 0"},
      {"cut in object", 0, 0, 185, "truncated in object 0"},
      {"cut in positions", 0, 0, 182, "truncated in object 0"},
      {"cut in point", 0, 0, 212, "truncated in point 0"},
      {"cut in trailer", 0, 0, 230, "truncated in trailer"},
      {"materials", kMaterialCount, 0xFFFFFFFF, 0, "header: material count 4294967295 exceeds the data"},
      {"texture name", kTextureLength, 0xFFFFFFF0, 0,
       "material 0: texture name length 4294967280 exceeds the data"},
      {"objects", kObjectCount, 0x10000000, 0, "object table: object count 268435456 exceeds the data"},
      {"faces", kFaceCount, 0x40000000, 0, "object 0: face count 1073741824 exceeds the data"},
      {"vertices", kVertexCount, 0x80000000, 0, "object 0: vertex count 2147483648 exceeds the data"},
      {"object name", kNameLength, 1000, 0, "object 0: name length 1000 exceeds the data"},
      {"points", kPointCount, 3, 0, "point table: point count 3 exceeds the data"},
      {"face flag", kHasFaces, 0, 0, "object 0: faces flagged absent"},
      {"vertex flag", kHasVertices, 0, 0, "object 0: vertices flagged absent"},
      {"index", kIndex2, 3, 0, "object 0: face 0: vertex index 3 >= vertex count 3"},
      {"material", kFaceMaterial, 1, 0, "object 0: face 0: material 1 >= material count 1"},
      {"no corners", kCorners, 0, 0, "object 0: face 0: corner count 0 not in 2-4"},
      {"one corner", kCorners, 1, 0, "object 0: face 0: corner count 1 not in 2-4"},
      {"five corners", kCorners, 5, 0, "object 0: face 0: corner count 5 not in 2-4"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = good;
    if (c.offset == kHasFaces || c.offset == kHasVertices) {
      file[c.offset] = static_cast<uint8_t>(c.value);
    } else if (c.offset != 0 || c.value != 0) {
      std::memcpy(file.data() + c.offset, &c.value, 4);
    }
    if (c.size) file.resize(c.size);
    if (std::strcmp(c.what, "no magic") == 0) file.resize(4);
    MqoModel model;
    std::string reason;
    EXPECT_FALSE(parseBinaryModel(file.data(), file.size(), model, reason)) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
    EXPECT_TRUE(model.objects.empty() && model.materials.empty() && model.points.empty()) << c.what;
  }
  // Every shorter prefix fails; the whole file parses.
  for (size_t n = 0; n < good.size(); ++n) {
    MqoModel model;
    std::string reason;
    EXPECT_FALSE(parseBinaryModel(good.data(), n, model, reason)) << n;
  }
  MqoModel model;
  std::string reason;
  EXPECT_TRUE(parseBinaryModel(good.data(), good.size(), model, reason)) << reason;
}

}  // namespace
