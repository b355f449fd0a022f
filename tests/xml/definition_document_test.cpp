// The definition-document helper: encoding carried between documents and the
// exact message shown for every nonzero code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/support.h"
#include "xml/xml.h"

namespace {

class DefinitionDocument : public ::testing::Test {
 protected:
  void SetUp() override { XmlNode::setEncoding(kXmlUtf8); }
  void TearDown() override { XmlNode::setEncoding(kXmlUtf8); }

  static XmlNode parseDoc(const char* path, const std::string& text) {
    return parseDefinitionDocument(path, text.c_str(), text.size(), "QXDataXml");
  }
  // What the helper writes to stderr for `text`, run in a child process.
  static std::string messageFor(const char* path, const std::string& text) {
    const auto r = testing_support::runInChild([&] {
      XmlNode n = parseDoc(path, text);
      std::exit(n.isEmpty() ? 7 : 0);
    });
    EXPECT_EQ(r.exitStatus, 7);
    return r.stdErr;
  }
};

TEST_F(DefinitionDocument, ValidDocumentIsReturnedSilently) {
  const auto r = testing_support::runInChild([] {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<QXDataXml name=\"qdfDefine\">\n  <QdfEntry id=\"intro\" path=\"data\\qdf\\intro.qdf\"/>\n"
        "</QXDataXml>\n";
    XmlNode root = parseDoc("data\\definition\\qdfDefine.xml", text);
    const char* path = root.getChild("QdfEntry", 0).getAttribute("path");
    std::exit(path != nullptr && std::strcmp(path, "data\\qdf\\intro.qdf") == 0 ? 5 : 1);
  });
  EXPECT_EQ(r.exitStatus, 5);
  EXPECT_EQ(r.stdErr, "");
}

TEST_F(DefinitionDocument, MessageForWrongRoot) {
  EXPECT_EQ(messageFor("data\\definition\\x.xml", "<Other name=\"qdfDefine\"/>"),
            "XML Parsing error: XML Parsing error inside file 'data\\definition\\x.xml'.\n"
            "Error: First Tag not found\nAt line 0, column 0.\nFirst Tag should be 'QXDataXml'.\n\n");
}

TEST_F(DefinitionDocument, WarningsAreFailuresToo) {
  EXPECT_EQ(messageFor("a.xml", "<QXDataXml>\n <Entry>\n</QXDataXml>"),
            "XML Parsing error: XML Parsing error inside file 'a.xml'.\n"
            "Warning: Unmatched end tag\nAt line 3, column 1.\n\n");
  EXPECT_EQ(messageFor("b.xml", "<QXDataXml>&nbsp;</QXDataXml>"),
            "XML Parsing error: XML Parsing error inside file 'b.xml'.\n"
            "Error: Unknown character entity\nAt line 1, column 12.\n\n");
}

TEST_F(DefinitionDocument, MessageText) {
  XmlResults r;
  r.code = XmlError::UnmatchedEndTag;
  r.line = 4;
  r.column = 9;
  EXPECT_EQ(xmlParseMessage("p.xml", r, "QXDataXml"),
            "XML Parsing error inside file 'p.xml'.\nError: Unmatched end tag\nAt line 4, column 9.\n");
  EXPECT_STREQ(kXmlMessageCaption, "XML Parsing error");
}

TEST_F(DefinitionDocument, EncodingCarriesOverFromPreviousDocument) {
  // A Shift-JIS document sets the encoding...
  const std::string sjis =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?><QXDataXml name=\"x\"/>";
  const std::string sjisDeclared =
      "<?xml version=\"1.0\" encoding=\"shift-jis\" ?><QXDataXml name=\"x\"/>";
  EXPECT_FALSE(parseDoc("a.xml", sjisDeclared).isEmpty());
  EXPECT_EQ(XmlNode::getEncoding(), kXmlShiftJis);

  // ...and a document under 25 bytes is read with it: 0xE0 0x40 is one
  // character there, while UTF-8 stepping would swallow the closing quote.
  const std::string tiny = "<QXDataXml n=\"\xE0\x40\"/>";
  ASSERT_LT(tiny.size(), 25u);
  XmlNode root = parseDoc("b.xml", tiny);
  ASSERT_FALSE(root.isEmpty());
  EXPECT_STREQ(root.getAttribute("n"), "\xE0\x40");
  XmlNode::setEncoding(kXmlUtf8);
  XmlResults results;
  EXPECT_STREQ(XmlNode::parseText(tiny.c_str(), nullptr, results).getAttribute("n"), "\xE0\x40\"");
  XmlNode::setEncoding(kXmlShiftJis);
  EXPECT_EQ(XmlNode::getEncoding(), kXmlShiftJis);

  // A longer ASCII document switches back; the unknown spelling is legacy.
  EXPECT_FALSE(parseDoc("c.xml", "<QXDataXml name=\"sceneLineDefine\"/>").isEmpty());
  EXPECT_EQ(XmlNode::getEncoding(), kXmlUtf8);
  EXPECT_FALSE(parseDoc("d.xml", sjis).isEmpty());
  EXPECT_EQ(XmlNode::getEncoding(), kXmlLegacy);
}

TEST_F(DefinitionDocument, NullTextFails) {
  const auto r = testing_support::runInChild([] {
    XmlNode n = parseDefinitionDocument("none.xml", nullptr, 0, "QXDataXml");
    std::exit(n.isEmpty() ? 7 : 0);
  });
  EXPECT_EQ(r.exitStatus, 7);
  EXPECT_EQ(r.stdErr,
            "XML Parsing error: XML Parsing error inside file 'none.xml'.\n"
            "Error: No elements found\nAt line 0, column 0.\n\n");
}

}  // namespace
