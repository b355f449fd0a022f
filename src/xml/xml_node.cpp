// XmlNode handles: reference counting and the queries on a parsed tree.
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "xml/xml_internal.h"

using xml_detail::namesMatch;

namespace xml_detail {

void releaseNode(XmlNode::Data* node) {
  if (node == nullptr || --node->refs > 0) return;
  // A worklist instead of recursion: hostile documents nest deeply.
  std::vector<XmlNode::Data*> dead{node};
  while (!dead.empty()) {
    XmlNode::Data* d = dead.back();
    dead.pop_back();
    for (int i = 0; i < d->childCount; ++i) {
      XmlNode::Data* child = d->children[i];
      child->parent = nullptr;
      if (--child->refs == 0) dead.push_back(child);
    }
    d->arena->destroyNode(d);
  }
}

Arena* Arena::create(size_t sizeHint) {
  auto* arena = new Arena(sizeHint < 1024 ? 1024 : sizeHint);
  return arena;
}

void Arena::addBlock(size_t minimum) {
  const size_t size = minimum > mNextBlock ? minimum : mNextBlock;
  mBlocks.emplace_back(new char[size]);
  mCursor = mBlocks.back().get();
  mLeft = size;
  // Geometric growth keeps the block count small for large documents.
  if (mNextBlock < (size_t{1} << 22)) mNextBlock *= 2;
}

char* Arena::copyString(const char* b, const char* e) {
  const size_t n = static_cast<size_t>(e - b);
  char* s = allocateChars(n);
  std::memcpy(s, b, n);
  s[n] = '\0';
  return s;
}

XmlNode::Data* Arena::newNode() {
  auto* node = new (allocate(sizeof(XmlNode::Data), alignof(XmlNode::Data))) XmlNode::Data;
  node->arena = this;
  ++mLiveNodes;
  return node;
}

void Arena::destroyNode(XmlNode::Data* node) {
  node->~Data();
  if (--mLiveNodes == 0) delete this;
}

bool namesMatch(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  const unsigned char* lengths = currentLengths();
  for (;;) {
    if (*a == '\0' || *b == '\0') return *a == *b;
    const int n = stepAt(lengths, a);
    if (n == 1) {
      auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
      if (lower(*a) != lower(*b)) return false;
    } else {
      for (int i = 0; i < n; ++i) {
        if (a[i] != b[i]) return false;
      }
    }
    a += n;
    b += n;
  }
}

}  // namespace xml_detail

XmlNode::XmlNode(Data* node) : mNode(node) {
  if (mNode) ++mNode->refs;
}

XmlNode::XmlNode(const XmlNode& other) : mNode(other.mNode) {
  if (mNode) ++mNode->refs;
}

XmlNode::XmlNode(XmlNode&& other) noexcept : mNode(std::exchange(other.mNode, nullptr)) {}

XmlNode& XmlNode::operator=(const XmlNode& other) {
  if (other.mNode) ++other.mNode->refs;
  xml_detail::releaseNode(mNode);
  mNode = other.mNode;
  return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
  if (this != &other) {
    xml_detail::releaseNode(mNode);
    mNode = std::exchange(other.mNode, nullptr);
  }
  return *this;
}

XmlNode::~XmlNode() { xml_detail::releaseNode(mNode); }

const char* XmlNode::getName() const {
  return (mNode && mNode->hasName) ? mNode->name : nullptr;
}

bool XmlNode::isDeclaration() const { return mNode && mNode->declaration; }

XmlNode XmlNode::getParent() const { return XmlNode(mNode ? mNode->parent : nullptr); }

const char* XmlNode::getAttribute(const char* pName) const {
  if (!mNode || pName == nullptr) return nullptr;
  for (int i = 0; i < mNode->attributeCount; ++i) {
    const Data::Attribute& a = mNode->attributes[i];
    if (namesMatch(a.name, pName)) return a.value;
  }
  return nullptr;
}

int XmlNode::countAttributes() const {
  return mNode ? mNode->attributeCount : 0;
}

const char* XmlNode::getAttributeName(int index) const {
  if (index < 0 || index >= countAttributes()) return nullptr;
  return mNode->attributes[index].name;
}

const char* XmlNode::getAttributeValue(int index) const {
  if (index < 0 || index >= countAttributes()) return nullptr;
  return mNode->attributes[index].value;
}

int XmlNode::countChildren(const char* pName) const {
  if (!mNode) return 0;
  if (pName == nullptr) return mNode->childCount;
  int n = 0;
  for (int i = 0; i < mNode->childCount; ++i) {
    if (namesMatch(mNode->children[i]->name, pName)) ++n;
  }
  return n;
}

XmlNode XmlNode::getChild(const char* pName, int index) const {
  if (!mNode || index < 0) return XmlNode();
  for (int i = 0; i < mNode->childCount; ++i) {
    Data* c = mNode->children[i];
    if ((pName == nullptr || namesMatch(c->name, pName)) && index-- == 0) return XmlNode(c);
  }
  return XmlNode();
}

XmlNode XmlNode::getChildAt(int position) const {
  if (!mNode || position < 0 || position >= mNode->childCount) return XmlNode();
  return XmlNode(mNode->children[position]);
}

XmlNode XmlNode::findNextChild(const char* pName, int& position) const {
  if (!mNode) return XmlNode();
  const int count = mNode->childCount;
  for (int i = position < 0 ? 0 : position; i < count; ++i) {
    Data* c = mNode->children[i];
    if (pName == nullptr || namesMatch(c->name, pName)) {
      position = i + 1;
      return XmlNode(c);
    }
  }
  return XmlNode();
}

int XmlNode::countTexts() const { return mNode ? mNode->textCount : 0; }

const char* XmlNode::getText(int index) const {
  if (index < 0 || index >= countTexts()) return nullptr;
  return mNode->texts[index];
}

int XmlNode::countRawSections() const { return mNode ? mNode->rawCount : 0; }

XmlRawSection XmlNode::getRawSection(int index) const {
  if (index < 0 || index >= countRawSections()) return XmlRawSection();
  const Data::Raw& r = mNode->raws[index];
  return XmlRawSection{r.text, r.openMarker, r.closeMarker};
}

int XmlNode::countEntries() const { return mNode ? mNode->orderCount : 0; }

XmlEntry XmlNode::getEntry(int index) const {
  if (index < 0 || index >= countEntries()) return XmlEntry();
  return mNode->order[index];
}

const char* XmlNode::errorMessage(XmlError code) { return errorMessage(static_cast<int>(code)); }

const char* XmlNode::errorMessage(int code) {
  static const char* const kMessages[] = {
      "No error",
      "Warning: Unmatched end tag",
      "Warning: No XML tag found",
      "Error: No XML data",
      "Error: Missing start tag name",
      "Error: Missing end tag name",
      "Error: Unmatched end tag",
      "Error: Unmatched clear tag end",
      "Error: Unexpected token found",
      "Error: No elements found",
      "Error: File not found",
      "Error: First Tag not found",
      "Error: Unknown character entity",
      "Error: unable to convert between WideChar and MultiByte chars",
      "Error: unable to open file for writing",
      "Error: cannot write into file",
      "Warning: Base64-string length is not a multiple of 4",
      "Error: Base64-string contains an illegal character",
      "Warning: Base64-string is truncated",
      "Error: Base64 decode output buffer is too small",
  };
  constexpr int kCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);
  return (code >= 0 && code < kCount) ? kMessages[code] : "Unknown";
}
