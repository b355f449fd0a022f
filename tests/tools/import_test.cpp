// vesper-import as a user runs it, on a glTF file and an OBJ file the test
// writes: the model and scene file it leaves are read back with the
// engine's own readers; bad input gives one line, status 1 and no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <map>
#include <optional>
#include <tuple>

#include "formats/formats.h"
#include "model/model.h"
#include "support/gltf_writer.h"
#include "support/support.h"
#include "texture/texture.h"

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

namespace {

// An octahedron of radius 1 whose normals point from its centre, faces
// counter-clockwise from outside.
gltf_testing::Mesh octahedron(int material) {
  gltf_testing::Mesh mesh;
  mesh.material = material;
  for (int axis = 0; axis < 3; ++axis) {
    for (float sign : {1.0f, -1.0f}) {
      glm::vec3 p(0.0f);
      p[axis] = sign;
      mesh.positions.push_back(p);
      mesh.normals.push_back(p);
    }
  }
  for (uint32_t x : {0u, 1u}) {
    for (uint32_t y : {2u, 3u}) {
      for (uint32_t z : {4u, 5u}) {
        const bool mirrored = ((x + y + z - 6) % 2) == 1;  // an odd number of negative axes
        mesh.indices.insert(mesh.indices.end(), {x, mirrored ? z : y, mirrored ? y : z});
      }
    }
  }
  return mesh;
}

// The transform the player applies for a key (its matrix stack calls, in
// the model's coordinates).
glm::mat4 keyMatrix(const QdfKey& key) {
  const float d = 180.0f / 3.141592f;
  glm::mat4 m = glm::translate(glm::mat4(1.0f), {key.position.x, key.position.y, -key.position.z});
  m = glm::rotate(m, glm::radians(key.rotation.z * d), {0, 0, 1});
  m = glm::rotate(m, glm::radians(-key.rotation.y * d), {0, 1, 0});
  m = glm::rotate(m, glm::radians(-key.rotation.x * d), {1, 0, 0});
  return glm::scale(m, key.scale);
}

glm::mat4 trs(glm::vec3 t, glm::quat r, glm::vec3 s) {
  return glm::scale(glm::translate(glm::mat4(1.0f), t) * glm::mat4_cast(r), s);
}

// A 2x2 PNG at DIR/maps/skin.png; returns its bytes.
std::vector<uint8_t> writeSkin(const TempDir& dir) {
  fs::create_directories(dir.file("maps"));
  const uint8_t pixels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  PngImage image;
  image.pixels = pixels;
  image.width = 2;
  image.height = 2;
  image.stride = 8;
  std::string reason;
  EXPECT_TRUE(writePngFile(dir.file("maps/skin.png").c_str(), image, reason)) << reason;
  return testing_support::readFile(dir.file("maps/skin.png"));
}

// The glTF camera turned left and rolled.
const glm::quat kCameraTurn = glm::angleAxis(0.2f, glm::vec3(0, 1, 0)) * glm::angleAxis(0.3f, glm::vec3(0, 0, 1));

// Writes the glTF case: a flat red box with an embedded texture and an arm
// (a smooth octahedron) turning about z, a tilted lamp beside it and a
// camera; the box moves +x.
std::string writeGltf(const TempDir& dir) {
  gltf_testing::Document doc;
  doc.meshes = {gltf_testing::box(0.5f, 0), octahedron(1)};
  doc.materials = {{1.0f, 0.0f, 0.0f, 0.75f}, {0.2f, 0.4f, 0.6f, 1.0f}};
  gltf_testing::Node base{"base", 0, -1, {}, {1, 0, 0, 0}, {1, 1, 1}, {1}};
  gltf_testing::Node arm{"arm", 1, -1, {0, 2, 0}, {1, 0, 0, 0}, {1, 1, 1}, {}};
  gltf_testing::Node lamp{"lamp",    0, -1, {0.5f, 1, -2}, glm::angleAxis(1.2f, glm::normalize(glm::vec3(1, 2, 3))),
                          {1, 2, 1}, {}};
  gltf_testing::Node cam{"cam", -1, 0, {0, 1, 8}, kCameraTurn, {1, 1, 1}, {}};
  doc.nodes = {base, arm, lamp, cam};
  doc.roots = {0, 2, 3};
  doc.cameraFovs = {0.8f};
  doc.basePng = writeSkin(dir);
  const glm::quat turned = glm::angleAxis(glm::radians(90.0f), glm::vec3(0, 0, 1));
  doc.tracks = {{0, "translation", {0, 1}, {0, 0, 0, 1, 0, 0}},
                {1, "rotation", {0, 1}, {0, 0, 0, 1, turned.x, turned.y, turned.z, turned.w}}};
  testing_support::writeFile(dir.file("robot.gltf"), testing_support::bytes(gltf_testing::write(doc)));
  return dir.file("robot.gltf");
}

// Writes the OBJ case: a smooth octahedron "a" with a textured, half
// transparent blue material, and a box "b" of quads with a normal per face.
std::string writeObj(const TempDir& dir) {
  std::string obj = "mtllib parts.mtl\no a\nusemtl blue\n";
  const gltf_testing::Mesh a = octahedron(0), b = gltf_testing::box(0.5f);
  for (const glm::vec3& p : a.positions)
    obj += "v " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + "\nvn " +
           std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + "\n";
  obj += "vt 0 0\nvt 1 0\nvt 0 1\n";
  for (size_t i = 0; i < a.indices.size(); i += 3) {
    obj += "f";
    for (size_t c = 0; c < 3; ++c) {
      const std::string v = std::to_string(a.indices[i + c] + 1);
      obj += " " + v + "/" + std::to_string(c + 1) + "/" + v;
    }
    obj += "\n";
  }
  obj += "o b\nusemtl grey\n";
  for (size_t i = 0; i < b.positions.size(); ++i) {
    const glm::vec3 p = b.positions[i] + glm::vec3(3, 0, 0);
    const glm::vec3 n = b.normals[i];
    obj += "v " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + "\nvn " +
           std::to_string(n.x) + " " + std::to_string(n.y) + " " + std::to_string(n.z) + "\n";
  }
  for (int q = 0; q < 6; ++q) {
    obj += "f";
    for (int c = 0; c < 4; ++c) obj += " " + std::to_string(7 + 4 * q + c) + "//" + std::to_string(7 + 4 * q + c);
    obj += "\n";
  }
  testing_support::writeFile(dir.file("parts.obj"), testing_support::bytes(obj));
  testing_support::writeFile(dir.file("parts.mtl"),
                             testing_support::bytes("newmtl blue\nKd 0 0.5 1\nd 0.5\nmap_Kd maps/skin.png\n"
                                                    "newmtl grey\nKd 0.5 0.5 0.5\n"));
  writeSkin(dir);
  return dir.file("parts.obj");
}

// Writes an OBJ box of 800 units without normals, a thousand units off the
// origin: too large for the player's view as it stands.
std::string writeHugeObj(const TempDir& dir) {
  const gltf_testing::Mesh b = gltf_testing::box(400.0f);
  std::string obj = "o hull\n";
  for (const glm::vec3& p : b.positions) {
    obj += "v " + std::to_string(p.x + 1000) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + "\n";
  }
  for (size_t q = 0; q < b.positions.size(); q += 4) {
    obj += "f " + std::to_string(q + 1) + " " + std::to_string(q + 2) + " " + std::to_string(q + 3) + " " +
           std::to_string(q + 4) + "\n";
  }
  testing_support::writeFile(dir.file("huge.obj"), testing_support::bytes(obj));
  return dir.file("huge.obj");
}

struct Expected {
  std::string name;                                  // the output's base name
  std::vector<std::pair<std::string, int>> objects;  // name and depth, in order
  std::string note;                                  // expected on standard error
  bool framed;                                       // the nodes do not move: every vertex must be in the camera's view
  std::string coloured;                              // an object whose first face's material is checked, or empty
  glm::vec4 colour;
  std::string texture;       // that material's texture
  std::string flat, smooth;  // objects with a normal per face / from the centre
  double rate;
  double seconds;  // scene length
  double fovDegrees;
  std::optional<glm::mat4> view;  // the file camera's view at time 0
  // Keys that must reproduce the file's local transform: object, time.
  std::vector<std::tuple<std::string, float, glm::mat4>> transforms;
};

TEST(VesperImport, GltfAndObjBecomeAModelAndASceneTheEngineReads) {
  const glm::quat lampTurn = glm::angleAxis(1.2f, glm::normalize(glm::vec3(1, 2, 3)));
  const glm::quat halfTurned = glm::angleAxis(glm::radians(45.0f), glm::vec3(0, 0, 1));
  struct Case {
    std::function<std::string(const TempDir&)> write;
    std::string options;
    Expected expected;
  } cases[] = {
      {writeGltf,
       "--rate 10",
       {"robot",
        {{"ROOT", 0}, {"base_group", 1}, {"base", 2}, {"arm", 3}, {"lamp", 1}, {"cam", 1}},
        "",
        false,
        "base",
        {1.0f, 0.0f, 0.0f, 0.75f},
        "data\\texture\\robot\\texture0.png",
        "base",
        "arm",
        10.0,
        1.0,
        0.8 * 180.0 / 3.14159265358979,
        glm::inverse(trs({0, 1, 8}, kCameraTurn, {1, 1, 1})),
        {{"base", 0.5f, trs({0.5f, 0, 0}, {1, 0, 0, 0}, {1, 1, 1})},
         {"arm", 0.5f, trs({0, 2, 0}, halfTurned, {1, 1, 1})},
         {"lamp", 0.0f, trs({0.5f, 1, -2}, lampTurn, {1, 2, 1})}}}},
      {writeObj,
       "--name props",
       {"props",
        {{"parts.obj", 0}, {"a", 1}, {"b", 1}},
        "",
        true,
        "a",
        {0.0f, 0.5f, 1.0f, 0.5f},
        "data\\texture\\props\\skin.png",
        "b",
        "a",
        30.0,
        10.0,
        30.0,
        std::nullopt,
        {}}},
      {writeHugeObj,
       "",
       {"huge",
        {{"huge.obj", 0}, {"hull", 1}},
        "note: scaled by 0.0222574 so the model fits the player's view (far plane 150)\n",
        true,
        "",
        {},
        "",
        "hull",
        "",
        30.0,
        10.0,
        30.0,
        std::nullopt,
        {}}},
  };
  for (const Case& c : cases) {
    const Expected& e = c.expected;
    SCOPED_TRACE(e.name);
    TempDir dir;
    const std::string input = c.write(dir);
    const auto r = runCommand(builtProgram("vesper-import") + " " + input + " " + dir.file("out") + " " + c.options);
    ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
    EXPECT_EQ(r.stdErr, e.note.empty() ? "" : "vesper-import: " + input + ": " + e.note);
    EXPECT_EQ(r.stdOut, "<QdfEntry id=\"" + e.name + "\" path=\"data\\scene\\" + e.name + ".qdf\"/>\n" +
                            "<SceneLineEntry line=\"0\" qdfId=\"" + e.name + "\" sTime=\"0\" eTime=\"" +
                            std::to_string(std::lround(e.seconds * 1000)) + "\" shader=\"default\"/>\n");

    // The model, with the normals the player computes.
    const auto bytes = testing_support::readFile(dir.file("out/data/model/" + e.name + ".bmdl"));
    MqoModel model;
    std::string reason;
    ASSERT_TRUE(parseBinaryModel(bytes.data(), bytes.size(), model, reason)) << reason;
    std::vector<std::pair<std::string, int>> objects;
    std::map<std::string, const MqoObject*> byName;
    for (const MqoObject& o : model.objects) {
      objects.emplace_back(o.name, o.depth);
      byName[o.name] = &o;
    }
    ASSERT_EQ(objects, e.objects);
    if (!e.coloured.empty()) {
      const MqoMaterial& material = model.materials.at(byName[e.coloured]->faces.at(0).material);
      for (int k = 0; k < 4; ++k) EXPECT_NEAR(material.col[k], e.colour[k], 1e-6) << k;
      EXPECT_EQ(material.texturePath, e.texture);
    }
    if (!e.texture.empty()) {
      std::string file = e.texture;
      for (char& ch : file) ch = ch == '\\' ? '/' : ch;
      EXPECT_EQ(testing_support::readFile(dir.file("out/" + file)),
                testing_support::readFile(dir.file("maps/skin.png")))
          << file;
    }
    for (const MqoObject& o : model.objects) {
      if (o.faces.empty()) continue;
      glm::vec3 centre(0.0f);
      for (const glm::vec3& p : o.positions) centre += p / static_cast<float>(o.positions.size());
      for (const MqoFace& f : o.faces) {
        ASSERT_EQ(f.cornerCount, 3u);
        const glm::vec3 a = o.positions[f.index[0]], b = o.positions[f.index[1]], p = o.positions[f.index[2]];
        const glm::vec3 front = glm::normalize(glm::cross(b - a, p - a));  // counter-clockwise's side
        EXPECT_GT(glm::dot(front, (a + b + p) / 3.0f - centre), 0.0f) << o.name << ": a face looks inwards";
        for (int k = 0; k < 3; ++k) {
          const glm::vec3 n = o.normals[f.index[k]];
          const glm::vec3 want = o.name == e.smooth ? glm::normalize(o.positions[f.index[k]] - centre) : front;
          if (o.name == e.flat || o.name == e.smooth) {
            EXPECT_LT(glm::distance(n, want), 1e-4f) << o.name;
          }
        }
      }
    }

    // The scene file, read as the player reads it.
    const auto text = testing_support::readFile(dir.file("out/data/scene/" + e.name + ".qdf"));
    QdfData data;
    std::vector<QdfProblem> problems;
    std::vector<std::string> loaded;
    parseQdfText(
        reinterpret_cast<const char*>(text.data()), text.size(), data,
        [&](const std::string& entry) {
          loaded.push_back(entry);
          return resMQO::holdingModelOnly(std::make_unique<MqoModel>(model));
        },
        nullptr, &problems);
    EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().reason;
    EXPECT_EQ(loaded, std::vector<std::string>{"data\\model\\" + e.name + ".mqo"});
    ASSERT_EQ(data.scenes.size(), 1u);
    const QdfScene& scene = data.scenes[0];
    EXPECT_EQ(scene.name, e.name);
    ASSERT_EQ(scene.objects.size(), 2u);
    const QdfObject& camera = scene.objects[0];
    const QdfObject& object = scene.objects[1];
    EXPECT_EQ(camera.slot, -1);
    EXPECT_EQ(object.slot, 0);
    EXPECT_NEAR(camera.times.back(), e.seconds, 1e-6);
    const std::vector<float>& times = object.times;
    if (e.seconds == 10.0) {
      EXPECT_EQ(times, (std::vector<float>{0.0f, 10.0f}));
    } else {
      ASSERT_EQ(times.size(), static_cast<size_t>(std::floor(e.seconds * e.rate)) + 1);
      for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], i / e.rate, 1e-5) << i;
    }
    const QdfKey eye = evaluateKey(camera, "camera_pos", 0.0f);
    EXPECT_NEAR(eye.rotation.y * 180.0f / 3.141592f + 30.0f, e.fovDegrees, 1e-3);
    // The player's view: z negated, y up, turned by rotation z.
    const QdfKey look = evaluateKey(camera, "camera_lookat", 0.0f);
    const glm::vec3 from(eye.position.x, eye.position.y, -eye.position.z);
    const glm::vec3 to(look.position.x, look.position.y, -look.position.z);
    const glm::mat4 view = glm::rotate(glm::mat4(1.0f), eye.rotation.z, {0, 0, 1}) * glm::lookAt(from, to, {0, 1, 0});
    if (e.view) {
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(view[i][j], (*e.view)[i][j], 1e-4) << "camera view";
      }
    }
    if (e.framed) {
      // Every vertex inside a 16:9 frame between near 0.1 and far 150.
      const float slope = std::tan(glm::radians(static_cast<float>(e.fovDegrees)) / 2);
      for (const MqoObject& o : model.objects) {
        for (const glm::vec3& p : o.positions) {
          const glm::vec3 v(view * glm::vec4(p, 1.0f));
          EXPECT_TRUE(-v.z > 0.1f && -v.z < 150.0f && std::fabs(v.y) < -v.z * slope &&
                      std::fabs(v.x) < -v.z * slope * 16 / 9)
              << o.name << ": out of view";
        }
      }
    }
    for (const auto& [part, t, want] : e.transforms) {
      const glm::mat4 got = keyMatrix(evaluateKey(object, part, t));
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(got[i][j], want[i][j], 1e-4) << part << " at " << t;
      }
    }
    releaseQdfModels(data);
  }
}

