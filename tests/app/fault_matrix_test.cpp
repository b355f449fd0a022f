// The player on broken copies of a small production: each fault ends the run
// with its own exact message and exit status, within a time limit and
// without a crash or a sanitizer report (either would change both).
// A row names the fault and edits the production before the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/core.h"
#include "demo/show_production.h"
#include "files/files.h"
#include "support/support.h"
#include "texture/test_images.h"

namespace {

using testing_support::bytes;
using testing_support::runCommand;
using testing_support::TempDir;

// A production as the player finds it: the pack's entries, edits to the
// packed bytes, the music file and the run's extra environment.
struct Production {
  std::vector<PackSource> entries;
  bool packPresent = true;
  std::function<void(std::vector<uint8_t>&)> editPack;
  std::optional<std::vector<uint8_t>> music;
  std::string env;
};

void put32(std::vector<uint8_t>& data, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) data.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// Pack layout: 16-byte header (version at 8, entry count at 12), then
// 264-byte entries (name, offset at 256, size at 260).
constexpr size_t kFirstEntrySize = 16 + 260;

using show_testing::document;
using Bytes = std::vector<uint8_t>;

const char kTint[] =
    "float4x4 projMat; sampler2D srcCBuf0;\n"
    "void vs() { gl_Position = projMat * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; }\n"
    "void fs() { gl_FragColor = texture2D(srcCBuf0, gl_TexCoord[0].xy); }\n"
    "technique t { pass p { VertexProgram = compile vp vs(); FragmentProgram = compile fp fs(); } }\n";

// One picture of each format the custom textures take, by entry name; the
// GIF is read as a picture under a picture's name.
std::vector<PackSource> pictures() {
  using namespace test_images;
  const uint8_t rgb[4 * 4 * 3] = {200, 10, 10};
  const float hdr[2 * 2 * 3] = {1.0f, 0.5f, 0.25f};
  PngSpec png;
  png.width = png.height = 2;
  png.rows.assign(2 * 2 * 3, 99);
  return {{"data\\texture\\white.bmp", render_testing::solidBmp(255, 255, 255)},
          {"data\\texture\\t.jpg", stbJpeg(4, 4, rgb)},
          {"data\\texture\\g.bmp", gifBlueRed()},
          {"data\\texture\\t.png", writePng(png)},
          {"data\\texture\\t.tga", stbTga(4, 4, 3, rgb, true)},
          {"data\\texture\\t.dds", ddsCube(4, 4, 1)},
          {"data\\texture\\t.hdr", stbHdr(2, 2, hdr)}};
}

// The scene: a camera and a red square for its one second.
std::string scene(const char* dataNum = "1") {
  return show_testing::sceneFile({{"wall", 1.0f,
                                   std::string("Object 0 { CameraTrans 1 Visible 1 DataNum ") + dataNum +
                                       " Time { 0 } Part \"m\" { Position { 0 0 0 } Scale { 4 4 4 } } }\n"}},
                                 "0 \"data\\model\\red.mqo\"\n");
}

// A one-second show: a scene line, its scene file and model, a post effect,
// a custom texture of each format and the built-in effects.
std::vector<PackSource> show() {
  using show_testing::qdfEntry;
  using testing_support::bytes;
  std::vector<PackSource> files = pictures();
  std::string textures;
  for (size_t i = 0; i < files.size(); ++i) {
    textures += "<TextureEntry sampler=\"s" + std::to_string(i) + "\" path=\"" + files[i].name + "\"/>\n";
  }
  const std::vector<PackSource> rest = {
      {"data\\model\\red.bmdl", show_testing::facingSquare({1, 0, 0, 1})},
      {"data\\scene\\red.qdf", bytes(scene())},
      {"data\\shader\\tint.cgfx", bytes(kTint)},
      {"data\\shader\\probe.cgfx", bytes(render_testing::kProbeEffect)},
      {"data\\core\\shader\\defaultShader.cgfx",
       testing_support::sourceFile("production/data/core/shader/defaultShader.cgfx")},
      {"data\\definition\\postEffectDefine.xml",
       bytes(document("postEffectDefine",
                      "<PostEffectEntry shader=\"tint\" sTime=\"0\" eTime=\"1000\" "
                      "execPrio=\"0\" execPass=\"-1\" renderTarget=\"-1\"/>\n"))},
      {"data\\definition\\customTextureDefine.xml", bytes(document("shaderTextureDefine", textures))},
      {"data\\definition\\sceneLineDefine.xml",
       bytes(document("sceneLineDefine", show_testing::sceneLine("red", 0, 1000, 0)))},
      {"data\\definition\\qdfDefine.xml", bytes(document("qdfDefine", qdfEntry("red", "data\\scene\\red.qdf")))},
  };
  files.insert(files.end(), rest.begin(), rest.end());
  for (PackSource& f : show_testing::coreEffects()) files.push_back(std::move(f));
  return files;
}

// A RIFF WAVE of 16-bit stereo 44.1 kHz silence whose data chunk claims
// `claimed` bytes while `real` follow.
std::vector<uint8_t> wave(uint32_t claimed, uint32_t real) {
  std::vector<uint8_t> w(44 + real, 0);
  std::memcpy(&w[0], "RIFF", 4);
  put32(w, 4, 36 + claimed);
  std::memcpy(&w[8], "WAVEfmt ", 8);
  put32(w, 16, 16);
  put32(w, 20, 1 | 2u << 16);  // PCM, two channels
  put32(w, 24, 44100);
  put32(w, 28, 44100 * 4);
  put32(w, 32, 4 | 16u << 16);  // block of 4 bytes, 16 bits a sample
  std::memcpy(&w[36], "data", 4);
  put32(w, 40, claimed);
  return w;
}

// One second of music, made once.
const std::vector<uint8_t>& music() {
  static const std::vector<uint8_t> ogg = [] {
    TempDir dir;
    testing_support::writeFile(dir.file("score.txt"), bytes("tempo 120\n"
                                                            "instrument lead sine attack=0 release=0.02\n"
                                                            "pattern a lead C4 - - - E4 - - .\n"
                                                            "play a\n"));
    const auto r = runCommand(testing_support::builtProgram("musicgen") + " " + dir.file("score.txt") + " " +
                              dir.file("music.ogg"));
    EXPECT_EQ(r.exitStatus, 0) << r.stdErr;
    return testing_support::readFile(dir.file("music.ogg"));
  }();
  return ogg;
}

struct Fault {
  const char* name;
  std::function<void(Production&)> apply;
  int status;
  std::string stdErr;
  // What vesper-check reports on the same copy: null to skip it, "" for a
  // clean check, else a file its output names (with exit status 1).
  std::optional<std::string> checkNames = std::nullopt;
};

std::string line(const char* text) { return std::string(text) + "\n"; }

// The message box of a definition document that does not parse.
std::string xmlError(const char* document, const char* error, int column) {
  return std::string("XML Parsing error: XML Parsing error inside file '") + document + "'.\n" + error +
         "\nAt line 1, column " + std::to_string(column) + ".\n\n";
}
// A custom texture that does not decode.
std::string texture(const char* file, const char* reason) {
  return std::string("texture: data\\texture\\") + file + ": " + reason + "\n";
}
// The model's texture is also a custom texture: it fails twice, then the model.
std::string whiteBmp(const char* reason) {
  return texture("white.bmp", reason) + texture("white.bmp", reason) +
         "model: data\\model\\red.bmdl: material 0: data\\texture\\white.bmp did not load\n";
}

// A row's edit: the entry `name` gets `edit` applied to its bytes.
std::function<void(Production&)> entry(std::string name, std::function<void(Bytes&)> edit) {
  return [name, edit](Production& p) {
    for (PackSource& f : p.entries) {
      if (f.name == name) return edit(f.data);
    }
    ADD_FAILURE() << "no entry " << name;
  };
}
std::function<void(Production&)> replace(std::string name, const std::string& text) {
  return entry(std::move(name), [text](Bytes& d) { d = testing_support::bytes(text); });
}
void truncated(Bytes& d) { d.resize(d.size() / 2); }
// The bytes after the first eight inverted: the signature stays.
void corrupt(Bytes& d) {
  for (size_t i = 8; i < d.size(); ++i) d[i] = static_cast<uint8_t>(~d[i]);
}
// A row breaking one custom texture, which the player and the validator
// both name.
Fault picture(const char* name, const char* file, void (*edit)(Bytes&), const char* reason) {
  const std::string entryName = std::string("data\\texture\\") + file;
  return {name, entry(entryName, edit), 0, texture(file, reason), entryName};
}

// A track no decoder takes: the player's message box (on stderr with an
// empty caption), then the one-line reason.
const std::string kUnreadableMusic =
    ": Sound::music.ogg\u306e\u8aad\u307f\u53d6\u308a\u30a4\u30f3\u30bf\u30fc\u30d5\u30a7\u30a4\u30b9"
    "\u53d6\u5f97\u306b\u5931\u6557.\n"
    "\u30d5\u30a1\u30a4\u30eb\u304c\u5b58\u5728\u3059\u308b\u304b\u3082\u3057\u304f\u306f\u5bfe"
    "\u5fdc\u5f62\u5f0f\u304b\u78ba\u8a8d\u3057\u3066\u4e0b\u3055\u3044.\n"
    "vesper: music.ogg is missing or neither RIFF WAVE nor Ogg Vorbis\n";

const char kLines[] = "data\\definition\\sceneLineDefine.xml";
const char kQdfs[] = "data\\definition\\qdfDefine.xml";
const char kPosts[] = "data\\definition\\postEffectDefine.xml";
const char kTextures[] = "data\\definition\\customTextureDefine.xml";
const char kDummy[] = "data\\core\\shader\\dummyShader.cgfx";

TEST(FaultMatrix, EachFaultEndsWithItsMessageAndStatus) {
  ASSERT_FALSE(music().empty());
  const std::vector<Fault> faults = {
      {"none", [](Production&) {}, 0, "", ""},
      {"pack missing", [](Production& p) { p.packPresent = false; }, 3, line(critical::kPackOpen)},
      {"pack header truncated", [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { d.resize(6); }; }, 3,
       line(critical::kPackHeader)},
      {"pack of another version", [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, 8, 2); }; },
       3, line(critical::kPackVersion)},
      {"pack table beyond the file",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, 12, 1000); }; }, 3,
       line(critical::kPackEntries)},
      // The first entry is white.bmp: its bytes are read up to the pack's end
      // and decode; a size past 2 GiB reads nothing.
      {"pack entry beyond the file",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, kFirstEntrySize, 1u << 30); }; }, 0, ""},
      {"pack entry of 4 GiB",
       [](Production& p) { p.editPack = [](std::vector<uint8_t>& d) { put32(d, kFirstEntrySize, ~0u); }; }, 0,
       whiteBmp("not a BMP, JPEG or GIF picture")},
      {"music missing", [](Production& p) { p.music.reset(); }, 1, kUnreadableMusic},
      {"music truncated", [](Production& p) { p.music->resize(p.music->size() / 2); }, 1, kUnreadableMusic},
      {"music a WAVE with a lying chunk size", [](Production& p) { p.music = wave(1u << 30, 44100); }, 1,
       kUnreadableMusic},
      {"no audio device", [](Production& p) { p.env = "SDL_AUDIODRIVER=none"; }, 1,
       "vesper: no sound device (Audio target 'none' not available); set SDL_AUDIODRIVER=dummy to play "
       "without sound\n"},
      {"no OpenGL 2.0", [](Production& p) { p.env = "MESA_GL_VERSION_OVERRIDE=1.5"; }, 3, line(critical::kNoOpenGL20)},
      {"sceneLineDefine malformed", replace(kLines, "<QXDataXml name=\"sceneLineDefine\"><SceneLineEntry"), 0,
       xmlError(kLines, "Error: Unexpected token found", 50), kLines},
      // A root "name" of another kind: the player's reader gives up without a
      // word, the validator names the document.
      {"sceneLineDefine wrong root", replace(kLines, document("other", "")), 0, "", kLines},
      {"sceneLineDefine root element misnamed", replace(kLines, "<Other name=\"sceneLineDefine\"/>"), 0,
       "XML Parsing error: XML Parsing error inside file 'data\\definition\\sceneLineDefine.xml'.\n"
       "Error: First Tag not found\nAt line 0, column 0.\nFirst Tag should be 'QXDataXml'.\n\n",
       kLines},
      {"qdfDefine malformed", replace(kQdfs, "<QXDataXml name=\"qdfDefine\"><"), 0,
       xmlError(kQdfs, "Error: Missing start tag name", 30), kQdfs},
      {"qdfDefine wrong root", replace(kQdfs, document("other", "")), 0, "", kQdfs},
      {"postEffectDefine malformed", replace(kPosts, "<QXDataXml name=\"postEffectDefine\">"), 0,
       xmlError(kPosts, "Warning: Unmatched end tag", 36), kPosts},
      {"postEffectDefine wrong root", replace(kPosts, document("other", "")), 0, "", kPosts},
      {"customTextureDefine malformed", replace(kTextures, "<QXDataXml name=\"shaderTextureDefine\"></Q>"), 0,
       xmlError(kTextures, "Error: Unmatched end tag", 39), kTextures},
      {"customTextureDefine wrong root", replace(kTextures, document("other", "")), 0, "", kTextures},
      {"model faces past its vertices",
       entry("data\\model\\red.bmdl",
             [](Bytes& d) {
               MqoModel m;
               m.materials.push_back(render_testing::material({1, 0, 0, 1}));
               m.objects.push_back(render_testing::rectangle("m", 0, 0, 0, 0, 0.25f, 0.25f));
               m.objects.back().faces[0].index[1] = 1000;
               d = writeBinaryModel(m);
             }),
       0, "model: data\\model\\red.bmdl: object 0: face 0: vertex index 1000 >= vertex count 4\n",
       "data\\model\\red.bmdl"},
      {"scene keys past its text", replace("data\\scene\\red.qdf", scene("100000")), 0,
       "qdf: data\\scene\\red.qdf:11: DataNum 100000 larger than the text can hold, the object's keys are skipped\n",
       "data\\scene\\red.qdf:11"},
      {"bmp truncated", entry("data\\texture\\white.bmp", truncated), 0, whiteBmp("BMP header is truncated"),
       "data\\texture\\white.bmp"},
      {"bmp corrupt", entry("data\\texture\\white.bmp", corrupt), 0, whiteBmp("unsupported BMP header"),
       "data\\texture\\white.bmp"},
      picture("jpg truncated", "t.jpg", truncated, "Bogus Huffman table definition"),
      picture("jpg corrupt", "t.jpg", corrupt, "Unsupported marker type 0x7b"),
      picture("gif truncated", "g.bmp", truncated, "No screen descriptor detected"),
      picture("gif corrupt", "g.bmp", corrupt, "picture size out of range"),
      picture("png truncated", "t.png", truncated, "file is truncated"),
      picture("png corrupt", "t.png", corrupt, "PNG unsigned integer out of range"),
      picture("tga truncated", "t.tga", truncated, "image size does not fit the file"),
      picture("tga corrupt", "t.tga", corrupt,
              "not an uncompressed or run-length truecolour TGA without ID or colour map"),
      picture("dds truncated", "t.dds", truncated, "file is shorter than the DDS header"),
      picture("dds corrupt", "t.dds", corrupt, "not a DXT1 cube map with six faces and mip-maps"),
      picture("hdr truncated", "t.hdr", truncated, "header has no end"),
      picture("hdr corrupt", "t.hdr", corrupt, "header has no end"),
      {"effect syntax error", replace("data\\shader\\tint.cgfx", "technique t { pass p {"), 0,
       "shader: data\\shader\\tint.cgfx:1: expected a state name\n", "data\\shader\\tint.cgfx"},
      // The fallback is loaded only when an effect needs it.
      {"dummy effect broken", replace(kDummy, "technique"), 0, "", kDummy},
      {"dummy effect broken and needed",
       [](Production& p) {
         replace(kDummy, "technique")(p);
         replace("data\\shader\\tint.cgfx", "technique t { pass p {")(p);
       },
       3,
       "shader: data\\shader\\tint.cgfx:1: expected a state name\n"
       "shader: data\\core\\shader\\dummyShader.cgfx:1: expected '{'\n" +
           line(critical::kDummyShader) + "  entry: " + kDummy + "\n",
       kDummy},
  };
  // Memory is bounded too: a lying size must not turn into a huge allocation.
  // Each heap request is bounded, not the process, whose software GL driver
  // needs more the further its threads fall behind. (Not under ASan, whose
  // run-time must come first and does the allocating itself.)
  std::string cap;
  if (!std::getenv("ASAN_OPTIONS")) {
    cap = std::string("LD_PRELOAD=\"") + VESPER_TEST_ALLOCATION_CAP + "${LD_PRELOAD:+:$LD_PRELOAD}\" ";
    const auto big = runCommand("env " + cap + "perl -e '$x = \"x\" x (300 << 20)'");
    ASSERT_NE(big.stdErr.find("Out of memory"), std::string::npos) << "a 300 MiB request got through";
  }
  // Each row's copy holds its run script; the runs go eight at a time, as
  // most of a run is waiting on the show's clock.
  std::deque<TempDir> dirs;
  std::string list;
  for (const Fault& fault : faults) {
    Production p;
    p.entries = show();
    p.music = music();
    fault.apply(p);

    const TempDir& dir = dirs.emplace_back();
    if (p.packPresent) {
      testing_support::makePack(dir.file("vesper.pak"), p.entries);
      if (p.editPack) {
        std::vector<uint8_t> pack = testing_support::readFile(dir.file("vesper.pak"));
        p.editPack(pack);
        testing_support::writeFile(dir.file("vesper.pak"), pack);
      }
    }
    if (p.music) testing_support::writeFile(dir.file("music.ogg"), *p.music);
    // A hang is killed and shows as status 137.
    const std::string at = "'" + dir.path() + "'";
    std::string script = "env -u DISPLAY -u WAYLAND_DISPLAY " + cap + "SDL_AUDIODRIVER=dummy " + p.env +
                         " timeout -s KILL 120 " + testing_support::builtProgram("vesper") +
                         " --run --headless --windowed --resolution 320x180 --data " + at + " >/dev/null 2>" + at +
                         "/err; echo $? >" + at + "/status\n";
    if (fault.checkNames) {
      script += "env -u DISPLAY -u WAYLAND_DISPLAY " + cap + "timeout -s KILL 120 " +
                testing_support::builtProgram("vesper-check") + " " + at + " >" + at + "/check 2>&1; echo $? >" + at +
                "/checkStatus\n";
    }
    testing_support::writeFile(dir.file("run.sh"), testing_support::bytes(script));
    list += dir.file("run.sh") + "\n";
  }
  testing_support::writeFile(dirs.front().file("list"), testing_support::bytes(list));
  const auto all = runCommand("xargs -P 8 -n 1 sh <'" + dirs.front().file("list") + "'");
  ASSERT_EQ(all.exitStatus, 0) << all.stdErr;

  const auto text = [](const std::string& path) {
    const std::vector<uint8_t> b = testing_support::readFile(path);
    return std::string(b.begin(), b.end());
  };
  for (size_t i = 0; i < faults.size(); ++i) {
    const Fault& fault = faults[i];
    SCOPED_TRACE(fault.name);
    EXPECT_EQ(std::atoi(text(dirs[i].file("status")).c_str()), fault.status);
    EXPECT_EQ(text(dirs[i].file("err")), fault.stdErr);
    if (!fault.checkNames) continue;
    const std::string named = *fault.checkNames, check = text(dirs[i].file("check"));
    EXPECT_EQ(std::atoi(text(dirs[i].file("checkStatus")).c_str()), named.empty() ? 0 : 1) << check;
    if (!named.empty()) {
      EXPECT_NE(check.find(named + ": "), std::string::npos) << check;
    }
  }
}

}  // namespace
