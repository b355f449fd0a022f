// Small productions for the show tests: the built-in effects, definition
// documents and scene files written as text.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "files/files.h"
#include "scene_render/render_fixture.h"
#include "shader/shader.h"
#include "support/support.h"

namespace show_testing {

// The effects every show loads, from the source tree.
inline std::vector<PackSource> coreEffects() {
  std::vector<PackSource> files;
  for (const char* name : {"dummyShader", "msaa", "nullPostEffect", "finalScreenShader"}) {
    const std::string entry = std::string("data\\core\\shader\\") + name + ".cgfx";
    files.push_back({entry, testing_support::sourceFile("production/data/core/shader/" + std::string(name) +
                                                        ".cgfx")});
  }
  return files;
}

inline std::string document(const char* name, const std::string& body) {
  return std::string("<?xml version=\"1.0\"?>\n<QXDataXml name=\"") + name + "\">\n" + body + "</QXDataXml>\n";
}

inline std::string sceneLine(const char* id, uint32_t sTime, uint32_t eTime, int line,
                             const char* shader = "default") {
  return std::string("<SceneLineEntry qdfId=\"") + id + "\" sTime=\"" + std::to_string(sTime) + "\" eTime=\"" +
         std::to_string(eTime) + "\" line=\"" + std::to_string(line) + "\" shader=\"" + shader + "\"/>\n";
}

inline std::string qdfEntry(const char* id, const char* path) {
  return std::string("<QdfEntry id=\"") + id + "\" path=\"" + path + "\"/>\n";
}

// A camera object whose keys run from 0 to `seconds`.
inline std::string camera(float seconds) {
  const std::string s = std::to_string(seconds);
  return "Object -1 { DataNum 2 Time { 0 " + s +
         " }\n"
         "  Part \"camera_pos\" { Position { 0 0 10 0 0 10 } }\n"
         "  Part \"camera_lookat\" { Position { 0 0 0 0 0 0 } } }\n";
}

// A scene file of file scenes played in order: (name, seconds, objects).
struct FileScene {
  std::string name;
  float seconds = 1.0f;
  std::string objects;  // after the camera
};
inline std::string sceneFile(const std::vector<FileScene>& scenes, const std::string& models = "") {
  std::string text = "QScene Demo File\nFormat Text Ver 1.0\nshow tests\nMQO {\n" + models + "}\n";
  for (const FileScene& s : scenes) text += "Scene \"" + s.name + "\" {\n" + camera(s.seconds) + s.objects + "}\n";
  return text + "Eof\n";
}

// A square of `col` facing the scene camera, whose faces the engine's culling
// keeps (the camera looks along +z).
inline std::vector<uint8_t> facingSquare(glm::vec4 col) {
  MqoModel model;
  model.materials.push_back(render_testing::material(col));
  model.objects.push_back(render_testing::rectangle("m", 0, 0, 0, 0, 0.25f, 0.25f));
  for (MqoFace& f : model.objects.back().faces) std::swap(f.index[1], f.index[2]);
  return writeBinaryModel(model);
}

// Two lines of model scenes: a red wall on line 0 in [1000, 3000] and a
// green square over its centre on line 1 in [2000, 3000]. The square's file
// scene is named like a registered class without its prefix, so it plays as
// the default scene. A scene-file entry no line uses names a missing file; a
// post effect and a custom texture are loaded but show nothing before 5 s.
// The third timeline entry names a line the show does not have.
inline std::vector<PackSource> twoLineProduction() {
  const std::string object =
      "Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part \"m\" { Position { 0 0 0 } ";
  using testing_support::bytes;
  return {
      {"data\\shader\\probe.cgfx", bytes(render_testing::kProbeEffect)},
      {"data\\texture\\white.bmp", render_testing::solidBmp(255, 255, 255)},
      {"data\\model\\red.bmdl", facingSquare({1, 0, 0, 1})},
      {"data\\model\\green.bmdl", facingSquare({0, 1, 0, 1})},
      {"data\\scene\\red.qdf",
       bytes(sceneFile({{"wall", 2.0f, object + "Scale { 40 40 40 } } }\n"}}, "0 \"data\\model\\red.mqo\"\n"))},
      {"data\\scene\\green.qdf", bytes(sceneFile({{"skycloud1", 2.0f, object + "Scale { 2 2 2 } } }\n"}},
                                                 "0 \"data\\model\\green.mqo\"\n"))},
      {"data\\texture\\noise.bmp", render_testing::solidBmp(0, 0, 255)},
      {"data\\shader\\tint.cgfx",
       bytes("float4x4 projMat; sampler2D noiseTex; sampler2D srcCBuf0;\n"
             "void vs() { gl_Position = projMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n"
             "void fs() { gl_FragColor = texture2D(srcCBuf0, gl_TexCoord[0].xy) + texture2D(noiseTex, vec2(0.5)); }\n"
             "technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }\n")},
      {"data\\definition\\postEffectDefine.xml",
       bytes(document("postEffectDefine", "<PostEffectEntry shader=\"tint\" sTime=\"5000\" eTime=\"6000\" "
                                          "execPrio=\"0\" execPass=\"-1\" renderTarget=\"-1\"/>\n"))},
      {"data\\definition\\customTextureDefine.xml",
       bytes(document("shaderTextureDefine", "<TextureEntry sampler=\"noiseTex\" path=\"data\\texture\\noise.bmp\"/>\n"))},
      {"data\\definition\\sceneLineDefine.xml",
       bytes(document("sceneLineDefine", sceneLine("red", 1000, 3000, 0) + sceneLine("green", 2000, 3000, 1) +
                                             sceneLine("red", 0, 100, 12)))},
      {"data\\definition\\qdfDefine.xml",
       bytes(document("qdfDefine", qdfEntry("red", "data\\scene\\red.qdf") +
                                       qdfEntry("green", "data\\scene\\green.qdf") +
                                       qdfEntry("unused", "data\\scene\\missing.qdf")))},
  };
}

}  // namespace show_testing
