// Differential: on documents a conforming parser (pugixml) accepts as
// well-formed UTF-8, the XML reader must build the same element tree: names,
// attributes (names and decoded values, in order) and child elements in order.
// Texts are not compared: the reader keeps whitespace blocks differently.
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

void mustEqual(bool same, const char* what, const std::string& a, const std::string& b) {
  if (same) return;
  std::fprintf(stderr, "xml_diff: %s differ: reader \"%s\", pugixml \"%s\"\n", what, a.c_str(), b.c_str());
  std::abort();
}

std::string text(const char* s) { return s ? s : "(null)"; }

void compare(const XmlNode& ours, const pugi::xml_node& theirs, int depth) {
  mustEqual(text(ours.getName()) == theirs.name(), "names", text(ours.getName()), theirs.name());
  int attributes = 0;
  for (const pugi::xml_attribute& a : theirs.attributes()) {
    mustEqual(attributes < ours.countAttributes(), "attribute counts", std::to_string(ours.countAttributes()),
              a.name());
    mustEqual(text(ours.getAttributeName(attributes)) == a.name(), "attribute names",
              text(ours.getAttributeName(attributes)), a.name());
    mustEqual(text(ours.getAttributeValue(attributes)) == a.value(), "attribute values",
              text(ours.getAttributeValue(attributes)), a.value());
    ++attributes;
  }
  mustEqual(attributes == ours.countAttributes(), "attribute counts", std::to_string(ours.countAttributes()),
            std::to_string(attributes));
  std::vector<pugi::xml_node> children;
  for (const pugi::xml_node& c : theirs.children())
    if (c.type() == pugi::node_element) children.push_back(c);
  mustEqual(static_cast<int>(children.size()) == ours.countChildren(), "child counts",
            std::to_string(ours.countChildren()), std::to_string(children.size()));
  if (depth > 64) return;
  for (size_t i = 0; i < children.size(); ++i) compare(ours.getChildAt(static_cast<int>(i)), children[i], depth + 1);
}

// pugixml does not validate: it takes control characters, bare '&' and
// '<' in attribute values. Documents are kept to printable ASCII whose every
// '&' starts a reference both sides read alike (a character below 128).
bool plainEnough(const std::string& doc) {
  for (size_t i = 0; i < doc.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(doc[i]);
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c > 0x7E) return false;
    if (c != '&') continue;
    const size_t end = doc.find(';', i);
    if (end == std::string::npos) return false;
    const std::string ref = doc.substr(i + 1, end - i - 1);
    if (ref == "lt" || ref == "gt" || ref == "amp" || ref == "quot" || ref == "apos") continue;
    // "&#X" is not a reference in XML (pugixml keeps it as text).
    const bool hex = ref.size() > 2 && ref[0] == '#' && ref[1] == 'x';
    const std::string digits = ref.size() > 1 && ref[0] == '#' ? ref.substr(hex ? 2 : 1) : "";
    if (digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos) {
      return false;
    }
    const long value = std::strtol(digits.c_str(), nullptr, hex ? 16 : 10);
    // Below 0x20 only tab, line feed and carriage return are characters.
    if (value < 1 || value > 127 || (value < 0x20 && value != '\t' && value != '\n' && value != '\r')) return false;
  }
  return true;
}

// What pugixml takes though it is not well-formed: '<' in an attribute value
// (documents that wrote "&lt;" are skipped with them), an attribute written
// twice, and more than one top-level element or anything but comments beside it.
bool malformedElement(const pugi::xml_node& node) {
  for (const pugi::xml_attribute& a : node.attributes()) {
    if (std::strchr(a.value(), '<')) return true;
    for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
      if (std::strcmp(a.name(), b.name()) == 0) return true;
  }
  for (const pugi::xml_node& c : node.children())
    if (c.type() == pugi::node_element && malformedElement(c)) return true;
  return false;
}

bool malformed(const pugi::xml_document& doc) {
  int elements = 0;
  for (const pugi::xml_node& c : doc.children()) {
    if (c.type() == pugi::node_element) {
      ++elements;
    } else if (c.type() != pugi::node_comment) {
      return true;
    }
  }
  return elements != 1 || malformedElement(doc.document_element());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string doc(reinterpret_cast<const char*>(data), size);
  // Declarations, DOCTYPEs and processing
  // instructions are outside the comparison.
  if (!plainEnough(doc) || doc.find("<?") != std::string::npos || doc.find("<!DOCTYPE") != std::string::npos) {
    return 0;
  }
  pugi::xml_document theirs;
  // The reader keeps line breaks and tabs in attribute values as written
  // (no normalisation to spaces) and carriage returns everywhere.
  if (doc.find('\r') != std::string::npos) return 0;
  const unsigned options = pugi::parse_default & ~pugi::parse_wconv_attribute;
  if (!theirs.load_buffer(doc.data(), doc.size(), options, pugi::encoding_utf8)) return 0;
  pugi::xml_node root = theirs.document_element();
  if (!root || malformed(theirs)) return 0;
  XmlNode::setEncoding(kXmlUtf8);
  XmlResults results;
  XmlNode ours = XmlNode::parseText(doc.c_str(), root.name(), results);
  mustEqual(!ours.isEmpty(), "results", "code " + std::to_string(static_cast<int>(results.code)), "a tree");
  compare(ours, root, 0);
  return 0;
}
