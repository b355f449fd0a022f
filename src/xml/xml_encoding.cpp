// Text encodings of the XML reader: the character-length tables, the
// process-wide setting and the guess from a document's first bytes.
#include <algorithm>
#include <cstring>

#include "xml/xml_internal.h"

namespace {

struct LengthTables {
  unsigned char utf8[256];
  unsigned char legacy[256];
  unsigned char shiftJis[256];
};

LengthTables makeTables() {
  LengthTables t{};
  for (int b = 0; b < 256; ++b) {
    unsigned char u = 1;
    if (b >= 0xC2 && b <= 0xDF) u = 2;
    else if (b >= 0xE0 && b <= 0xEF) u = 3;
    else if (b >= 0xF0 && b <= 0xF4) u = 4;
    t.utf8[b] = u;
    t.legacy[b] = 1;
    t.shiftJis[b] = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) ? 2 : 1;
  }
  t.utf8[0] = t.legacy[0] = t.shiftJis[0] = 0;
  return t;
}

const LengthTables& tables() {
  static const LengthTables t = makeTables();
  return t;
}

const unsigned char* tableFor(int encoding) {
  switch (encoding) {
    case kXmlUtf8: return tables().utf8;
    case kXmlLegacy: return tables().legacy;
    case kXmlShiftJis: return tables().shiftJis;
    default: return nullptr;
  }
}

int gEncoding = kXmlUtf8;
bool gGuessWideChars = true;
bool gTrimWhitespace = true;

// UTF-16 test: a byte-order mark, or NUL bytes on most of the even or most
// of the odd positions (ASCII-range text stored as 16-bit units).
bool looksLikeUtf16(const unsigned char* p, size_t n) {
  if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) return true;
  const size_t pairs = n / 2;
  if (pairs == 0) return false;
  size_t evenNul = 0;
  size_t oddNul = 0;
  for (size_t i = 0; i + 1 < n; i += 2) {
    if (p[i] == 0) ++evenNul;
    if (p[i + 1] == 0) ++oddNul;
  }
  return evenNul * 2 > pairs || oddNul * 2 > pairs;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool startsWithNoCase(const char* p, const char* word) {
  for (; *word; ++p, ++word) {
    char c = *p;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != *word) return false;
  }
  return true;
}

}  // namespace

namespace xml_detail {
const unsigned char* currentLengths() { return tableFor(gEncoding); }
bool trimWhitespaceOn() { return gTrimWhitespace; }
bool guessWideCharsOn() { return gGuessWideChars; }
}  // namespace xml_detail

bool XmlNode::setEncoding(int encoding) {
  if (tableFor(encoding) == nullptr) return true;
  gEncoding = encoding;
  return false;
}

int XmlNode::getEncoding() { return gEncoding; }

int XmlNode::characterLength(int encoding, uint8_t lead) {
  const unsigned char* t = tableFor(encoding);
  return t ? t[lead] : 1;
}

void XmlNode::setGuessWideChars(bool on) { gGuessWideChars = on; }
void XmlNode::setTrimWhitespace(bool on) { gTrimWhitespace = on; }

int XmlNode::guessEncoding(const char* text, size_t length) {
  if (text == nullptr || length < 25) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  if (gGuessWideChars && looksLikeUtf16(bytes, length)) return 0;
  if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return kXmlUtf8;

  int scan = kXmlUtf8;
  const unsigned char* utf8 = tables().utf8;
  for (size_t i = 0; i < length && bytes[i] != 0;) {
    const size_t k = utf8[bytes[i]];
    bool valid = true;
    for (size_t j = 1; j < k && i + j < length; ++j) {
      if ((bytes[i + j] & 0xC0) != 0x80) {
        valid = false;
        break;
      }
    }
    if (!valid) {
      scan = kXmlLegacy;
      break;
    }
    i += k;
  }

  char head[201];
  const size_t n = std::min<size_t>(length, 200);
  std::memcpy(head, text, n);
  head[n] = '\0';
  const char* p = std::strstr(head, "encoding");
  if (p == nullptr) return scan;
  p += 8;
  while (isSpace(*p)) ++p;
  if (*p != '=') return scan;
  ++p;
  while (isSpace(*p)) ++p;
  if (*p != '"' && *p != '\'') return scan;
  ++p;
  while (isSpace(*p)) ++p;

  if (startsWithNoCase(p, "utf-8") || startsWithNoCase(p, "utf8")) return scan == kXmlUtf8 ? kXmlUtf8 : 0;
  if (startsWithNoCase(p, "shiftjis") || startsWithNoCase(p, "shift-jis") || startsWithNoCase(p, "sjis")) {
    return kXmlShiftJis;
  }
  return kXmlLegacy;
}
