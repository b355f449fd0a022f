// The checks that need no GL: the pack, the definition documents, the scene
// files with their models, the textures and the scene classes. Each one
// follows what the engine would load, so that every name it would fail on
// (most of them a critical error at run time) is reported here instead.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "check/check.h"
#include "core/core.h"
#include "demo/definitions.h"
#include "files/files.h"
#include "formats/formats.h"
#include "model/model.h"
#include "resources/resources.h"
#include "texture/decode.h"
#include "xml/xml.h"

namespace check {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string extensionOf(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower(name.substr(dot + 1));
}

// Case and separators folded, for near misses of entry names.
std::string folded(const std::string& name) {
  std::string s = lower(name);
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

constexpr char kSceneClassPrefix[] = "CSceneQdf_";

// What the scene classes load in their setup, beyond the scene file.
struct ClassResources {
  const char* className;
  std::vector<const char*> effects;
  std::vector<const char*> textures;
};

const std::vector<ClassResources>& sceneClassResources() {
  static const char* const kPointSprite = "data\\shader\\pointspriteShader.cgfx";
  static const char* const kCloud = "data\\shader\\particleCloudShader.cgfx";
  static const std::vector<const char*> kFeathers = {"data\\texture\\mhane1a.png", "data\\texture\\mhane2a.png",
                                                     "data\\texture\\mhane3a.png", "data\\texture\\mhane4a.png"};
  static const std::vector<ClassResources> kTable = {
      {"CSceneQdf_skyhand1", {kPointSprite}, kFeathers},
      {"CSceneQdf_hanescene3", {kPointSprite}, kFeathers},
      {"CSceneQdf_hanescene1", {kCloud}, kFeathers},
      {"CSceneQdf_hanescene4", {kCloud}, kFeathers},
      {"CSceneQdf_lightball",
       {kCloud},
       {"data\\texture\\light1.png", "data\\texture\\light2.png", "data\\texture\\light3.png"}},
      {"CSceneQdf_metaball",
       {"data\\shader\\MetaballShader.cgfx"},
       {"data\\texture\\metaback.jpg", "data\\texture\\moricube.dds"}},
  };
  return kTable;
}

// The definition documents in the order the show reads them (the XML
// encoding guess carries over from one to the next).
struct Document {
  const char* path;
  const char* rootName;  // what the root's "name" must begin with
};
const Document kPostEffects{kPostEffectDefinePath, "postEffectDefine"};
const Document kCustomTextures{kCustomTextureDefinePath, "shaderTextureDefine"};
const Document kTimeline{kSceneLineDefinePath, "sceneLineDefine"};
const Document kSceneFiles{kQdfDefinePath, "qdfDefine"};

class ContentCheck {
 public:
  ContentCheck(const Pack& pack, Report& report, Needs& needs) : mPack(pack), mReport(report), mNeeds(needs) {}

  void run() {
    for (const Problem& p : mPack.tableProblems()) {
      if (p.warning) {
        mReport.warning(p.file, p.reason);
      } else {
        mReport.error(p.file, p.reason);
      }
    }
    readDefinitions();
    checkTimeline();
    for (const char* core : {"data\\core\\shader\\dummyShader.cgfx", "data\\core\\shader\\defaultShader.cgfx",
                             "data\\core\\shader\\nullPostEffect.cgfx"}) {
      requireEffect(core, {"", "", "", 1});
    }
    requireEffect("data\\core\\shader\\finalScreenShader.cgfx", {"", "", "", 2});
    requireEffect("data\\core\\shader\\msaa.cgfx", {"", "", "", 3});
    checkPostEffects();
    checkCustomTextures();
    checkSceneFiles();
    checkUnusedModels();
    checkTextures();
  }

 private:
  // --- Names the show loads -------------------------------------------------

  // False, with the problem reported at `file`, when `name` is not a
  // loadable entry.
  bool present(const std::string& name, const std::string& file, const std::string& where) {
    const std::vector<uint8_t>* bytes = mPack.find(name);
    if (!bytes) {
      mReport.error(file, where + mPack.missing(name));
      return false;
    }
    if (bytes->empty()) {
      mReport.error(file, where + quoted(name) + " is empty; it loads as nothing");
      return false;
    }
    return true;
  }

  void requireTexture(const std::string& name, const std::string& file, const std::string& where) {
    if (!isTextureName(name)) {
      mReport.error(file, where + quoted(name) + " is not a texture format the player reads");
      return;
    }
    present(name, file, where);
  }

  // The effect `name`, asked for with requirement `r` (its file, where and
  // what must hold); missing ones are reported at r.file.
  void requireEffect(const std::string& name, EffectRequirement r) {
    if (r.file.empty()) r.file = name;
    if (!isEffectName(name)) {
      mReport.error(r.file, r.where + quoted(name) + " is not an effect file");
      return;
    }
    if (!present(name, r.file, r.where)) return;
    std::vector<EffectRequirement>& list = mNeeds.effects[name];
    if (!r.param.empty() || r.passes > 0) list.push_back(std::move(r));
  }

  // --- Definition documents ---------------------------------------------------

  // The parsed root, or the empty node when the document is absent or broken
  // (a broken one is reported). `isPresent` tells which.
  XmlNode parse(const Document& doc, bool& isPresent) {
    const std::vector<uint8_t>* bytes = mPack.find(doc.path);
    isPresent = bytes != nullptr;
    if (!bytes) return XmlNode();
    // The text ends at its first NUL, as the show reads it.
    std::string text(bytes->begin(), bytes->end());
    text.resize(std::strlen(text.c_str()));
    const int guess = XmlNode::guessEncoding(text.c_str(), std::min<size_t>(text.size(), 200));
    XmlNode::setEncoding(guess);
    XmlResults results;
    XmlNode root = XmlNode::parseText(text.c_str(), kDefinitionRoot, results);
    if (results.code != XmlError::None) {
      std::string reason = std::string(XmlNode::errorMessage(results.code));
      if (results.code == XmlError::FirstTagNotFound) {
        reason += std::string(" (the first tag should be '") + kDefinitionRoot + "')";
      } else {
        reason = "line " + std::to_string(results.line) + ", column " + std::to_string(results.column) + ": " + reason;
      }
      mReport.error(doc.path, reason + "; the show ignores the document");
      return XmlNode();
    }
    return root;
  }

  template <class Record>
  void read(const Document& doc, bool (*reader)(const XmlNode&, std::vector<Record>&, std::vector<DefinitionProblem>&),
            std::vector<Record>& out, bool& isPresent) {
    const XmlNode root = parse(doc, isPresent);
    if (root.isEmpty()) return;
    std::vector<DefinitionProblem> problems;
    if (!reader(root, out, problems)) {
      mReport.error(doc.path, std::string("the root's \"name\" does not begin with \"") + doc.rootName +
                                  "\"; the show ignores the document");
      return;
    }
    for (const DefinitionProblem& p : problems) {
      const std::string reason = p.entry + ": " + p.reason;
      if (p.warning) {
        mReport.warning(doc.path, reason);
      } else {
        mReport.error(doc.path, reason);
      }
    }
  }

  void readDefinitions() {
    bool isPresent = false;
    read(kPostEffects, readPostEffects, mPostEffects, isPresent);
    read(kCustomTextures, readCustomTextures, mCustomTextures, isPresent);
    read(kTimeline, readSceneLines, mLines, mHasTimeline);
    read(kSceneFiles, readQdfEntries, mQdfEntries, isPresent);
  }

  // --- Timeline and scene-file list -------------------------------------------

  static std::string lineLabel(const SceneLineRecord& l) {
    return "SceneLineEntry qdfId " + quoted(l.qdfId) + " (line " + std::to_string(l.line) + ", " +
           std::to_string(l.sTime) + "-" + std::to_string(l.eTime) + " ms): ";
  }

  void checkTimeline() {
    if (!mHasTimeline) {
      mReport.error(kTimeline.path, "no timeline: the pack holds no such entry");
      return;
    }
    if (mLines.empty()) {
      mReport.error(kTimeline.path, "no timeline: no usable SceneLineEntry");
      return;
    }
    mNeeds.hasTimeline = true;
    for (const SceneLineRecord& l : mLines) {
      if (l.eTime >= mNeeds.lastETime) {
        mNeeds.lastETime = l.eTime;
        mNeeds.lastETimeEntry = lineLabel(l);
      }
      if (l.eTime < l.sTime) mReport.warning(kTimeline.path, lineLabel(l) + "eTime is before sTime; never shown");
      if (l.shader != "default") requireEffect(shaderPathOf(l.shader), {kTimeline.path, lineLabel(l), "", 1});
      if (!findQdfEntry(mQdfEntries, l.qdfId)) {
        mReport.error(kTimeline.path, lineLabel(l) + "no QdfEntry has this id; the line plays nothing");
      }
    }
    for (const QdfEntryRecord& e : mQdfEntries) {
      const bool named =
          std::any_of(mLines.begin(), mLines.end(), [&](const SceneLineRecord& l) { return l.qdfId == e.id; });
      const std::string label = "QdfEntry " + quoted(e.id) + ": ";
      if (!named) {
        mReport.warning(kSceneFiles.path, label + "no timeline entry plays it");
      } else if (findQdfEntry(mQdfEntries, e.id) != &e) {
        mReport.warning(kSceneFiles.path, label + "a later QdfEntry with the same id is played instead");
      } else if (present(e.path, kSceneFiles.path, label)) {
        if (extensionOf(e.path) != "qdf") {
          mReport.error(kSceneFiles.path, label + quoted(e.path) + " is not a scene file (.qdf)");
        } else {
          mSceneFiles.insert(e.path);
        }
      }
    }
  }

  // --- Post effects and custom textures ---------------------------------------

  void checkPostEffects() {
    for (const PostEffectRecord& r : mPostEffects) {
      const std::string label = "PostEffectEntry " + quoted(r.shader) + " (" + std::to_string(r.sTime) + "-" +
                                std::to_string(r.eTime) + " ms): ";
      const std::string path = shaderPathOf(r.shader);
      requireEffect(path, {kPostEffects.path, label, "", r.execPass >= 0 ? r.execPass + 1 : 1});
      for (const PostEffectConstant& c : r.constants) requireEffect(path, {kPostEffects.path, label, c.param, 0});
      for (const PostEffectSource& s : r.sources) requireEffect(path, {kPostEffects.path, label, s.param, 0});
      if (r.eTime < r.sTime) mReport.warning(kPostEffects.path, label + "eTime is before sTime; never active");
    }
  }

  void checkCustomTextures() {
    for (const CustomTextureRecord& r : mCustomTextures) {
      const std::string label = "TextureEntry " + quoted(r.sampler) + ": ";
      requireTexture(r.path, kCustomTextures.path, label);
      mNeeds.samplers.emplace(r.sampler, label);
    }
  }

  // --- Models -------------------------------------------------------------------

  // The parsed model of a .bmdl entry, or null when it does not parse
  // (reported once, at the model).
  const MqoModel* model(const std::string& entry) {
    const auto it = mModels.find(entry);
    if (it != mModels.end()) return it->second.get();
    const std::vector<uint8_t>* bytes = mPack.find(entry);
    auto parsed = std::make_unique<MqoModel>();
    std::string reason;
    if (!parseBinaryModel(bytes->data(), bytes->size(), *parsed, reason)) {
      mReport.error(entry, reason);
      parsed.reset();
    }
    return (mModels[entry] = std::move(parsed)).get();
  }

  // The material resources resMQO loads, each of which must load.
  void checkMaterials(const std::string& entry, const MqoModel& m) {
    for (size_t i = 0; i < m.materials.size(); ++i) {
      const MqoMaterial& mat = m.materials[i];
      const std::string where = "material " + std::to_string(i) + ": ";
      const auto orDefault = [](const std::string& s, const char* fallback) { return s.empty() ? fallback : s; };
      requireTexture(resourceEntryName(orDefault(mat.texturePath, kDefaultModelTexture).c_str()), entry, where);
      requireTexture(resourceEntryName(orDefault(mat.secondTexturePath, kDefaultModelTexture).c_str()), entry, where);
      requireEffect(resourceEntryName(orDefault(mat.effectPath, kDefaultModelEffect).c_str()), {entry, where, "", 1});
    }
  }

  // A model line of a scene file: the model as the show would load it, or
  // null when it would not (reported).
  resMQO* loadModel(const std::string& sceneFile, const std::string& name) {
    const std::string entry = resourceEntryName(name.c_str());
    const std::string where = "model " + quoted(name) + ": ";
    if (extensionOf(entry) != "bmdl") {
      mReport.error(sceneFile, where + "not a model (.mqo or .bmdl)");
      return nullptr;
    }
    if (!present(entry, sceneFile, where)) return nullptr;
    const MqoModel* m = model(entry);
    if (!m) return nullptr;
    if (mCheckedModels.insert(entry).second) checkMaterials(entry, *m);
    return resMQO::holdingModelOnly(std::make_unique<MqoModel>(*m));
  }

  void checkUnusedModels() {
    for (const std::string& name : mPack.names()) {
      if (extensionOf(name) == "bmdl" && !mModels.count(name)) model(name);
    }
  }

  // --- Scene files --------------------------------------------------------------

  void checkSceneFiles() {
    for (const std::string& path : mSceneFiles) {
      const std::vector<uint8_t>* bytes = mPack.find(path);
      QdfData data;
      data.path = path;
      size_t failedModels = 0;
      const QdfModelLoader loader = [&](const std::string& name) {
        resMQO* m = loadModel(path, name);
        if (!m) ++failedModels;
        return m;
      };
      std::vector<QdfProblem> problems;
      parseQdfText(reinterpret_cast<const char*>(bytes->data()), bytes->size(), data, loader, QdfProgress(),
                   &problems);
      for (const QdfProblem& p : problems) mReport.error(path, p.line, p.reason);
      if (data.scenes.empty()) mReport.error(path, "no scene; the entry never draws");
      for (const QdfScene& scene : data.scenes) checkScene(path, scene, failedModels == 0);
      releaseQdfModels(data);
    }
  }

  void checkScene(const std::string& path, const QdfScene& scene, bool modelsLoaded) {
    const std::string label = "scene " + quoted(scene.name) + ": ";
    if (scene.objects.empty() || scene.objects.front().slot != -1) {
      mReport.warning(path, label + "the first object is not the camera (slot -1); the view is undefined");
    }
    float duration = 0.0f;
    for (const QdfObject& o : scene.objects) {
      if (o.slot == -1) {
        if (!o.times.empty()) duration = std::max(duration, o.times.back());
      } else if (!o.model && modelsLoaded && o.slot >= 0 && o.slot < kQdfModelSlots) {
        mReport.error(path, label + "an object names slot " + std::to_string(o.slot) + ", which holds no model");
      }
    }
    if (duration <= 0.0f) mReport.warning(path, label + "no camera keys after time 0; it lasts no time");
    checkSceneClass(path, label, scene.name);
  }

  void checkSceneClass(const std::string& path, const std::string& label, const std::string& name) {
    const std::string requested = kSceneClassPrefix + name;
    if (const CoreRuntimeClass* c = CoreRuntimeClass::findClass(requested.c_str())) {
      for (const ClassResources& r : sceneClassResources()) {
        if (std::strcmp(r.className, c->getName()) != 0) continue;
        const std::string where = label + "class " + r.className + ": ";
        for (const char* effect : r.effects) requireEffect(effect, {path, where, "", 1});
        for (const char* texture : r.textures) requireTexture(texture, path, where);
      }
      return;
    }
    const size_t prefixLength = std::strlen(kSceneClassPrefix);
    for (uint32_t i = 0; i < CoreRuntimeClass::DYNAMIC_HASH_NUM; ++i) {
      const CoreRuntimeClass* c = CoreRuntimeClass::slot(i);
      if (!c || std::strncmp(c->getName(), kSceneClassPrefix, prefixLength) != 0) continue;
      const std::string suffix = lower(c->getName() + prefixLength);
      const std::string wanted = lower(name);
      // Registered names match as prefixes, so a longer name is a near miss
      // when its start is.
      const bool near = editDistance(wanted, suffix) <= 1 ||
                        (wanted.size() > suffix.size() && editDistance(wanted.substr(0, suffix.size()), suffix) <= 1);
      if (near) {
        mReport.warning(path, label + "no scene class has this name, so it plays as the default scene; " +
                                  "a near miss of the class " + c->getName());
      }
    }
  }

  // --- Textures -----------------------------------------------------------------

  void checkTextures() {
    for (const std::string& name : mPack.names()) {
      if (!isTextureName(name)) continue;
      const std::vector<uint8_t>* bytes = mPack.find(name);
      std::string reason;
      const texture_decode::Format format = texture_decode::formatForExtension(extensionOf(name));
      if (!texture_decode::decode(format, bytes->data(), bytes->size(), reason)) {
        mReport.error(name, "does not decode: " + (reason.empty() ? std::string("unreadable") : reason));
      }
    }
  }

  const Pack& mPack;
  Report& mReport;
  Needs& mNeeds;
  bool mHasTimeline = false;
  std::vector<SceneLineRecord> mLines;
  std::vector<QdfEntryRecord> mQdfEntries;
  std::vector<PostEffectRecord> mPostEffects;
  std::vector<CustomTextureRecord> mCustomTextures;
  std::set<std::string> mSceneFiles;
  std::map<std::string, std::unique_ptr<MqoModel>> mModels;  // null: does not parse
  std::set<std::string> mCheckedModels;
};

}  // namespace

void Report::add(Problem p) {
  if (mSeen.insert(p.file + '\n' + std::to_string(p.line) + '\n' + p.reason).second) mProblems.push_back(std::move(p));
}

size_t Report::errorCount() const {
  return static_cast<size_t>(
      std::count_if(mProblems.begin(), mProblems.end(), [](const Problem& p) { return !p.warning; }));
}

bool Pack::open(const std::string& path, std::string& error) {
  std::FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) {
    error = "cannot be opened";
    return false;
  }
  PackHeader header;
  std::vector<PackEntry> entries;
  uint64_t size = 0;
  if (const char* problem = readPackTable(fp, header, entries, size)) {
    std::fclose(fp);
    error = problem;
    return false;
  }
  for (const PackEntry& e : entries) {
    if (mEntries.count(e.name)) {
      mTableProblems.push_back({e.name, "stored twice; the player reads only the first", true});
      continue;
    }
    std::vector<uint8_t>& data = mEntries[e.name];
    // Bytes an entry claims beyond the file do not exist.
    const uint64_t end = std::min<uint64_t>(uint64_t{e.offset} + e.size, size);
    data.resize(end > e.offset ? static_cast<size_t>(end - e.offset) : 0);
    if (data.size() < e.size) {
      mTableProblems.push_back({e.name,
                                "runs past the end of the pack: " + std::to_string(data.size()) + " of its " +
                                    std::to_string(e.size) + " bytes exist",
                                false});
    }
    if (!data.empty() && (std::fseek(fp, static_cast<long>(e.offset), SEEK_SET) != 0 ||
                          std::fread(data.data(), 1, data.size(), fp) != data.size())) {
      data.clear();
    }
    mNames.emplace_back(e.name);
  }
  std::fclose(fp);
  return true;
}

const std::vector<uint8_t>* Pack::find(const std::string& name) const {
  const auto it = mEntries.find(name);
  return it == mEntries.end() ? nullptr : &it->second;
}

std::string Pack::missing(const std::string& name) const {
  const std::string key = folded(name);
  for (const std::string& stored : mNames) {
    if (folded(stored) == key) return quoted(name) + " is not in the pack (it holds " + quoted(stored) + ")";
  }
  return quoted(name) + " is not in the pack";
}

bool isTextureName(const std::string& name) {
  static const char* const kExtensions[] = {"bmp", "jpg", "jpeg", "dds", "hdr", "tga", "png"};
  const std::string e = extensionOf(name);
  return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* x) { return e == x; });
}

bool isEffectName(const std::string& name) {
  const std::string e = extensionOf(name);
  return e == "cg" || e == "fx" || e == "cgfx";
}

void checkContent(const Pack& pack, Report& report, Needs& needs) { ContentCheck(pack, report, needs).run(); }

}  // namespace check
