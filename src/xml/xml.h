// XML reader for the definition documents: a tolerant, single-pass,
// non-validating parser that keeps element names, attributes, child elements,
// text blocks and raw sections (CDATA, DOCTYPE, comments, ...) in document
// order. It never ends the process; problems come back as XmlResults.
//
// The encoding setting and the two switches are process-wide and unguarded:
// main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Result codes; the values are part of the interface.
enum class XmlError : int {
  None = 0,
  UnmatchedEndTagWarning = 1,
  NoXmlTagFound = 2,
  NoXmlData = 3,
  MissingStartTagName = 4,
  MissingEndTagName = 5,
  UnmatchedEndTag = 6,
  UnmatchedClearTagEnd = 7,
  UnexpectedToken = 8,
  NoElementsFound = 9,
  FileNotFound = 10,
  FirstTagNotFound = 11,
  UnknownCharacterEntity = 12,
  CharConversion = 13,
  CannotOpenWriteFile = 14,
  CannotWriteFile = 15,
  Base64DataSizeNotMultipleOf4 = 16,
  Base64IllegalCharacter = 17,
  Base64Truncated = 18,
  Base64BufferTooSmall = 19,
};

// Outcome of one parse. Line and column count from 1 (columns in characters
// of the current encoding); both are 0 for FirstTagNotFound and when no text
// was given.
struct XmlResults {
  XmlError code = XmlError::None;
  int line = 0;
  int column = 0;
};

// Text encodings the reader steps through. Each selects a table giving the
// byte length of a character from its first byte, so multi-byte characters
// are never split and count as one column.
enum XmlEncoding : int {
  kXmlUtf8 = 1,
  kXmlLegacy = 2,  // single-byte, ISO-8859-1 style
  kXmlShiftJis = 3,
};

// A raw section as written: its undecoded text and the markers around it.
// The pointers stay valid while the owning node lives.
struct XmlRawSection {
  const char* text = nullptr;
  const char* openMarker = nullptr;
  const char* closeMarker = nullptr;
};

// What an entry of a node's content is, for walking the interleaving of
// child elements, text blocks and raw sections.
enum class XmlEntryKind : uint8_t { Child, Text, Raw };
struct XmlEntry {
  XmlEntryKind kind = XmlEntryKind::Child;
  int index = -1;  // position in the list of that kind; -1 past the end
};

// A counted handle to a node of a parsed tree. Copying a handle adds a
// reference, destroying it removes one; a node is freed with its content when
// the last reference goes. A parent holds one reference to each child, so a
// child that is still referenced survives its parent, detached (no parent).
// The default handle is the empty node: every query on it returns 0, null or
// the empty node.
//
// Name matching (elements, attributes, root) ignores letter case for
// single-byte characters and compares multi-byte characters exactly.
// Returned strings are owned by the node and valid while it lives.
class XmlNode {
 public:
  XmlNode() = default;
  XmlNode(const XmlNode& other);
  XmlNode(XmlNode&& other) noexcept;
  XmlNode& operator=(const XmlNode& other);
  XmlNode& operator=(XmlNode&& other) noexcept;
  ~XmlNode();

  bool isEmpty() const { return mNode == nullptr; }
  explicit operator bool() const { return mNode != nullptr; }
  bool operator==(const XmlNode& other) const { return mNode == other.mNode; }
  bool operator!=(const XmlNode& other) const { return mNode != other.mNode; }

  // Element name; null for the unnamed document top and the empty node.
  const char* getName() const;
  // True for a node made from a "<?" ... "?>" tag.
  bool isDeclaration() const;
  // The enclosing element, or the empty node for a top or detached node.
  XmlNode getParent() const;

  // Value of the first attribute whose name matches; null when there is none
  // or when the attribute was written without "=".
  const char* getAttribute(const char* pName) const;
  int countAttributes() const;
  const char* getAttributeName(int index) const;
  const char* getAttributeValue(int index) const;

  // Number of child elements whose name matches; all of them for null.
  int countChildren(const char* pName = nullptr) const;
  // The index-th (from 0) child element whose name matches, or the empty node.
  XmlNode getChild(const char* pName, int index) const;
  // The child element at `position` among all child elements, or empty.
  XmlNode getChildAt(int position) const;
  // First matching child at or after `position`; on success `position` moves
  // past it, otherwise it is left unchanged and the empty node is returned.
  XmlNode findNextChild(const char* pName, int& position) const;

  int countTexts() const;
  const char* getText(int index) const;  // decoded text block, or null
  int countRawSections() const;
  XmlRawSection getRawSection(int index) const;
  // Content entries in document order (children, text blocks, raw sections).
  int countEntries() const;
  XmlEntry getEntry(int index) const;

  // Parses NUL-terminated `text`. With a non-empty `pRootName` the element of
  // that name is looked for at the top, also inside declarations. Returns the
  // tree (the root element when it is the only top-level entry) or the empty
  // node for codes above 2. `results` always receives the outcome.
  static XmlNode parseText(const char* text, const char* pRootName, XmlResults& results);

  // Guesses the encoding from the first `length` bytes: 0 when undecided
  // (short text, wide text, or a "utf-8" declaration over invalid UTF-8).
  static int guessEncoding(const char* text, size_t length);
  // Returns false when `encoding` (1, 2 or 3) was accepted; true, with the
  // setting unchanged, otherwise.
  static bool setEncoding(int encoding);
  static int getEncoding();
  // Byte length of a character starting with `lead` under `encoding`
  // (0 for NUL); 1 for an unknown encoding.
  static int characterLength(int encoding, uint8_t lead);

  // Both switches start on. Wide-text guessing makes guessEncoding give up
  // on text that looks like UTF-16; trimming drops leading and trailing
  // whitespace of text blocks and whitespace-only blocks.
  static void setGuessWideChars(bool on);
  static void setTrimWhitespace(bool on);

  // The fixed message of a code; "Unknown" for values outside the table.
  static const char* errorMessage(XmlError code);
  static const char* errorMessage(int code);

  struct Data;  // internal; opaque to users

 private:
  explicit XmlNode(Data* node);  // adds a reference
  Data* mNode = nullptr;
};

// The helper every definition reader goes through: guesses and sets the
// encoding from the first 200 bytes (an undecided guess keeps the previous
// setting), parses with the required root element, and on any nonzero code,
// warnings included, shows "XML Parsing error" with the file, message and
// position (stderr always, a box only in interactive runs) and returns the
// empty node.
XmlNode parseDefinitionDocument(const char* pPath, const char* text, size_t length,
                                const char* pRootName);

// Caption and text of the box parseDefinitionDocument shows for `results`.
inline constexpr char kXmlMessageCaption[] = "XML Parsing error";
std::string xmlParseMessage(const char* pPath, const XmlResults& results, const char* pRootName);
