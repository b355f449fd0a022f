// Internals shared by the XML reader's translation units: the node record,
// the encoding tables and multi-byte aware helpers. Not for other folders.
#pragma once

#include <string>
#include <vector>

#include "xml/xml.h"

struct XmlNode::Data {
  struct Attribute {
    std::string name;
    std::string value;
    bool hasValue = false;  // false for an attribute written without "="
  };
  struct Raw {
    std::string text;
    const char* openMarker;  // static marker strings
    const char* closeMarker;
  };

  int refs = 0;
  bool hasName = false;  // false only for the unnamed document top
  bool declaration = false;
  std::string name;
  Data* parent = nullptr;  // not owning
  std::vector<Data*> children;  // each holds one reference
  std::vector<Attribute> attributes;
  std::vector<std::string> texts;
  std::vector<Raw> raws;
  std::vector<XmlEntry> order;
};

namespace xml_detail {

// Drops one reference; frees the node and, iteratively, every descendant
// that loses its last reference. Survivors are detached.
void releaseNode(XmlNode::Data* node);

// The 256-entry length table of the current encoding.
const unsigned char* currentLengths();

// Length of the character at `p` (never past a NUL inside the character,
// so a truncated multi-byte sequence at the end cannot step over the
// terminator); 0 at the terminator.
inline int stepAt(const unsigned char* lengths, const char* p) {
  const int n = lengths[static_cast<unsigned char>(*p)];
  for (int i = 1; i < n; ++i) {
    if (p[i] == '\0') return i;
  }
  return n;
}

// Case-insensitive for single-byte characters, exact for multi-byte ones;
// both names must end together.
bool namesMatch(const char* a, const char* b);

bool trimWhitespaceOn();
bool guessWideCharsOn();

}  // namespace xml_detail