TEST(VesperImport, BadInputIsOneLineStatusOneAndNoFile) {
  TempDir dir;
  testing_support::writeFile(dir.file("notes.txt"), testing_support::bytes("hello"));
  testing_support::writeFile(dir.file("broken.gltf"), testing_support::bytes("{\"asset\": "));
  struct Case {
    std::string input;
    std::string options;
    int status;
    std::string error;  // the start of standard error
  } cases[] = {
      {dir.file("missing.gltf"), "", 1,
       "vesper-import: " + dir.file("missing.gltf") + ": cannot read: No such file or directory\n"},
      {dir.file("notes.txt"), "", 1, "vesper-import: " + dir.file("notes.txt") + ": unsupported format \".txt\""},
      {dir.file("broken.gltf"), "", 1, "vesper-import: " + dir.file("broken.gltf") + ": "},
      {dir.file("broken.gltf"), "--rate 0", 2, "vesper-import: --rate wants"},
  };
  for (const Case& c : cases) {
    const auto r = runCommand(builtProgram("vesper-import") + " " + c.input + " " + dir.file("out") + " " + c.options);
    EXPECT_EQ(r.exitStatus, c.status) << c.input;
    EXPECT_EQ(r.stdErr.rfind(c.error, 0), 0u) << r.stdErr;
    EXPECT_EQ(std::count(r.stdErr.begin(), r.stdErr.end(), '\n'), 1) << r.stdErr;
    EXPECT_EQ(r.stdOut, "");
    EXPECT_FALSE(fs::exists(dir.file("out"))) << c.input;
  }
}

}  // namespace
