// The XML parser proper: one pass over NUL-terminated text, stepping by
// characters of the current encoding. Open elements live on an explicit
// stack rather than the call stack, so nesting depth is bounded only by
// memory.
#include <algorithm>
#include <cstring>

#include "xml/xml_internal.h"

using xml_detail::namesMatch;
using xml_detail::stepAt;
using Data = XmlNode::Data;

namespace {

struct RawMarker {
  const char* open;
  const char* close;
};
// Tried in this order, case-sensitively.
constexpr RawMarker kRawMarkers[] = {
    {"<![CDATA[", "]]>"}, {"<!DOCTYPE", ">"}, {"<PRE>", "</PRE>"},
    {"<Script>", "</Script>"}, {"<!--", "-->"},
};
constexpr char kDoctypeSubsetClose[] = "]>";

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Byte classes for the scanning loops. Plain ASCII bytes are one character
// in every encoding, so runs of them are skipped without the length table;
// bytes from 0x80 up take the slow, encoding-aware step.
enum : unsigned char {
  kSeparator = 1,
  kWordStop = 2,  // NUL, "<", ">", "=", "/" (the last only before ">")
  kTextStop = 4,  // NUL, "<"
  kQuoteStop = 8,  // NUL, "<", '"', "'"
  kWide = 16,
};

struct ByteClasses {
  unsigned char c[256];
};

constexpr ByteClasses makeByteClasses() {
  ByteClasses t{};
  for (int b = 0x80; b < 256; ++b) t.c[b] = kWide;
  for (unsigned char b : {' ', '\t', '\r', '\n'}) t.c[b] = kSeparator | kWordStop;
  for (unsigned char b : {'\0', '<'}) t.c[b] = kWordStop | kTextStop | kQuoteStop;
  for (unsigned char b : {'>', '=', '/'}) t.c[b] = kWordStop;
  for (unsigned char b : {'"', '\''}) t.c[b] = kQuoteStop;
  return t;
}
constexpr ByteClasses kClasses = makeByteClasses();

inline unsigned char classOf(char c) { return kClasses.c[static_cast<unsigned char>(c)]; }

// True when `p` starts with `prefix`; stops at the first difference, so it
// never reads past the terminator of `p`.
inline bool startsWith(const char* p, const char* prefix) {
  for (; *prefix != '\0'; ++p, ++prefix) {
    if (*p != *prefix) return false;
  }
  return true;
}

int rawMarkerAt(const char* p) {
  // Every marker is "<" followed by one of these; most tags are rejected here.
  if (p[1] != '!' && p[1] != 'P' && p[1] != 'S') return -1;
  for (int i = 0; i < static_cast<int>(sizeof kRawMarkers / sizeof kRawMarkers[0]); ++i) {
    if (startsWith(p, kRawMarkers[i].open)) return i;
  }
  return -1;
}

enum class Tok { End, Raw, EndTagStart, DeclStart, TagStart, TagEnd, ShortClose, Equals, Quoted, Word };

struct Token {
  Tok kind = Tok::End;
  const char* start = nullptr;  // where the token begins in the text
  const char* begin = nullptr;  // content of a word or quoted string
  const char* end = nullptr;
};

struct NamedEntity {
  const char* text;
  size_t length;
  char value;
};
constexpr NamedEntity kEntities[] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(const char* text, xml_detail::Arena* arena)
      : mP(text), mLengths(xml_detail::currentLengths()), mArena(arena) {}

  // Parses everything into `top`; returns false at the first error.
  bool run(Data* top) {
    open(top);
    bool ok = false;
    while (parseContentStep()) {
      if (*mP == '\0') {
        for (size_t i = 1; i < mOpen.size(); ++i) {
          if (!mOpen[i].node->declaration) {
            warnUnmatched(mP);
            break;
          }
        }
        ok = true;
        break;
      }
    }
    // Elements left open (also after an error) get their content too, so
    // the whole tree is reachable and freed with the top.
    while (!mOpen.empty()) closeCurrent();
    return ok;
  }

  XmlError code() const { return mCode; }
  const char* errorPosition() const { return mErrorAt; }
  const char* position() const { return mP; }

 private:
  // Length of the character at `p`, with the common single-byte case inline.
  int advance(const char* p) const {
    return mLengths[static_cast<unsigned char>(*p)] == 1 ? 1 : stepAt(mLengths, p);
  }

  bool fail(XmlError code, const char* at) {
    mCode = code;
    mErrorAt = at;
    return false;
  }
  void warnUnmatched(const char* at) {
    if (mCode == XmlError::None) {
      mCode = XmlError::UnmatchedEndTagWarning;
      mErrorAt = at;
    }
  }

