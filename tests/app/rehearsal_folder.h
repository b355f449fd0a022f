// A small source folder for the rehearsal tests: one square model with a
// material effect and texture, filling the screen on one line.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/show_production.h"
#include "support/support.h"

namespace rehearsal_testing {

// A square in one colour, drawn with the material effect paint.cgfx and
// texture t.bmp, both sides facing (so the winding does not matter).
inline std::string squareMqo(const char* col) {
  return std::string("Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 1 {\n\t\"p\" col(") + col +
         ") tex(\"data/texture/t.bmp\") effect(\"data/shader/paint.cgfx\")\n}\n"
         "Object \"m\" {\n\tvertex 4 {\n\t\t-0.25 -0.25 0\n\t\t0.25 -0.25 0\n\t\t0.25 0.25 0\n\t\t-0.25 0.25 0\n\t}\n"
         "\tface 2 {\n\t\t4 V(0 1 2 3) M(0)\n\t\t4 V(3 2 1 0) M(0)\n\t}\n}\nEof\n";
}

inline std::string paintEffect(const std::string& colour) {
  return "float4x4 shVProjMat;\nfloat4 shMqoColor = {1, 1, 1, 1};\nsampler2D shBaseTexture;\n"
         "void vs() { gl_Position = shVProjMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n"
         "void fs() {\n  vec3 texel = texture2D(shBaseTexture, gl_TexCoord[0].xy).rgb;\n"
         "  gl_FragColor = " + colour + ";\n}\n"
         "technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }\n";
}

inline const char kMaterialColour[] = "vec4(texel * shMqoColor.rgb, 1.0)";

inline std::string wallScene(const char* position) {
  return show_testing::sceneFile(
      {{"wall", 100.0f,
        std::string("Object 0 { CameraTrans 1 Visible 1 DataNum 1 Time { 0 } Part \"m\" { Position { ") + position +
            " } Scale { 40 40 40 } } }\n"}},
      "0 \"data\\model\\m.mqo\"\n");
}

template <class Text>
void write(const testing_support::TempDir& dir, const std::string& name, const Text& text) {
  std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
  testing_support::writeFile(dir.file(name), std::vector<uint8_t>(text.begin(), text.end()));
}

// Saved as editors save: a temporary file renamed over the old one.
inline void save(const testing_support::TempDir& dir, const std::string& name, const std::string& text) {
  write(dir, name + ".swp", text);
  std::rename(dir.file(name + ".swp").c_str(), dir.file(name).c_str());
}

// The red square's folder, without music.
inline void writeWallFolder(const testing_support::TempDir& src) {
  using show_testing::document;
  write(src, "data/model/m.mqo", squareMqo("1 0 0 1"));
  write(src, "data/texture/t.bmp", render_testing::solidBmp(255, 255, 255));
  write(src, "data/shader/paint.cgfx", paintEffect(kMaterialColour));
  write(src, "data/scene/wall.qdf", wallScene("0 0 0"));
  write(src, "data/definition/sceneLineDefine.xml",
        document("sceneLineDefine", show_testing::sceneLine("wall", 0, 100000, 0)));
  write(src, "data/definition/qdfDefine.xml",
        document("qdfDefine", show_testing::qdfEntry("wall", "data\\scene\\wall.qdf")));
}

}  // namespace rehearsal_testing
