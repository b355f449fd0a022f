// The Metasequoia text reader: a real cube through the binary writer and
// reader, skipped chunks and raw name bytes, the geometry rules, and bad
// input with its reason and line.
#include "model/mqo_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "model/model.h"

namespace {

const char kHeader[] = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";

const char kCube[] =
    "Metasequoia Document\r\n"
    "Format Text Ver 1.1\r\n"
    "CodePage utf8\r\n"
    "Material 2 {\r\n"
    "\t\"a\" shader(3) col(0.900 0.450 0.200 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.300) power(12.00) "
    "tex(\"data/texture/a.png\") effect(\"data\\shader\\m.cgfx\") tex2(\"./data//texture\\b.png\")\r\n"
    "\t\"b\" col(0.200 0.450 0.900 0.500) dif(0.500) emi(0.250)\r\n"
    "}\r\n"
    "Object \"cube\" {\r\n"
    "\tdepth 1\r\n"
    "\tfacet 59.5\r\n"
    "\tvertex 8 {\r\n"
    "\t\t-1 1 1\r\n\t\t-1 -1 1\r\n\t\t1 1 1\r\n\t\t1 -1 1\r\n"
    "\t\t1 1 -1\r\n\t\t1 -1 -1\r\n\t\t-1 1 -1\r\n\t\t-1 -1 -1\r\n"
    "\t}\r\n"
    "\tface 6 {\r\n"
    "\t\t4 V(0 2 3 1) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(2 4 5 3) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(4 6 7 5) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(6 0 1 7) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(6 4 2 0) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t\t4 V(1 3 5 7) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
    "\t}\r\n"
    "}\r\n"
    "Eof\r\n";

struct Parsed {
  bool ok = false;
  MqoModel model;
  std::string error;
  int line = 0;
};

Parsed parse(const std::string& text) {
  Parsed p;
  p.ok = parseMqoText(text.data(), text.size(), p.model, p.error, p.line);
  return p;
}

TEST(MqoTextTest, CubeBecomesTwelveTrianglesThatReadBackAsABinaryModel) {
  const Parsed p = parse(kCube);
  ASSERT_TRUE(p.ok) << p.line << ": " << p.error;
  ASSERT_EQ(p.model.objects.size(), 1u);
  const MqoObject& cube = p.model.objects[0];
  EXPECT_EQ(cube.name, "cube");
  EXPECT_EQ(cube.depth, 1);
  EXPECT_FLOAT_EQ(cube.facet, 59.5f);
  ASSERT_EQ(cube.faceCount, 12u);
  ASSERT_EQ(cube.vertexCount, 8u);
  // The first quad, written clockwise from its front (+z) as (0 2 3 1),
  // turns round to (1 3 2 0) and fans into (1 3 2) and (1 2 0); each corner
  // keeps its UV.
  EXPECT_EQ(cube.faces[1].index[0], 1u);
  EXPECT_EQ(cube.faces[1].index[1], 2u);
  EXPECT_EQ(cube.faces[1].index[2], 0u);
  const auto uv = [&](int c) { return glm::vec2(cube.faces[1].uv[c][0], cube.faces[1].uv[c][1]); };
  EXPECT_EQ(uv(0), glm::vec2(0, 1));
  EXPECT_EQ(uv(1), glm::vec2(1, 0));
  EXPECT_EQ(uv(2), glm::vec2(0, 0));
  EXPECT_EQ(cube.faces[2].material, 1u);
  // Every triangle runs counter-clockwise seen from outside the cube, the
  // renderer's front faces: its right-handed normal points away from the centre.
  for (const MqoFace& f : cube.faces) {
    const glm::vec3 a = cube.positions[f.index[0]], b = cube.positions[f.index[1]], c = cube.positions[f.index[2]];
    EXPECT_GT(glm::dot(glm::cross(b - a, c - a), a + b + c), 0.0f) << f.index[0] << f.index[1] << f.index[2];
  }

  const std::vector<uint8_t> bytes = writeBinaryModel(p.model);
  MqoModel back;
  std::string reason;
  ASSERT_TRUE(parseBinaryModel(bytes.data(), bytes.size(), back, reason)) << reason;
  ASSERT_EQ(back.objects.size(), 1u);
  EXPECT_EQ(back.objects[0].name, "cube");
  EXPECT_EQ(back.objects[0].faceCount, 12u);
  // After the split no vertex is shared: three of its own per triangle.
  EXPECT_EQ(back.objects[0].vertexCount, 36u);
  for (const MqoFace& f : back.objects[0].faces) EXPECT_EQ(f.cornerCount, 3u);
  // So the normals the reader computes point outwards: lit from outside.
  for (uint32_t v = 0; v < 36; ++v) {
    EXPECT_GT(glm::dot(back.objects[0].normals[v], back.objects[0].positions[v]), 0.0f) << v;
  }

  ASSERT_EQ(back.materials.size(), 2u);
  const MqoMaterial& a = back.materials[0];
  EXPECT_NEAR(a.col.g, 0.45f, 1e-6f);
  EXPECT_NEAR(a.dif, 0.8f, 0.01f);  // factors are stored as halves
  EXPECT_NEAR(a.power, 12.0f, 0.1f);
  EXPECT_EQ(a.shader, 3);
  EXPECT_EQ(a.texturePath, "data\\texture\\a.png");
  EXPECT_EQ(a.effectPath, "data\\shader\\m.cgfx");
  EXPECT_EQ(a.secondTexturePath, "data\\texture\\b.png");
  const MqoMaterial& b = back.materials[1];
  EXPECT_NEAR(b.col.a, 0.5f, 1e-6f);
  EXPECT_NEAR(b.emi, 0.25f, 0.01f);
  EXPECT_NEAR(b.amb, 0.6f, 0.01f);  // left out: the default
  EXPECT_TRUE(b.texturePath.empty());
}

TEST(MqoTextTest, UnknownChunksAreSkippedAndNamesKeepTheirBytes) {
  // "表" in Shift-JIS ends in 0x5C, the byte of '\'.
  const std::string sjis = "\x95\x5c\x83\x4c\x83\x85\x81\x5b\x83\x75";
  std::string text = std::string(kHeader) +
                     "Scene {\r\n\tpos 0 0 1500\r\n\tdirlights 1 {\r\n\t\tlight {\r\n\t\t\tdir 0.408 0.408 0.816\r\n"
                     "\t\t}\r\n\t}\r\n}\r\n"
                     "BackImage {\r\n\tpers \"a}b.bmp\" 0 0 1 1\r\n}\r\n"
                     "IncludeXml \"x.mqx\"\r\n"
                     "Thumbnail 2 1 24 rgb raw {\r\n\tFF00FF00FF00\r\n}\r\n"
                     "Material 1 {\r\n\t\"" +
                     sjis + "\" col(1 1 1 1) reflect(0.5) proj_pos(0 0 0) tex(\"" + sjis +
                     "\\t.png\")\r\n}\r\n"
                     "MaterialEx2 {\r\n\tmaterial 0 {\r\n\t\tshadertype \"x\"\r\n\t}\r\n}\r\n"
                     "Object \"" +
                     sjis +
                     "\" {\r\n\tuid 1\r\n\tscale 1 1 1\r\n\tcolor 0.5 0.5 0.5\r\n"
                     "\tBVertex 3 {\r\n\t\tVector 3 [=36]\r\n";
  // The binary block holds '}', '{' and line feeds, which must not count.
  const float xyz[9] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f, 9.0f};
  std::string raw(reinterpret_cast<const char*>(xyz), sizeof xyz);
  raw[0] = '}';  // 1.0f = 00 00 80 3F: low bytes are free to carry any value
  raw[1] = '\n';
  raw[4] = '{';
  text += raw + "\r\n\t\tweit {\r\n\t\t\t0 1.0\r\n\t\t}\r\n\t}\r\n";
  text +=
      "\tvertexattr {\r\n\t\tuid {\r\n\t\t\t1\r\n\t\t}\r\n\t}\r\n"
      "\tface 1 {\r\n\t\t3 V(0 1 2) M(0) UV(0 0 1 0 1 1) COL(1 2 3) UID(7)\r\n\t}\r\n"
      "\tedge_attr {\r\n\t}\r\n"
      "}\r\n"
      "Eof\r\n"
      "anything after Eof {";
  const Parsed p = parse(text);
  ASSERT_TRUE(p.ok) << p.line << ": " << p.error;
  ASSERT_EQ(p.model.objects.size(), 1u);
  EXPECT_EQ(p.model.objects[0].name, sjis);
  ASSERT_EQ(p.model.objects[0].positions.size(), 3u);
  EXPECT_FLOAT_EQ(p.model.objects[0].positions[1].y, 5.0f);
  EXPECT_EQ(p.model.objects[0].faceCount, 1u);
  ASSERT_EQ(p.model.materials.size(), 1u);
  EXPECT_EQ(p.model.materials[0].texturePath, sjis + "\\t.png");