  // An open element and where its content starts on the scratch stacks.
  struct Frame {
    Data* node;
    size_t childBase;
    size_t textBase;
    size_t rawBase;
    size_t orderBase;
  };

  Data* current() const { return mOpen.back().node; }

  void open(Data* node) {
    mOpen.push_back(Frame{node, mChildren.size(), mTexts.size(), mRaws.size(), mOrder.size()});
  }

  // Moves the tail of a scratch stack from `base` into an arena array.
  template <class T>
  T* takeFrom(std::vector<T>& stack, size_t base, int& count) {
    const size_t n = stack.size() - base;
    count = static_cast<int>(n);
    if (n == 0) return nullptr;
    T* array = static_cast<T*>(mArena->allocate(sizeof(T) * n, alignof(T)));
    std::copy(stack.begin() + static_cast<std::ptrdiff_t>(base), stack.end(), array);
    stack.resize(base);
    return array;
  }

  void closeCurrent() {
    const Frame& f = mOpen.back();
    Data* node = f.node;
    node->children = takeFrom(mChildren, f.childBase, node->childCount);
    node->texts = takeFrom(mTexts, f.textBase, node->textCount);
    node->raws = takeFrom(mRaws, f.rawBase, node->rawCount);
    node->order = takeFrom(mOrder, f.orderBase, node->orderCount);
    mOpen.pop_back();
  }

  int countSince(size_t size, size_t base) const { return static_cast<int>(size - base); }

  // One text block followed by one markup construct (or the end).
  bool parseContentStep() {
    // A local cursor: stores through `this` would pin it to memory.
    const char* const textStart = mP;
    const char* p = mP;
    for (;;) {
      const unsigned char k = classOf(*p);
      if (k & kTextStop) break;
      p += (k & kWide) ? advance(p) : 1;
    }
    mP = p;
    if (mP > textStart && !addText(textStart, mP)) return false;
    if (*mP == '\0') return true;

    const int raw = rawMarkerAt(mP);
    if (raw >= 0) return parseRaw(raw);
    if (mP[1] == '/') return parseEndTag();
    return parseTag(mP[1] == '?');
  }

  Token next() {
    const char* p = mP;
    while (classOf(*p) & kSeparator) ++p;
    mP = p;
    Token t;
    t.start = mP;
    const char c = *mP;
    if (c == '\0') {
      t.kind = Tok::End;
    } else if (c == '<') {
      if (rawMarkerAt(mP) >= 0) {
        t.kind = Tok::Raw;
      } else if (mP[1] == '/') {
        t.kind = Tok::EndTagStart;
        mP += 2;
      } else if (mP[1] == '?') {
        t.kind = Tok::DeclStart;
        mP += 2;
      } else {
        t.kind = Tok::TagStart;
        mP += 1;
      }
    } else if (c == '>') {
      t.kind = Tok::TagEnd;
      mP += 1;
    } else if (c == '/' && mP[1] == '>') {
      t.kind = Tok::ShortClose;
      mP += 2;
    } else if (c == '=') {
      t.kind = Tok::Equals;
      mP += 1;
    } else if (c == '"' || c == '\'') {
      const char* q = mP + 1;
      for (;;) {
        const unsigned char k = classOf(*q);
        if ((k & kQuoteStop) && (*q == c || *q == '\0' || *q == '<')) break;
        q += (k & kWide) ? advance(q) : 1;
      }
      if (*q == c) {
        t.kind = Tok::Quoted;
        t.begin = mP + 1;
        t.end = q;
        mP = q + 1;
      } else {
        // No closing quote before "<" or the end: drop the quote and read
        // a plain word after it.
        mP += 1;
        readWord(t);
      }
    } else {
      readWord(t);
    }
    return t;
  }

  void readWord(Token& t) {
    t.kind = Tok::Word;
    const char* p = mP;
    t.begin = p;
    for (;;) {
      const unsigned char k = classOf(*p);
      if (k & kWordStop) {
        if (*p != '/' || p[1] == '>') break;
        ++p;
      } else {
        p += (k & kWide) ? advance(p) : 1;
      }
    }
    t.end = p;
    mP = p;
  }

