// Parsing speed of the XML reader against pugixml, measured in the same run
// on the same texts: a set of definition documents of realistic size and one
// large synthetic document of about 1 MB. Prints MB/s of both and the ratio.
#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

struct Document {
  std::string name;
  std::string text;
  const char* entry;  // element name counted to check both parsers agree
};

std::string header(const char* kind) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QXDataXml name=\"") + kind + "\">\n";
}

std::vector<Document> definitionDocuments() {
  std::vector<Document> docs;
  std::string s = header("sceneLineDefine");
  for (int i = 0; i < 48; ++i) {
    s += "  <SceneLineEntry qdfId=\"scene" + std::to_string(i) + "\" sTime=\"" + std::to_string(i * 4000) +
         "\" eTime=\"" + std::to_string(i * 4000 + 3999) + "\" line=\"" + std::to_string(i % 10) +
         "\" shader=\"" + (i % 3 ? "default" : "glow") + "\"/>\n";
  }
  docs.push_back({"sceneLineDefine", s + "</QXDataXml>\n", "SceneLineEntry"});

  s = header("qdfDefine");
  s += "  <!-- scene animation files, one per scene -->\n";
  for (int i = 0; i < 48; ++i) {
    s += "  <QdfEntry id=\"scene" + std::to_string(i) + "\" path=\"data\\qdf\\scene" + std::to_string(i) +
         ".qdf\"/>\n";
  }
  docs.push_back({"qdfDefine", s + "</QXDataXml>\n", "QdfEntry"});

  s = header("postEffectDefine");
  for (int i = 0; i < 24; ++i) {
    s += "  <PostEffectEntry sTime=\"" + std::to_string(i * 8000) + "\" eTime=\"" +
         std::to_string(i * 8000 + 7999) + "\" shader=\"data\\shader\\post\\effect" + std::to_string(i) +
         ".cgfx\" execPrio=\"" + std::to_string(i % 4) + "\" execPass=\"1\" renderTarget=\"w" +
         std::to_string(i % 10) + "\">\n"
         "    <ConstantEntry param=\"scale\" type=\"float2\" value=\"0.5,1.5\"/>\n"
         "    <ConstantEntry param=\"tint\" type=\"float4\" value=\"1.0, 0.9, 0.8, 1\"/>\n"
         "    <SourceLineEntry param=\"srcColor\" type=\"color\" lineId=\"" + std::to_string(i % 10) + "\"/>\n"
         "    <SourceLineEntry param=\"srcDepth\" type=\"depth\" lineId=\"w1\"/>\n"
         "  </PostEffectEntry>\n";
  }
  docs.push_back({"postEffectDefine", s + "</QXDataXml>\n", "PostEffectEntry"});

  s = header("shaderTextureDefine");
  for (int i = 0; i < 32; ++i) {
    s += "  <TextureEntry sampler=\"map" + std::to_string(i) + "\" path=\"data\\texture\\tex" +
         std::to_string(i) + ".png\"/>\n";
  }
  docs.push_back({"customTextureDefine", s + "</QXDataXml>\n", "TextureEntry"});
  return docs;
}

// About 1 MB: nested groups of entries with attributes, text with entities,
// comments and CDATA sections.
Document largeDocument() {
  std::string s = header("synthetic");
  int group = 0;
  while (s.size() < 1000000) {
    s += "  <Group id=\"" + std::to_string(group) + "\" kind='synthetic'>\n";
    s += "    <!-- group " + std::to_string(group) + " -->\n";
    for (int i = 0; i < 16; ++i) {
      s += "    <Entry index=\"" + std::to_string(i) + "\" value=\"" + std::to_string(group * 0.25 + i) +
           "\" path=\"data\\texture\\t" + std::to_string(i) + ".png\">";
      s += "text &amp; more &lt;text&gt; number " + std::to_string(i) + "</Entry>\n";
    }
    s += "    <Script><![CDATA[ if (a < b) { c = a & b; } ]]></Script>\n";
    s += "  </Group>\n";
    ++group;
  }
  return {"synthetic (large)", s + "</QXDataXml>\n", "Group"};
}

using Clock = std::chrono::steady_clock;

// Runs `parse` until at least `minSeconds` have passed; returns MB/s.
template <class F>
double measure(const std::string& text, double minSeconds, F parse) {
  parse();  // warm-up
  long iterations = 0;
  const auto start = Clock::now();
  double elapsed = 0.0;
  do {
    parse();
    ++iterations;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < minSeconds);
  return static_cast<double>(text.size()) * static_cast<double>(iterations) / elapsed / 1e6;
}

}  // namespace

int main() {
  XmlNode::setEncoding(kXmlUtf8);
  std::vector<Document> docs = definitionDocuments();
  docs.push_back(largeDocument());

  std::printf("xml_bench: parse speed, this reader vs pugixml (same texts, same run)\n");
  std::printf("%-22s %9s %8s %13s %13s %7s\n", "document", "bytes", "entries", "vesper MB/s", "pugixml MB/s",
              "ratio");
  size_t totalBytes = 0;
  double vesperSeconds = 0.0;
  double pugiSeconds = 0.0;
  for (const Document& doc : docs) {
    XmlResults results;
    XmlNode root = XmlNode::parseText(doc.text.c_str(), "QXDataXml", results);
    pugi::xml_document pdoc;
    pdoc.load_buffer(doc.text.data(), doc.text.size());
    int pugiCount = 0;
    for (pugi::xml_node n = pdoc.child("QXDataXml").child(doc.entry); n; n = n.next_sibling(doc.entry)) ++pugiCount;
    const int count = root.countChildren(doc.entry);
    if (results.code != XmlError::None || count != pugiCount) {
      std::printf("%s: parsers disagree (code %d, %d vs %d entries)\n", doc.name.c_str(),
                  static_cast<int>(results.code), count, pugiCount);
      return 1;
    }

    const double seconds = 0.4;
    const double ours = measure(doc.text, seconds, [&] {
      XmlResults r;
      XmlNode n = XmlNode::parseText(doc.text.c_str(), "QXDataXml", r);
    });
    const double theirs = measure(doc.text, seconds, [&] {
      pugi::xml_document d;
      d.load_buffer(doc.text.data(), doc.text.size());
    });
    std::printf("%-22s %9zu %8d %13.1f %13.1f %7.2f\n", doc.name.c_str(), doc.text.size(), count, ours, theirs,
                ours / theirs);
    totalBytes += doc.text.size();
    vesperSeconds += static_cast<double>(doc.text.size()) / (ours * 1e6);
    pugiSeconds += static_cast<double>(doc.text.size()) / (theirs * 1e6);
  }
  const double ours = static_cast<double>(totalBytes) / vesperSeconds / 1e6;
  const double theirs = static_cast<double>(totalBytes) / pugiSeconds / 1e6;
  std::printf("%-22s %9zu %8s %13.1f %13.1f %7.2f\n", "all (one pass each)", totalBytes, "", ours, theirs,
              ours / theirs);
  return 0;
}
