// The definition-document helper: encoding guess, parse with a required
// root element, and one message box for any problem.
#include <algorithm>
#include <cstdio>

#include "platform/platform.h"
#include "xml/xml.h"

std::string xmlParseMessage(const char* pPath, const XmlResults& results, const char* pRootName) {
  const bool firstTag = results.code == XmlError::FirstTagNotFound;
  const char* format = "XML Parsing error inside file '%s'.\n%s\nAt line %i, column %i.\n%s%s%s";
  const char* path = pPath ? pPath : "";
  const char* root = pRootName ? pRootName : "";
  const char* message = XmlNode::errorMessage(results.code);
  const char* before = firstTag ? "First Tag should be '" : "";
  const char* name = firstTag ? root : "";
  const char* after = firstTag ? "'.\n" : "";
  const int n = std::snprintf(nullptr, 0, format, path, message, results.line, results.column, before,
                              name, after);
  if (n <= 0) return std::string();
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, path, message, results.line, results.column, before,
                name, after);
  text.resize(static_cast<size_t>(n));
  return text;
}

XmlNode parseDefinitionDocument(const char* pPath, const char* text, size_t length,
                                const char* pRootName) {
  if (text != nullptr) {
    // An undecided guess is refused by setEncoding, so the previous
    // document's encoding carries over.
    XmlNode::setEncoding(XmlNode::guessEncoding(text, std::min<size_t>(length, 200)));
  }
  XmlResults results;
  XmlNode root = XmlNode::parseText(text, pRootName, results);
  if (results.code != XmlError::None) {
    platform::messageBox(kXmlMessageCaption, xmlParseMessage(pPath, results, pRootName).c_str());
    return XmlNode();
  }
  return root;
}
