// Definition documents to records: what is kept, what is skipped and why.
#include "demo/definitions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

XmlNode parse(const std::string& text) {
  XmlResults results;
  return XmlNode::parseText(text.c_str(), kDefinitionRoot, results);
}

std::string doc(const char* name, const std::string& body) {
  return std::string("<QXDataXml name=\"") + name + "\">" + body + "</QXDataXml>";
}

std::string line(int line, const char* id = "a", const char* s = "0", const char* e = "100") {
  return std::string("<SceneLineEntry qdfId=\"") + id + "\" sTime=\"" + s + "\" eTime=\"" + e + "\" line=\"" +
         std::to_string(line) + "\" shader=\"default\"/>";
}

TEST(Definitions, RootNamePrefixes) {
  struct Case {
    const char* name;
    bool lines, qdf, post, textures;
  } cases[] = {
      {"sceneLineDefine", true, false, false, false},
      {"sceneLineDefineV2", true, false, false, false},
      {"sceneLineDefin", false, false, false, false},
      {"qdfDefine", false, true, false, false},
      {"postEffectDefine", false, false, true, false},
      {"postEffectDefin", false, false, false, false},
      {"shaderTextureDefine", false, false, false, true},
  };
  for (const Case& c : cases) {
    const XmlNode root = parse(doc(c.name, ""));
    std::vector<DefinitionProblem> p;
    std::vector<SceneLineRecord> l;
    std::vector<QdfEntryRecord> q;
    std::vector<PostEffectRecord> e;
    std::vector<CustomTextureRecord> t;
    EXPECT_EQ(readSceneLines(root, l, p), c.lines) << c.name;
    EXPECT_EQ(readQdfEntries(root, q, p), c.qdf) << c.name;
    EXPECT_EQ(readPostEffects(root, e, p), c.post) << c.name;
    EXPECT_EQ(readCustomTextures(root, t, p), c.textures) << c.name;
  }
  std::vector<DefinitionProblem> p;
  std::vector<SceneLineRecord> l;
  EXPECT_FALSE(readSceneLines(XmlNode(), l, p));
}

TEST(Definitions, TimelineSkipsWhatHasNoRoomAndSaysWhy) {
  std::string body = line(0, "x", "-1", "4294967295") + line(10) + line(-1) +
                     "<SceneLineEntry qdfId=\"a\" sTime=\"0\" line=\"1\" shader=\"default\"/>";
  for (int i = 0; i < 33; ++i) body += line(2);
  std::vector<SceneLineRecord> records;
  std::vector<DefinitionProblem> problems;
  ASSERT_TRUE(readSceneLines(parse(doc("sceneLineDefine", body)), records, problems));
  ASSERT_EQ(records.size(), 1u + 32u);
  EXPECT_EQ(records[0].qdfId, "x");
  EXPECT_EQ(records[0].sTime, 4294967295u);
  EXPECT_EQ(records[0].eTime, 4294967295u);
  const std::pair<const char*, const char*> expected[] = {
      {"SceneLineEntry 1", "line \"10\" is outside 0-9; entry skipped"},
      {"SceneLineEntry 2", "line \"-1\" is outside 0-9; entry skipped"},
      {"SceneLineEntry 3", "missing attribute \"eTime\"; entry skipped"},
      {"SceneLineEntry 36", "line 2 already holds 32 scenes; entry skipped"},
  };
  ASSERT_EQ(problems.size(), 4u);
  for (size_t i = 0; i < problems.size(); ++i) {
    EXPECT_EQ(problems[i].entry, expected[i].first);
    EXPECT_EQ(problems[i].reason, expected[i].second);
  }
}

TEST(Definitions, QdfEntriesFilteredByTimelineAndLastIdWins) {
  std::vector<SceneLineRecord> lines;
  std::vector<QdfEntryRecord> entries;
  std::vector<DefinitionProblem> problems;
  ASSERT_TRUE(readSceneLines(parse(doc("sceneLineDefine", line(0, "b") + line(1, "c"))), lines, problems));
  ASSERT_TRUE(readQdfEntries(parse(doc("qdfDefine",
                                       "<QdfEntry id=\"a\" path=\"1\"/><QdfEntry id=\"b\" path=\"2\"/>"
                                       "<QdfEntry id=\"B\" path=\"3\"/><QdfEntry id=\"b\" path=\"4\"/>"
                                       "<QdfEntry id=\"c\"/>")),
                             entries, problems));
  keepReferencedQdfEntries(entries, lines);
  ASSERT_EQ(entries.size(), 2u);
  ASSERT_NE(findQdfEntry(entries, "b"), nullptr);
  EXPECT_EQ(findQdfEntry(entries, "b")->path, "4");
  EXPECT_EQ(findQdfEntry(entries, "c"), nullptr);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].entry, "QdfEntry 4");
}

