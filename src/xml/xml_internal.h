// Internals shared by the XML reader's translation units: the node record,
// the encoding tables and multi-byte aware helpers. Not for other folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace xml_detail {

// Storage for one parsed document: its nodes and every string they hold are
// carved out of a few large blocks instead of one heap allocation each. The
// arena counts the nodes not yet destroyed and frees itself with the last,
// so a detached child that is still referenced keeps its text valid.
class Arena {
 public:
  static Arena* create(size_t sizeHint);
  // `align` must be a power of two.
  void* allocate(size_t size, size_t align) {
    size_t pad = (0 - reinterpret_cast<uintptr_t>(mCursor)) & (align - 1);
    if (pad + size > mLeft) {
      addBlock(size + align);
      pad = (0 - reinterpret_cast<uintptr_t>(mCursor)) & (align - 1);
    }
    char* p = mCursor + pad;
    mCursor = p + size;
    mLeft -= pad + size;
    return p;
  }
  // Room for `length` characters and a terminator.
  char* allocateChars(size_t length) { return static_cast<char*>(allocate(length + 1, 1)); }
  char* copyString(const char* b, const char* e);
  XmlNode::Data* newNode();
  // Destroys a node whose last reference went; frees the arena with the last.
  void destroyNode(XmlNode::Data* node);

 private:
  explicit Arena(size_t firstBlock) : mNextBlock(firstBlock) {}
  void addBlock(size_t minimum);

  std::vector<std::unique_ptr<char[]>> mBlocks;
  char* mCursor = nullptr;
  size_t mLeft = 0;
  size_t mNextBlock;
  size_t mLiveNodes = 0;
};

}  // namespace xml_detail

struct XmlNode::Data {
  struct Attribute {
    char* name;
    char* value;  // null for an attribute written without "="
  };
  struct Raw {
    const char* text;
    const char* openMarker;  // static marker strings
    const char* closeMarker;
  };

  xml_detail::Arena* arena = nullptr;
  int refs = 0;
  bool hasName = false;  // false only for the unnamed document top
  bool declaration = false;
  char* name = nullptr;  // arena string; null only for the document top
  Data* parent = nullptr;  // not owning
  Attribute* attributes = nullptr;  // arena array
  int attributeCount = 0;
  // Content lists are arena arrays, written once when the element closes
  // (the parser gathers them on its scratch stacks until then).
  Data** children = nullptr;  // each holds one reference
  const char** texts = nullptr;  // arena strings
  Raw* raws = nullptr;
  XmlEntry* order = nullptr;
  int childCount = 0;
  int textCount = 0;
  int rawCount = 0;
  int orderCount = 0;
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
