// The built sample production holds together: every file a definition,
// scene file or model names is in the pack, each timeline window is as long
// as its scene file's shots, all ten lines and every procedural scene class
// are used.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/files.h"
#include "formats/formats.h"
#include "model/model.h"
#include "xml/xml.h"

namespace {

class ProductionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("VESPER_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    const std::string path = std::string(build) + "/production/vesper.pak";
    std::FILE* fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr) << path;
    PackHeader header{};
    std::vector<PackEntry> table;
    uint64_t size = 0;
    const char* error = readPackTable(fp, header, table, size);
    ASSERT_EQ(error, nullptr) << error;
    for (const PackEntry& e : table) {
      std::string bytes(e.size, '\0');
      ASSERT_EQ(std::fseek(fp, static_cast<long>(e.offset), SEEK_SET), 0);
      ASSERT_EQ(std::fread(bytes.data(), 1, e.size, fp), e.size);
      entries[e.name] = bytes;
    }
    std::fclose(fp);
  }

  XmlNode definition(const char* name, const char* root) {
    const std::string& text = entries[name];
    XmlNode doc = parseDefinitionDocument(name, text.c_str(), text.size(), root);
    EXPECT_FALSE(doc.isEmpty()) << name;
    return doc;
  }
  void expectEntry(const std::string& name, const std::string& from) {
    EXPECT_EQ(entries.count(name), 1u) << from << " names " << name << ", which is not in the pack";
  }

  std::map<std::string, std::string> entries;
};

std::string attribute(const XmlNode& node, const char* name) {
  const char* value = node.getAttribute(name);
  return value ? value : "";
}

TEST_F(ProductionTest, DefinitionsScenesAndModelsNameOnlyPackedFilesAndFillTheTimeline) {
  XmlNode scenesDoc = definition("data\\definition\\qdfDefine.xml", "QXDataXml");
  std::map<std::string, std::string> paths;
  for (int i = 0; i < scenesDoc.countChildren("QdfEntry"); ++i) {
    XmlNode e = scenesDoc.getChild("QdfEntry", i);
    paths[attribute(e, "id")] = attribute(e, "path");
  }

  // Scene files: their models (and the models' textures and effects) are
  // packed; the length of each file is the sum of its shots' camera spans.
  std::map<std::string, double> lengthMs;
  std::set<std::string> shotNames;
  for (const auto& entry : paths) {
    const std::string& id = entry.first;
    const std::string& path = entry.second;
    expectEntry(path, "qdfDefine.xml");
    const std::string& text = entries[path];
    QdfData data;
    std::vector<QdfProblem> problems;
    parseQdfText(
        text.c_str(), text.size(), data,
        [&](const std::string& modelName) -> resMQO* {
          const std::string bmdl = modelName.substr(0, modelName.rfind('.')) + ".bmdl";
          expectEntry(bmdl, path);
          MqoModel model;
          std::string reason;
          const std::string& bytes = entries[bmdl];
          EXPECT_TRUE(parseBinaryModel(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), model, reason))
              << bmdl << ": " << reason;
          for (const MqoMaterial& m : model.materials) {
            for (const std::string& file : {m.texturePath, m.secondTexturePath, m.effectPath})
              if (!file.empty()) expectEntry(file, bmdl);
          }
          return nullptr;
        },
        nullptr, &problems);
    for (const QdfProblem& problem : problems) ADD_FAILURE() << path << ":" << problem.line << ": " << problem.reason;
    double sum = 0;
    for (const QdfScene& scene : data.scenes) {
      float span = 0;
      for (const QdfObject& o : scene.objects)
        if (o.slot == -1 && !o.times.empty()) span = std::max(span, o.times.back());
      EXPECT_GT(span, 0.0f) << path << ": shot " << scene.name << " has no camera keys";
      sum += span * 1000.0;
      shotNames.insert(scene.name);
    }
    lengthMs[id] = sum;
  }

  XmlNode timeline = definition("data\\definition\\sceneLineDefine.xml", "QXDataXml");
  std::set<int> lines;
  for (int i = 0; i < timeline.countChildren("SceneLineEntry"); ++i) {
    XmlNode e = timeline.getChild("SceneLineEntry", i);
    const std::string id = attribute(e, "qdfId"), shader = attribute(e, "shader");
    ASSERT_EQ(paths.count(id), 1u) << "timeline entry " << i << " names scene file " << id;
    const long window = std::atol(attribute(e, "eTime").c_str()) - std::atol(attribute(e, "sTime").c_str());
    EXPECT_NEAR(static_cast<double>(window), lengthMs[id], 2.0) << "timeline entry " << i << " (" << id << ")";
    if (shader != "default") expectEntry("data\\shader\\" + shader + ".cgfx", "sceneLineDefine.xml");
    lines.insert(std::atoi(attribute(e, "line").c_str()));
  }
  EXPECT_EQ(lines.size(), 10u) << "every line carries a scene";
  for (const char* shot : {"skyhand1", "hanescene1", "hanescene3", "hanescene4", "lightball", "metaball", "boxfloor1"})
    EXPECT_EQ(shotNames.count(shot), 1u) << "no shot named " << shot;

  XmlNode post = definition("data\\definition\\postEffectDefine.xml", "QXDataXml");
  EXPECT_GT(post.countChildren("PostEffectEntry"), 0);
  for (int i = 0; i < post.countChildren("PostEffectEntry"); ++i)
    expectEntry("data\\shader\\" + attribute(post.getChild("PostEffectEntry", i), "shader") + ".cgfx",
                "postEffectDefine.xml");
  XmlNode custom = definition("data\\definition\\customTextureDefine.xml", "QXDataXml");
  for (int i = 0; i < custom.countChildren("TextureEntry"); ++i)
    expectEntry(attribute(custom.getChild("TextureEntry", i), "path"), "customTextureDefine.xml");
}

}  // namespace