  // The same name under "CodePage utf8" has no lead bytes: 0x5C separates.
  std::string name;
  std::string reason;
  ASSERT_TRUE(mqoPackName(sjis + "\\\\t.png", true, name, reason));
  EXPECT_EQ(name, sjis + "\\t.png");
  ASSERT_TRUE(mqoPackName(sjis + "\\\\t.png", false, name, reason));
  EXPECT_EQ(name, "\x95\\\x83\x4c\x83\x85\x81\x5b\x83\x75\\t.png");
}

TEST(MqoTextTest, FacesMirrorsPointsAndDefaultMaterial) {
  const Parsed p = parse(std::string(kHeader) +
                         "Object \"m\" {\r\n\tmirror 2\r\n\tmirror_axis 1\r\n\tvertex 6 {\r\n"
                         "\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t1 1 0\r\n\t\t0 1 0\r\n\t\t2 2 2\r\n\t\t3 3 3\r\n\t}\r\n"
                         "\tface 3 {\r\n"
                         "\t\t5 V(0 1 2 4 3) M(-1)\r\n"  // a pentagon: three triangles
                         "\t\t2 V(4 5)\r\n"              // a line: dropped
                         "\t\t1 V(5)\r\n"
                         "\t}\r\n}\r\n"
                         "Object \">>pivot\" {\r\n\tvertex 2 {\r\n\t\t4 5 6\r\n\t\t7 8 9\r\n\t}\r\n}\r\n"
                         "Eof\r\n");
  ASSERT_TRUE(p.ok) << p.line << ": " << p.error;
  ASSERT_EQ(p.model.objects.size(), 1u);  // the point is no object
  const MqoObject& m = p.model.objects[0];
  // Mirrored in x, connected: vertices 0 and 3 lie on x = 0 and are shared.
  ASSERT_EQ(m.vertexCount, 6u + 4u);
  EXPECT_EQ(m.positions[6], glm::vec3(-1, 0, 0));
  ASSERT_EQ(m.faceCount, 6u);
  // (0 1 2 4 3) turns round to (3 4 2 1 0): (3 4 2), (3 2 1), (3 1 0).
  EXPECT_EQ(m.faces[2].index[0], 3u);
  EXPECT_EQ(m.faces[2].index[1], 1u);
  EXPECT_EQ(m.faces[2].index[2], 0u);
  // The mirrored copy of (3 4 2) runs the other way: (3 2' 4').
  EXPECT_EQ(m.faces[3].index[0], 3u);
  EXPECT_EQ(m.faces[3].index[1], 7u);
  EXPECT_EQ(m.faces[3].index[2], 8u);
  for (const MqoFace& f : m.faces) EXPECT_EQ(f.material, 0u);
  ASSERT_EQ(p.model.materials.size(), 1u);
  EXPECT_EQ(p.model.materials[0].col, glm::vec4(1.0f));
  ASSERT_EQ(p.model.points.count("pivot"), 1u);
  EXPECT_EQ(p.model.points.at("pivot"), glm::vec3(4, 5, 6));

  // Separate mirroring along x and z: four copies of every vertex and face.
  const Parsed q =
      parse(std::string(kHeader) +
            "Object \"q\" {\r\n\tmirror 1\r\n\tmirror_axis 5\r\n\tvertex 3 {\r\n"
            "\t\t0 0 0\r\n\t\t1 0 1\r\n\t\t1 1 1\r\n\t}\r\n\tface 1 {\r\n\t\t3 V(0 1 2)\r\n\t}\r\n}\r\nEof\r\n");
  ASSERT_TRUE(q.ok) << q.line << ": " << q.error;
  EXPECT_EQ(q.model.objects[0].vertexCount, 12u);
  EXPECT_EQ(q.model.objects[0].faceCount, 4u);
  EXPECT_EQ(q.model.objects[0].positions[11], glm::vec3(-1, 1, -1));
}