TEST(Definitions, PostEffectsSortConstantsAndSources) {
  const char* body =
      "<PostEffectEntry sTime=\"0\" eTime=\"9\" shader=\"last\" execPrio=\"-1\" execPass=\"-1\" renderTarget=\"-1\"/>"
      "<PostEffectEntry sTime=\"0\" eTime=\"9\" shader=\"b1\" execPrio=\"2\" execPass=\"1\" renderTarget=\"3\">"
      " <ConstantEntry param=\"f\" type=\"float\" value=\"0.5\"/>"
      " <ConstantEntry param=\"f2\" type=\"float2\" value=\"1,2\"/>"
      " <ConstantEntry param=\"f3\" type=\"float3\" value=\"1, 2,3\"/>"
      " <ConstantEntry param=\"f4\" type=\"float4\" value=\"1,2,3,4\"/>"
      " <ConstantEntry param=\"short\" type=\"float3\" value=\"1,2\"/>"
      " <ConstantEntry param=\"odd\" type=\"Float\" value=\"1\"/>"
      " <SourceLineEntry param=\"c\" type=\"color\" lineId=\"7\"/>"
      " <SourceLineEntry param=\"d\" type=\"depth\" lineId=\"w3\"/>"
      " <SourceLineEntry param=\"x\" type=\"depth\" lineId=\"w12\"/>"
      " <SourceLineEntry param=\"y\" type=\"normal\" lineId=\"1\"/>"
      "</PostEffectEntry>"
      "<PostEffectEntry sTime=\"0\" eTime=\"9\" shader=\"a\" execPrio=\"1\" execPass=\"-1\" renderTarget=\"0\"/>"
      "<PostEffectEntry sTime=\"0\" eTime=\"9\" shader=\"b2\" execPrio=\"2\" execPass=\"-1\" renderTarget=\"9\"/>"
      "<PostEffectEntry sTime=\"0\" eTime=\"9\" shader=\"bad\" execPrio=\"0\" execPass=\"-1\" renderTarget=\"10\"/>";
  std::vector<PostEffectRecord> records;
  std::vector<DefinitionProblem> problems;
  ASSERT_TRUE(readPostEffects(parse(doc("postEffectDefine", body)), records, problems));
  std::string order;
  for (const PostEffectRecord& r : records) order += r.shader + " ";
  EXPECT_EQ(order, "a b1 b2 last ");
  const PostEffectRecord& b1 = records[1];
  EXPECT_EQ(b1.execPass, 1);
  EXPECT_EQ(b1.renderTarget, 3);
  const float want[4][4] = {{0.5f, 0.5f, 0.5f, 0.5f}, {1, 2, 2, 2}, {1, 2, 3, 3}, {1, 2, 3, 4}};
  ASSERT_EQ(b1.constants.size(), 4u);
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(b1.constants[i].value[k], want[i][k]) << i << "," << k;
  ASSERT_EQ(b1.sources.size(), 2u);
  EXPECT_TRUE(!b1.sources[0].fromWork && b1.sources[0].kind == 0 && b1.sources[0].index == 7);
  EXPECT_TRUE(b1.sources[1].fromWork && b1.sources[1].kind == 1 && b1.sources[1].index == 3);
  std::string reasons;
  for (const DefinitionProblem& p : problems) reasons += p.entry + ": " + p.reason + "\n";
  EXPECT_EQ(reasons,
            "PostEffectEntry 1 ConstantEntry 4: value \"1,2\" has fewer than 3 numbers; constant skipped\n"
            "PostEffectEntry 1 ConstantEntry 5: unknown type \"Float\"; constant skipped\n"
            "PostEffectEntry 1 SourceLineEntry 2: lineId \"w12\" is not 0-9 or w0-w9; source skipped\n"
            "PostEffectEntry 1 SourceLineEntry 3: unknown type \"normal\"; source skipped\n"
            "PostEffectEntry 4: renderTarget \"10\" is outside -1..9; entry skipped\n");
}

}  // namespace
