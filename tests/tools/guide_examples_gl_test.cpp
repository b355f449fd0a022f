// The production guide's examples, each through the reader the engine or its
// tool uses for it: scene files through parseQdfText (with the guide's own
// models), definition documents through the definition readers, models
// through parseMqoText, scores through musicgen's parser and effects through
// the compiler vesper-effectc uses. A block followed by a `message` block
// must make its reader report exactly those lines; any other block must be
// read without a word. Every fenced block carries a kind this test knows,
// so a misspelt tag fails instead of skipping its example. The blocks that
// name their place in a source folder make one production together, which
// vesper-check must pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "demo/definitions.h"
#include "effect_compile.h"
#include "formats/formats.h"
#include "model/model.h"
#include "model/mqo_text.h"
#include "musicgen/score.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "texture/texture.h"
#include "xml/xml.h"

namespace {

struct Block {
  int line = 0;  // of the opening fence
  std::string kind;
  std::string subject;  // the word after the kind, if any
  bool error = false;   // tagged "error": the reader must report something
  std::string text;
  bool hasMessage = false;
  std::string message;  // the lines the reader reports, each ending in '\n'
};

// Kinds whose blocks are read by a reader; `sh` and `text` are prose.
const char* const kCheckedKinds[] = {"qdf", "xml", "mqo", "cgfx", "score"};
const char* const kProseKinds[] = {"sh", "text"};
const char* const kDefinitionSubjects[] = {"sceneLineDefine", "qdfDefine", "postEffectDefine",
                                           "customTextureDefine"};

template <size_t N>
bool isOneOf(const std::string& word, const char* const (&words)[N]) {
  return std::any_of(std::begin(words), std::end(words), [&](const char* w) { return word == w; });
}

// The fenced blocks of the guide, with each problem of the fences themselves
// (untagged or unknown kinds, stray messages) in `problems`.
std::vector<Block> readBlocks(const std::string& guide, std::vector<std::string>& problems) {
  std::vector<Block> blocks;
  std::istringstream in(guide);
  std::string line;
  int number = 0;
  Block* open = nullptr;
  Block message;
  bool inMessage = false;
  while (std::getline(in, line)) {
    ++number;
    const bool fence = line.rfind("```", 0) == 0;
    if (inMessage) {
      if (fence) {
        inMessage = false;
        if (blocks.empty() || blocks.back().hasMessage || isOneOf(blocks.back().kind, kProseKinds)) {
          problems.push_back("line " + std::to_string(message.line) + ": a message block follows no example");
        } else {
          blocks.back().hasMessage = true;
          blocks.back().message = message.text;
        }
      } else {
        message.text += line + "\n";
      }
      continue;
    }
    if (open) {
      if (fence) {
        open = nullptr;
      } else {
        open->text += line + "\n";
      }
      continue;
    }
    if (!fence) continue;
    std::istringstream info(line.substr(3));
    Block b;
    b.line = number;
    info >> b.kind;
    std::string word;
    while (info >> word) {
      if (word == "error") {
        b.error = true;
      } else if (b.subject.empty()) {
        b.subject = word;
      } else {
        problems.push_back("line " + std::to_string(number) + ": unknown word \"" + word + "\" in the tag");
      }
    }
    if (b.kind == "message") {
      message = b;
      inMessage = true;
      continue;
    }
    if (!isOneOf(b.kind, kCheckedKinds) && !isOneOf(b.kind, kProseKinds)) {
      problems.push_back("line " + std::to_string(number) + ": unknown kind \"" + b.kind + "\"");
    }
    if (b.kind == "xml" && !isOneOf(b.subject, kDefinitionSubjects)) {
      problems.push_back("line " + std::to_string(number) + ": xml block names no definition document");
    }
    blocks.push_back(b);
    open = &blocks.back();
  }
  if (open || inMessage) problems.push_back("the guide ends inside a fenced block");
  return blocks;
}

const std::vector<Block>& guideBlocks(std::vector<std::string>* fenceProblems = nullptr) {
  static std::vector<std::string> problems;
  static const std::vector<Block> blocks = [] {
    const std::vector<uint8_t> bytes = testing_support::sourceFile("docs/production-guide.md");
    return readBlocks(std::string(bytes.begin(), bytes.end()), problems);
  }();
  if (fenceProblems) *fenceProblems = problems;
  return blocks;
}

std::string withSeparators(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// The models of the guide's `mqo` blocks that name their source path, by the
// pack entry a scene file's model line reads.
std::map<std::string, MqoModel> guideModels() {
  std::map<std::string, MqoModel> models;
  for (const Block& b : guideBlocks()) {
    if (b.kind != "mqo" || b.subject.empty() || b.error) continue;
    MqoModel m;
    std::string error;
    int errorLine = 0;
    if (parseMqoText(b.text.data(), b.text.size(), m, error, errorLine)) {
      models[resourceEntryName(withSeparators(b.subject).c_str())] = std::move(m);
    }
  }
  return models;
}

// What each reader reports for a block, one line per problem.
std::string readQdf(const Block& b) {
  static const std::map<std::string, MqoModel> models = guideModels();
  std::string out;
  QdfData data;
  const QdfModelLoader loader = [&](const std::string& name) -> resMQO* {
    const auto it = models.find(resourceEntryName(name.c_str()));
    if (it == models.end()) {
      out += "test: no mqo block of the guide is " + name + "\n";
      return nullptr;
    }
    return resMQO::holdingModelOnly(std::make_unique<MqoModel>(it->second));
  };
  std::vector<QdfProblem> problems;
  parseQdfText(b.text.data(), b.text.size(), data, loader, QdfProgress(), &problems);
  releaseQdfModels(data);
  for (const QdfProblem& p : problems) out += std::to_string(p.line) + ": " + p.reason + "\n";
  if (data.scenes.empty()) out += "test: no scene\n";
  return out;
}

std::string readDefinition(const Block& b) {
  XmlNode::setEncoding(XmlNode::guessEncoding(b.text.c_str(), std::min<size_t>(b.text.size(), 200)));
  XmlResults results;
  const XmlNode root = XmlNode::parseText(b.text.c_str(), kDefinitionRoot, results);
  if (results.code != XmlError::None) {
    return std::to_string(results.line) + ":" + std::to_string(results.column) + ": " +
           XmlNode::errorMessage(results.code) + "\n";
  }
  std::vector<DefinitionProblem> problems;
  bool ok = false;
  size_t records = 0;
  if (b.subject == "sceneLineDefine") {
    std::vector<SceneLineRecord> out;
    ok = readSceneLines(root, out, problems);
    records = out.size();
  } else if (b.subject == "qdfDefine") {
    std::vector<QdfEntryRecord> out;
    ok = readQdfEntries(root, out, problems);
    records = out.size();
  } else if (b.subject == "postEffectDefine") {
    std::vector<PostEffectRecord> out;
    ok = readPostEffects(root, out, problems);
    records = out.size();
  } else {
    std::vector<CustomTextureRecord> out;
    ok = readCustomTextures(root, out, problems);
    records = out.size();
  }
  if (!ok) return "the root's name is not " + b.subject + "\n";
  std::string out;
  for (const DefinitionProblem& p : problems) {
    out += p.entry + ": " + (p.warning ? "warning: " : "") + p.reason + "\n";
  }
  if (records == 0 && problems.empty()) out += "test: no entry\n";
  return out;
}

std::string readMqo(const Block& b) {
  MqoModel m;
  std::string error;
  int errorLine = 0;
  std::vector<MqoNote> notes;
  const bool ok = parseMqoText(b.text.data(), b.text.size(), m, error, errorLine, {}, &notes);
  std::string out;
  for (const MqoNote& n : notes) out += (n.line > 0 ? std::to_string(n.line) + ": " : "") + n.text + "\n";
  if (!ok) out += std::to_string(errorLine) + ": " + error + "\n";
  return out;
}

std::string readScore(const Block& b) {
  std::istringstream in(b.text);
  try {
    musicgen::parseScore(in);
  } catch (const musicgen::ParseError& e) {
    return std::to_string(e.line) + ": " + e.reason + "\n";
  }
  return "";
}

std::string readEffect(const Block& b) {
  const CompiledEffect compiled = compileEffect(b.text, "guide");
  if (!compiled.effect) return compiled.parseError + "\n";
  return compiled.diagnostics + (compiled.valid ? "" : "no valid technique\n");
}

void expectReport(const Block& b, const std::string& reported) {
  SCOPED_TRACE("docs/production-guide.md:" + std::to_string(b.line) + ": " + b.kind + " block");
  if (b.error) {
    EXPECT_TRUE(b.hasMessage) << "an error example shows the message it gives";
    EXPECT_NE(reported, "") << "the example is meant to be refused";
  }
  EXPECT_EQ(reported, b.message);
}

TEST(GuideExamples, EveryBlockHasAKnownKindAndEachCheckedKindOccurs) {
  std::vector<std::string> problems;
  const std::vector<Block>& blocks = guideBlocks(&problems);
  for (const std::string& p : problems) ADD_FAILURE() << "docs/production-guide.md: " << p;
  for (const char* kind : kCheckedKinds) {
    const bool present = std::any_of(blocks.begin(), blocks.end(), [&](const Block& b) { return b.kind == kind; });
    EXPECT_TRUE(present) << "no " << kind << " example";
  }
  for (const char* subject : kDefinitionSubjects) {
    const bool present =
        std::any_of(blocks.begin(), blocks.end(), [&](const Block& b) { return b.subject == subject; });
    EXPECT_TRUE(present) << "no " << subject << " example";
  }
}

TEST(GuideExamples, ReadersReportExactlyWhatTheGuideShows) {
  for (const Block& b : guideBlocks()) {
    if (b.kind == "qdf") expectReport(b, readQdf(b));
    if (b.kind == "xml") expectReport(b, readDefinition(b));
    if (b.kind == "mqo") expectReport(b, readMqo(b));
    if (b.kind == "score") expectReport(b, readScore(b));
  }
}

TEST(GuideExamples, EffectsCompileAsTheEffectCheckerCompilesThem) {
  std::string error;
  const auto gl = openEffectContext(error);
  if (!gl) SKIP_WITHOUT_DISPLAY(error);
  for (const Block& b : guideBlocks()) {
    if (b.kind == "cgfx") expectReport(b, readEffect(b));
  }
}

// A 1 x 1 white 24-bit BMP, for the default texture.
std::vector<uint8_t> whiteBmp() {
  std::vector<uint8_t> b = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                            1,   0,   24, 0, 0, 0, 0, 0, 4, 0, 0,  0, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0,   0,   0,  0, 0xFF, 0xFF, 0xFF, 0};
  return b;
}

std::vector<uint8_t> greyPng(const testing_support::TempDir& dir) {
  const uint8_t pixels[2 * 2 * 4] = {90, 90, 90, 255, 160, 160, 160, 255, 160, 160, 160, 255, 90, 90, 90, 255};
  PngImage image;
  image.pixels = pixels;
  image.width = image.height = 2;
  image.stride = 8;
  std::string reason;
  EXPECT_TRUE(writePngFile(dir.file("grey.png").c_str(), image, reason)) << reason;
  return testing_support::readFile(dir.file("grey.png"));
}

TEST(GuideExamples, TheExamplesMakeAProductionVesperCheckPasses) {
  testing_support::TempDir dir;
  std::vector<PackSource> files;
  for (const Block& b : guideBlocks()) {
    if (b.subject.empty() || b.error || isOneOf(b.kind, kProseKinds)) continue;
    const std::string entry = withSeparators(b.subject);
    if (b.kind == "xml") {
      files.push_back({"data\\definition\\" + b.subject + ".xml", testing_support::bytes(b.text)});
    } else if (b.kind == "mqo") {
      MqoModel m;
      std::string error;
      int errorLine = 0;
      ASSERT_TRUE(parseMqoText(b.text.data(), b.text.size(), m, error, errorLine)) << error;
      files.push_back({resourceEntryName(entry.c_str()), writeBinaryModel(m)});
    } else if (b.kind == "score") {
      testing_support::writeFile(dir.file("score.txt"), testing_support::bytes(b.text));
    } else {
      files.push_back({entry, testing_support::bytes(b.text)});
    }
  }
  for (const char* core : {"dummyShader", "defaultShader", "finalScreenShader", "nullPostEffect", "msaa"}) {
    files.push_back({std::string("data\\core\\shader\\") + core + ".cgfx",
                     testing_support::sourceFile(std::string("production/data/core/shader/") + core + ".cgfx")});
  }
  files.push_back({"data\\core\\texture\\defaultTexture.bmp", whiteBmp()});
  // The pictures the examples name.
  for (const char* picture : {"data\\texture\\wood.png", "data\\texture\\noise.png"}) {
    files.push_back({picture, greyPng(dir)});
  }
  testing_support::makePack(dir.file("vesper.pak"), files);
  const auto music = testing_support::runCommand(testing_support::builtProgram("musicgen") + " " +
                                                 dir.file("score.txt") + " " + dir.file("music.ogg"));
  ASSERT_EQ(music.exitStatus, 0) << music.stdErr;
  const auto check = testing_support::runCommand(testing_support::builtProgram("vesper-check") + " " + dir.path());
  EXPECT_EQ(check.exitStatus, 0) << check.stdErr;
  EXPECT_EQ(check.stdOut, "");
}

}  // namespace
