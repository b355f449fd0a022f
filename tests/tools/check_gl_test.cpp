// vesper-check as a production maker runs it: clean on a small production
// that uses every kind of file, and on broken copies of it reporting exactly
// the one problem put in, with its file. It compiles effects, so it needs GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "model/model.h"
#include "support/support.h"

namespace {

using testing_support::bytes;
using testing_support::runCommand;
using testing_support::TempDir;

// A 2 x 2 uncompressed 24-bit TGA.
std::vector<uint8_t> tinyTga() {
  std::vector<uint8_t> t = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0};
  t.resize(t.size() + 2 * 2 * 3, 0x80);
  return t;
}

std::vector<uint8_t> boxModel() {
  MqoModel m;
  MqoMaterial mat;
  mat.col = {1, 1, 1, 1};
  mat.texturePath = "data\\texture\\wood.tga";
  mat.secondTexturePath = "data\\texture\\grain.tga";
  m.materials = {mat};
  MqoObject o;
  o.name = "box";
  o.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  MqoFace f;
  f.cornerCount = 3;
  f.index[1] = 1;
  f.index[2] = 2;
  o.faces = {f};
  m.objects = {o};
  return writeBinaryModel(m);
}

std::string quadEffect(const std::string& declarations, const std::string& colour) {
  return "float4x4 projMat;\n" + declarations +
         "void vs() { gl_Position = projMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n"
         "void fs() { gl_FragColor = " +
         colour +
         "; }\ntechnique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }\n";
}

const char kSampler[] = "sampler2D noiseTex;\n";

// The production's files by entry name.
using Files = std::map<std::string, std::string>;

Files smallProduction() {
  Files f;
  f["data\\definition\\sceneLineDefine.xml"] =
      "<QXDataXml name=\"sceneLineDefine\">\n"
      "  <SceneLineEntry qdfId=\"intro\" line=\"0\" sTime=\"0\" eTime=\"800\" shader=\"default\"/>\n"
      "  <SceneLineEntry qdfId=\"intro\" line=\"1\" sTime=\"200\" eTime=\"1000\" shader=\"tint\"/>\n"
      "</QXDataXml>\n";
  f["data\\definition\\qdfDefine.xml"] =
      "<QXDataXml name=\"qdfDefine\"><QdfEntry id=\"intro\" path=\"data\\scene\\intro.qdf\"/></QXDataXml>\n";
  f["data\\definition\\postEffectDefine.xml"] =
      "<QXDataXml name=\"postEffectDefine\">\n"
      "  <PostEffectEntry sTime=\"0\" eTime=\"1000\" shader=\"glow\" execPrio=\"0\" execPass=\"-1\" "
      "renderTarget=\"-1\">\n"
      "    <ConstantEntry param=\"gain\" type=\"float\" value=\"0.5\"/>\n"
      "    <SourceLineEntry param=\"scene\" type=\"color\" lineId=\"0\"/>\n"
      "  </PostEffectEntry>\n"
      "</QXDataXml>\n";
  f["data\\definition\\customTextureDefine.xml"] =
      "<QXDataXml name=\"shaderTextureDefine\">"
      "<TextureEntry sampler=\"noiseTex\" path=\"data\\texture\\noise.tga\"/></QXDataXml>\n";
  f["data\\scene\\intro.qdf"] =
      "QScene Demo File\nFormat Text Ver 1.0\nsmall\nMQO {\n  0 \"data\\model\\box.mqo\"\n}\n"
      "Scene \"intro\" {\n"
      "  Object -1 {\n    DataNum 2\n    Time { 0 1 }\n"
      "    Part \"camera_pos\" {\n      Position { 0 0 -5 0 0 -4 }\n    }\n"
      "    Part \"camera_lookat\" {\n      Position { 0 0 0 0 0 0 }\n    }\n  }\n"
      "  Object 0 {\n    CameraTrans 1\n    Visible 1\n    DataNum 2\n    Time { 0 1 }\n"
      "    Part \"box\" {\n      Rotation { 0 0 0 0 1 0 }\n    }\n  }\n"
      "}\nEof\n";
  const std::vector<uint8_t> model = boxModel();
  f["data\\model\\box.bmdl"] = std::string(model.begin(), model.end());
  const std::vector<uint8_t> tga = tinyTga();
  for (const char* name : {"wood", "grain", "noise"})
    f[std::string("data\\texture\\") + name + ".tga"] = {tga.begin(), tga.end()};
  for (const char* core : {"dummyShader", "defaultShader", "finalScreenShader", "nullPostEffect", "msaa"}) {
    const std::vector<uint8_t> text =
        testing_support::sourceFile(std::string("production/data/core/shader/") + core + ".cgfx");
    f[std::string("data\\core\\shader\\") + core + ".cgfx"] = {text.begin(), text.end()};
  }
  f["data\\shader\\glow.cgfx"] = quadEffect(std::string("float gain;\nsampler2D scene;\n") + kSampler,
                                            "texture2D(scene, gl_TexCoord[0].xy) * gain");
  f["data\\shader\\tint.cgfx"] = quadEffect(kSampler, "texture2D(noiseTex, gl_TexCoord[0].xy)");
  return f;
}