// Hidden objects and attributes the binary model cannot carry: what is
// left out, and the notes that say so.
TEST(MqoTextTest, HiddenObjectsAndDroppedAttributesAreLeftOutWithNotes) {
  const std::string tri = "\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\n";
  const std::string text = std::string(kHeader) +
                           "Material 2 {\n"
                           "\t\"a\" col(1 1 1 1) aplane(0 1 0 0) bump(\"b.png\")\n"  // line 5
                           "\t\"b\" col(1 1 1 1) bump(\"c.png\") proj_type(1)\n"
                           "}\n"
                           "Object \"shown\" {\n\tvisible 15\n" + tri +
                           "Object \"bone\" {\n\tvisible 0\n" + tri +
                           "Object \">pivot\" {\n\tvisible 0\n\tvertex 1 {\n\t\t1 2 3\n\t}\n}\n"
                           "Eof\n";
  struct Case {
    bool keepHidden;
    std::vector<std::string> objects;
    std::vector<std::string> notes;  // "LINE: text"
  } cases[] = {
      {false,
       {"shown"},
       {"5: warning: material attribute \"aplane\" is not converted; left out",
        "5: warning: material attribute \"bump\" is not converted; left out",
        "6: warning: material attribute \"proj_type\" is not converted; left out",
        "0: object \"bone\" is hidden (visible 0): left out"}},
      {true,
       {"shown", "bone"},
       {"5: warning: material attribute \"aplane\" is not converted; left out",
        "5: warning: material attribute \"bump\" is not converted; left out",
        "6: warning: material attribute \"proj_type\" is not converted; left out"}},
  };
  for (const Case& c : cases) {
    MqoModel model;
    std::string error;
    int line = 0;
    std::vector<MqoNote> notes;
    MqoReadOptions options;
    options.keepHidden = c.keepHidden;
    ASSERT_TRUE(parseMqoText(text.data(), text.size(), model, error, line, options, &notes)) << error;
    std::vector<std::string> objects, said;
    for (const MqoObject& o : model.objects) objects.push_back(o.name);
    for (const MqoNote& n : notes) said.push_back(std::to_string(n.line) + ": " + n.text);
    EXPECT_EQ(objects, c.objects) << c.keepHidden;
    EXPECT_EQ(said, c.notes) << c.keepHidden;
    // A named point is hidden by nature and stays.
    EXPECT_EQ(model.points.at("pivot"), glm::vec3(1, 2, 3));
  }
}

