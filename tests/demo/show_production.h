// Small productions for the show tests: the built-in effects, definition
// documents and scene files written as text.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "files/files.h"
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

}  // namespace show_testing
