// Fuzz entry for the XML reader: the encoding guess, then a parse under the
// guessed (or the first byte's) encoding, with and without a required root,
// and a walk over whatever tree comes back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "xml/xml.h"

namespace {

void walk(const XmlNode& node, int depth) {
  if (node.isEmpty() || depth > 64) return;
  node.getName();
  node.getParent();
  for (int i = 0; i < node.countAttributes(); ++i) {
    node.getAttribute(node.getAttributeName(i));
    node.getAttributeValue(i);
  }
  for (int i = 0; i < node.countTexts(); ++i) node.getText(i);
  for (int i = 0; i < node.countRawSections(); ++i) node.getRawSection(i);
  for (int i = 0; i < node.countEntries(); ++i) node.getEntry(i);
  int position = 0;
  while (!node.findNextChild("QdfEntry", position).isEmpty()) {
  }
  node.countChildren("SceneLineEntry");
  for (int i = 0; i < node.countChildren(); ++i) walk(node.getChildAt(i), depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const int guessed = XmlNode::guessEncoding(bytes, size);
  // Undecided guesses still get every encoding, chosen by the first byte.
  const int encoding = guessed != 0 ? guessed : (size > 0 ? 1 + data[0] % 3 : 1);
  XmlNode::setEncoding(encoding);

  std::vector<char> text(bytes, bytes + size);
  text.push_back('\0');
  XmlResults results;
  walk(XmlNode::parseText(text.data(), "QXDataXml", results), 0);
  XmlNode top = XmlNode::parseText(text.data(), nullptr, results);
  walk(top, 0);
  XmlNode::errorMessage(results.code);
  return 0;
}