TEST(MqoTextTest, EveryTruncationFailsOnItsLastLine) {
  const std::string cube = kCube;
  int lines = 0;
  for (size_t end = 0; end + 1 < cube.size(); ++end) {
    if (cube[end] != '\n') continue;
    ++lines;
    const Parsed p = parse(cube.substr(0, end + 1));
    EXPECT_FALSE(p.ok) << "cut after line " << lines;
    EXPECT_EQ(p.line, lines) << p.error;
  }
  // Cut inside a line.
  const std::string cut = cube.substr(0, cube.find("4 V(6 0 1") + 5);
  const Parsed p = parse(cut);
  EXPECT_EQ(p.error, "file ends where ')' after the vertex indices belongs");
  EXPECT_EQ(p.line, 25);
  const Parsed q = parse(cube.substr(0, cube.find("\t}\r\n\tface")));
  EXPECT_EQ(q.error, "file ends inside vertex chunk opened on line 11");
  EXPECT_EQ(q.line, 19);
}

TEST(MqoTextTest, MalformedInputFailsWithReasonAndLine) {
  const std::string h = kHeader;  // three lines
  const std::string obj = "Object \"o\" {\r\n\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t0 1 0\r\n\t}\r\n";
  struct Case {
    std::string text;
    std::string reason;
    int line;
  } cases[] = {
      {"", "not a Metasequoia document", 1},
      {"Metasequoia Document\nFormat Binary Ver 1.0\n", "unsupported format 'Binary'", 2},
      {"Metasequoia Document\nFormat Text Ver 2.0\n", "unsupported format version '2.0'", 2},
      {h + "Object \"o\" {\n}\n", "file ends without Eof", 5},
      {h + "}\nEof\n", "unexpected '}'", 4},
      {h + "Scene {\n\tpos 0 0 1\n", "file ends inside Scene opened on line 4", 5},
      {h + "Material 1 {\n\t\"a\" col(1 1 1)\n}\nEof\n", "expected colour component", 5},
      {h + "Material 1 {\n\t\"a\" dif(1e99)\n}\nEof\n", "dif out of range", 5},
      {h + "Material 1 {\n\t\"a\" dif(0.5\n}\nEof\n", "expected ')' after the value", 5},
      {h + "Material 1 {\n\t\"a\" reflect(0.5\n}\nEof\n", "missing ')'", 5},
      {h + "Material 1 {\n\t\"a\" tex(\"C:/x.png\")\n}\nEof\n", "absolute path 'C:/x.png' is no pack name", 5},
      {h + "Material 1 {\n\t\"a\" tex(\"../x.png\")\n}\nEof\n", "path '../x.png' leaves the pack", 5},
      {h + "Material 1 {\n\t\"a\"\n\t\"b\"\n}\nEof\n", "Material chunk holds more entries than its count 1", 6},
      {h + "Material 0 {\n}\nMaterial 0 {\n}\nEof\n", "second Material chunk", 6},
      {h + "Object \"o {\n}\nEof\n", "unterminated object name", 4},
      {h + "Object \"o\" {\n\tdepth -1\n}\nEof\n", "depth out of range", 5},
      {h + "Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n\t}\n}\nEof\n", "vertex chunk holds 1 entries, its count says 3",
       7},
      {h + "Object \"o\" {\n\tvertex 1 {\n\t\t0 0 x\n\t}\n}\nEof\n", "expected coordinate", 6},
      {h + "Object \"o\" {\n\tvertex 1 {\n\t\t0 0 1.5.5\n\t}\n}\nEof\n", "bad coordinate '1.5.5'", 6},
      {h + obj + "\tface 1 {\r\n\t\t3 V(0 1 3)\r\n\t}\r\n}\r\nEof\r\n", "vertex index 3 out of range (3 vertices)", 11},
      // The face's own line, also where the file ends right after it.
      {h + obj + "\tface 1 {\r\n\t\t3 V(0 1 3)\r\n", "vertex index 3 out of range (3 vertices)", 11},
      {h + obj + "\tface 1 {\r\n\t\t3 V(0 1 2) UV(0 0 1 0)\r\n\t}\r\n}\r\nEof\r\n", "UV() holds 4 values for 3 corners",
       11},
      {h + obj + "\tface 1 {\r\n\t\t3 M(0)\r\n\t}\r\n}\r\nEof\r\n", "face without V()", 11},
      {h + obj + "\tface 1 {\r\n\t\t0 V()\r\n\t}\r\n}\r\nEof\r\n", "face with 0 corners", 11},
      {h + obj + "\tface 2 {\r\n\t\t3 V(0 1 2)\r\n\t}\r\n}\r\nEof\r\n", "face chunk holds 1 entries, its count says 2",
       12},
      {h + obj + "\tface 1 {\r\n\t\t3 V(0 1 2) M(-2)\r\n\t}\r\n}\r\nEof\r\n", "material index -2 out of range", 11},
      // Material references are checked against the chunk wherever it is.
      {h + obj + "\tface 2 {\r\n\t\t3 V(0 1 2) M(1)\r\n\t\t3 V(0 1 2) M(2)\r\n\t}\r\n}\r\n" +
           "Material 2 {\r\n\t\"a\"\r\n\t\"b\"\r\n}\r\nEof\r\n",
       "material 2 out of range (2 materials)", 12},
      {h + obj + "\tvertex 1 {\r\n\t}\r\n}\r\nEof\r\n", "second vertex chunk in Object \"o\"", 10},
      {h + "Object \">p\" {\n}\nEof\n", "point Object \">p\" has no vertex", 5},
      {h + "Object \"o\" {\n\tmirror_axis 8\n}\nEof\n", "mirror_axis out of range", 5},
      {h + "Object \"o\" {\n\tBVertex 1 {\n\t\tVector 1 [=8]\n", "data size is not 12 bytes per vertex", 6},
      {h + "Object \"o\" {\n\tBVertex 1 {\n\t\tVector 1 [=12]\n\1\2\3", "file ends inside BVertex opened on line 5", 7},
      {h + "Object \"o\" {\n\tvertexattr {\n\t\tx [=100]\nabc\n", "file ends inside vertexattr opened on line 5", 7},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.text);
    EXPECT_FALSE(p.ok) << c.reason;
    EXPECT_EQ(p.error, c.reason);
    EXPECT_EQ(p.line, c.line) << c.reason;
    EXPECT_TRUE(p.model.objects.empty() && p.model.materials.empty()) << c.reason;
  }
}

}  // namespace