// Writes the pack of `files` and a four-second music into `dir`.
void writeProduction(const TempDir& dir, const Files& files) {
  std::vector<PackSource> sources;
  for (const auto& [name, text] : files) sources.push_back({name, bytes(text)});
  testing_support::makePack(dir.file("vesper.pak"), sources);
  testing_support::writeFile(dir.file("score.txt"),
                             bytes("tempo 120\ninstrument tone sine attack=0.01 decay=0.1 sustain=0.5 release=0.1\n"
                                   "pattern p tone C4 - - - E4 - - - G4 - - - C5 - - -\nplay p x2\n"));
  const auto r =
      runCommand(testing_support::builtProgram("musicgen") + " " + dir.file("score.txt") + " " + dir.file("music.ogg"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
}

void replace(Files& f, const std::string& name, const std::string& from, const std::string& to) {
  const size_t at = f[name].find(from);
  ASSERT_NE(at, std::string::npos) << from;
  f[name].replace(at, from.size(), to);
}

struct BrokenCopy {
  const char* what;
  std::function<void(Files&)> breakFiles;
  bool cutMusic;
  // The one line expected (or, without its line feed, its start); empty: clean.
  const char* problem;
};

TEST(VesperCheck, CleanProductionPassesAndEachBreakIsReportedAlone) {
  const BrokenCopy cases[] = {
      {"clean", nullptr, false, ""},
      {"missing texture", [](Files& f) { f.erase("data\\texture\\wood.tga"); }, false,
       "data\\model\\box.bmdl: material 0: \"data\\texture\\wood.tga\" is not in the pack\n"},
      {"effect that does not compile",
       [](Files& f) { replace(f, "data\\shader\\tint.cgfx", "texture2D(noiseTex", "texture2D(noTex"); }, false,
       "data\\shader\\tint.cgfx: no technique compiles and links: technique \"t\" pass \"p\": fragment program "
       "'fs' failed to compile: "},
      {"timeline line 10",
       [](Files& f) { replace(f, "data\\definition\\sceneLineDefine.xml", "line=\"1\"", "line=\"10\""); }, false,
       "data\\definition\\sceneLineDefine.xml: SceneLineEntry 1: line \"10\" is outside 0-9; entry skipped\n"},
      {"post-effect source w12",
       [](Files& f) { replace(f, "data\\definition\\postEffectDefine.xml", "lineId=\"0\"", "lineId=\"w12\""); }, false,
       "data\\definition\\postEffectDefine.xml: PostEffectEntry 0 SourceLineEntry 0: lineId \"w12\" is not 0-9 or "
       "w0-w9; source skipped\n"},
      {"scene part naming no object", [](Files& f) { replace(f, "data\\scene\\intro.qdf", "\"box\"", "\"lid\""); },
       false,
       "data\\scene\\intro.qdf:23: part \"lid\" names no object of model data\\model\\box.bmdl (object slot 0), "
       "skipped\n"},
      {"scene block not closed", [](Files& f) { replace(f, "data\\scene\\intro.qdf", "  }\n}\nEof", "  }\nEof"); },
       false, "data\\scene\\intro.qdf:7: Scene \"intro\": block not closed (\"}\" missing)\n"},
      {"scene keyword misspelt", [](Files& f) { replace(f, "data\\scene\\intro.qdf", "Rotation", "Rotaton"); }, false,
       "data\\scene\\intro.qdf:24: unknown keyword \"Rotaton\" in a Part block, skipped; did you mean \"Rotation\"?\n"},
      {"scene keys fewer than DataNum",
       [](Files& f) { replace(f, "data\\scene\\intro.qdf", "{ 0 0 0 0 1 0 }", "{ 0 0 0 }"); }, false,
       "data\\scene\\intro.qdf:21: DataNum 2, 1 key in Rotation of part \"box\"\n"},
      {"truncated music", nullptr, true, "music.ogg: truncated: "},
      {"near miss of a scene class",
       [](Files& f) { replace(f, "data\\scene\\intro.qdf", "\"intro\"", "\"Metaball\""); }, false,
       "data\\scene\\intro.qdf: warning: scene \"Metaball\": no scene class has this name, so it plays as the "
       "default scene; a near miss of the class CSceneQdf_metaball\n"},
  };
  for (const BrokenCopy& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Files files = smallProduction();
    if (c.breakFiles) c.breakFiles(files);
    writeProduction(dir, files);
    if (c.cutMusic) {
      std::vector<uint8_t> music = testing_support::readFile(dir.file("music.ogg"));
      music.resize(music.size() * 3 / 4);
      testing_support::writeFile(dir.file("music.ogg"), music);
    }
    // Run in the production's folder: the default place to look.
    const auto r = runCommand("cd '" + dir.path() + "' && " + testing_support::builtProgram("vesper-check"));
    const std::string expected = c.problem;
    const bool warning = expected.find(": warning: ") != std::string::npos;
    EXPECT_EQ(r.exitStatus, expected.empty() || warning ? 0 : 1) << r.stdOut << r.stdErr;
    EXPECT_EQ(std::count(r.stdOut.begin(), r.stdOut.end(), '\n'), expected.empty() ? 0 : 1) << r.stdOut;
    EXPECT_EQ(r.stdOut.compare(0, expected.size(), expected), 0) << r.stdOut;
  }
}

TEST(VesperCheck, SampleProductionIsClean) {
  const std::string dir = std::string(std::getenv("VESPER_BUILD_DIR")) + "/production";
  const auto list = runCommand(testing_support::builtProgram("vesper-pack") + " list " + dir + "/vesper.pak");
  ASSERT_EQ(list.exitStatus, 0) << list.stdErr;
  if (list.stdOut.find("data\\definition\\sceneLineDefine.xml") == std::string::npos) {
    GTEST_SKIP() << "the sample production has no timeline yet";
  }
  const auto r = runCommand(testing_support::builtProgram("vesper-check") + " " + dir);
  EXPECT_EQ(r.exitStatus, 0) << r.stdOut << r.stdErr;
}

}  // namespace