  // Entity-decodes [b, e) into a new arena string (decoding never lengthens
  // the text, so its size is known up front); code 12 at the offending
  // ampersand, with `result` left unset.
  bool decode(char*& result, const char* b, const char* e) {
    char* const start = mArena->allocateChars(static_cast<size_t>(e - b));
    char* out = start;
    const char* q = b;
    while (q < e) {
      if (*q != '&') {
        // Copy up to the next ampersand at a character start; a multi-byte
        // character running past the end is cut at the end.
        while (q < e && *q != '&') {
          if (classOf(*q) & kWide) {
            const char* n = q + advance(q);
            if (n > e) n = e;
            while (q < n) *out++ = *q++;
          } else {
            *out++ = *q++;
          }
        }
        continue;
      }
      bool named = false;
      for (const NamedEntity& entity : kEntities) {
        if (static_cast<size_t>(e - q) >= entity.length && q[1] == entity.text[1] &&
            std::memcmp(q, entity.text, entity.length) == 0) {
          *out++ = entity.value;
          q += entity.length;
          named = true;
          break;
        }
      }
      if (named) continue;
      if (e - q < 2 || q[1] != '#') return fail(XmlError::UnknownCharacterEntity, q);
      const char* r = q + 2;
      const bool hex = r < e && (*r == 'x' || *r == 'X');
      if (hex) ++r;
      const int base = hex ? 16 : 10;
      unsigned value = 0;
      const char* digits = r;
      for (; r < e && *r != ';'; ++r) {
        const int d = hex ? hexValue(*r) : ((*r >= '0' && *r <= '9') ? *r - '0' : -1);
        if (d < 0) return fail(XmlError::UnknownCharacterEntity, q);
        value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(d)) % 256u;
      }
      if (r == digits || r >= e) return fail(XmlError::UnknownCharacterEntity, q);
      *out++ = static_cast<char>(value);
      q = r + 1;
    }
    *out = '\0';
    result = start;
    return true;
  }

  bool addText(const char* b, const char* e) {
    if (xml_detail::trimWhitespaceOn()) {
      while (b < e && isSeparator(*b)) ++b;
      while (e > b && isSeparator(e[-1])) --e;
      if (b == e) return true;
    }
    char* text = nullptr;
    if (!decode(text, b, e)) return false;
    mOrder.push_back({XmlEntryKind::Text, countSince(mTexts.size(), mOpen.back().textBase)});
    mTexts.push_back(text);
    return true;
  }

  bool parseRaw(int marker) {
    const RawMarker& m = kRawMarkers[marker];
    const char* start = mP;
    const char* body = mP + std::strlen(m.open);
    const char* close = m.close;
    if (std::strcmp(m.open, "<!DOCTYPE") == 0) {
      // An internal subset holds markup: the section then ends at "]>".
      const char* gt = std::strchr(body, '>');
      const char* lt = std::strchr(body, '<');
      if (lt != nullptr && (gt == nullptr || lt < gt)) close = kDoctypeSubsetClose;
    }
    const char* found = std::strstr(body, close);
    if (found == nullptr) return fail(XmlError::UnmatchedClearTagEnd, start);
    mOrder.push_back({XmlEntryKind::Raw, countSince(mRaws.size(), mOpen.back().rawBase)});
    mRaws.push_back(Data::Raw{mArena->copyString(body, found), m.open, close});
    mP = found + std::strlen(close);
    return true;
  }

  bool parseEndTag() {
    const char* at = mP;
    mP += 2;
    const Token word = next();
    if (word.kind != Tok::Word || word.begin == word.end) return fail(XmlError::MissingEndTagName, word.start);
    const Token gt = next();
    if (gt.kind != Tok::TagEnd) return fail(XmlError::MissingEndTagName, gt.start);
    std::string& name = mEndName;
    name.assign(word.begin, word.end);

    if (mOpen.size() == 1) return fail(XmlError::UnmatchedEndTag, at);
    const bool matched = namesMatch(current()->name, name.c_str());
    closeCurrent();
    if (matched) return true;
    // The open element is closed anyway and the end tag travels upward.
    warnUnmatched(at);
    for (;;) {
      if (mOpen.size() == 1) return fail(XmlError::UnmatchedEndTag, at);
      const bool match = namesMatch(current()->name, name.c_str());
      closeCurrent();
      if (match) return true;
    }
  }

  bool parseTag(bool declaration) {
    mP += declaration ? 2 : 1;
    const Token nameToken = next();
    if (nameToken.kind != Tok::Word || nameToken.begin == nameToken.end) {
      return fail(XmlError::MissingStartTagName, nameToken.start);
    }
    Data* parent = current();
    Data* node = mArena->newNode();
    node->refs = 1;  // the parent's reference
    node->hasName = true;
    node->declaration = declaration;
    node->name = mArena->copyString(nameToken.begin, nameToken.end);
    node->parent = parent;
    mOrder.push_back({XmlEntryKind::Child, countSince(mChildren.size(), mOpen.back().childBase)});
    mChildren.push_back(node);

    // Attributes gather in a reused scratch list and move into the arena
    // once the tag is complete.
    std::vector<Data::Attribute>& attributes = mAttributes;
    attributes.clear();
    for (;;) {
      Token t = next();
      if (t.kind == Tok::Word) {
        Data::Attribute attribute{mArena->copyString(t.begin, t.end), nullptr};
        const char* afterName = mP;
        const Token eq = next();
        if (eq.kind == Tok::Equals) {
          const Token value = next();
          if (value.kind != Tok::Word && value.kind != Tok::Quoted) {
            return fail(XmlError::UnexpectedToken, value.start);
          }
          if (!decode(attribute.value, value.begin, value.end)) return false;
        } else {
          mP = afterName;  // not ours: read it again in the loop
        }
        attributes.push_back(attribute);
      } else if (t.kind == Tok::ShortClose || t.kind == Tok::TagEnd) {
        if (declaration) stripDeclarationEnd(*node, attributes);
        if (!attributes.empty()) {
          node->attributeCount = static_cast<int>(attributes.size());
          node->attributes = static_cast<Data::Attribute*>(
              mArena->allocate(sizeof(Data::Attribute) * attributes.size(), alignof(Data::Attribute)));
          std::memcpy(node->attributes, attributes.data(), sizeof(Data::Attribute) * attributes.size());
        }
        if (t.kind == Tok::TagEnd) open(node);
        return true;
      } else {
        return fail(XmlError::UnexpectedToken, t.start);
      }
    }
  }

  // The "?" before a declaration's ">" belongs to no name or value.
  static void stripDeclarationEnd(Data& node, std::vector<Data::Attribute>& attributes) {
    auto strip = [](char* s) {
      const size_t n = std::strlen(s);
      if (n > 0 && s[n - 1] == '?') s[n - 1] = '\0';
    };
    if (attributes.empty()) {
      strip(node.name);
      return;
    }
    Data::Attribute& last = attributes.back();
    if (last.value != nullptr) {
      strip(last.value);
    } else {
      strip(last.name);
      if (last.name[0] == '\0') attributes.pop_back();
    }
  }

  const char* mP;
  const unsigned char* mLengths;
  xml_detail::Arena* mArena;
  std::vector<Frame> mOpen;  // [0] is the document top
  // Content of the open elements, innermost last.
  std::vector<Data*> mChildren;
  std::vector<const char*> mTexts;
  std::vector<Data::Raw> mRaws;
  std::vector<XmlEntry> mOrder;
  std::vector<Data::Attribute> mAttributes;  // scratch for the tag being read
  std::string mEndName;  // scratch for the end tag being read
  XmlError mCode = XmlError::None;
  const char* mErrorAt = nullptr;
};

void lineAndColumn(const char* text, const char* at, XmlResults& results) {
  const unsigned char* lengths = xml_detail::currentLengths();
  int line = 1;
  int column = 1;
  for (const char* p = text; p < at && *p != '\0';) {
    if (*p == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    p += stepAt(lengths, p);
  }
  results.line = line;
  results.column = column;
}

}  // namespace

XmlNode XmlNode::parseText(const char* text, const char* pRootName, XmlResults& results) {
  results = XmlResults();
  if (text == nullptr) {
    results.code = XmlError::NoElementsFound;
    return XmlNode();
  }

  // Names and decoded texts never outgrow the input, so a first block of
  // about its size usually holds the whole document.
  const size_t length = std::strlen(text);
  xml_detail::Arena* arena = xml_detail::Arena::create(length + length / 2 + 256);
  Data* topData = arena->newNode();
  XmlNode top(topData);  // the handle owns the tree (and the arena) from here on
  Parser parser(text, arena);
  parser.run(topData);
  XmlError code = parser.code();
  const char* errorAt = parser.errorPosition();

  if (topData->childCount == 0) {
    code = XmlError::NoXmlTagFound;
    if (errorAt == nullptr) errorAt = parser.position();
  }
  if (topData->orderCount == 1 && topData->order[0].kind == XmlEntryKind::Child) {
    top = top.getChildAt(0);
  }

  XmlNode result = top;
  if (pRootName != nullptr && pRootName[0] != '\0' && static_cast<int>(code) <= 2 &&
      !namesMatch(top.getName(), pRootName)) {
    result = XmlNode();
    XmlNode scope = top;
    for (int i = 0; i < scope.countChildren();) {
      XmlNode child = scope.getChildAt(i);
      if (namesMatch(child.getName(), pRootName)) {
        result = child;
        break;
      }
      if (child.isDeclaration()) {
        scope = child;
        i = 0;
      } else {
        ++i;
      }
    }
    if (result.isEmpty()) code = XmlError::FirstTagNotFound;
  }

  results.code = code;
  if (code != XmlError::None && code != XmlError::FirstTagNotFound) lineAndColumn(text, errorAt, results);
  if (static_cast<int>(code) > 2) return XmlNode();
  return result;
}
