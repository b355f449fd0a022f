// The XML reader: tree shape, error codes with positions, entities, text
// handling, attributes and name matching.
#include <gtest/gtest.h>

#include <string>

#include "xml/xml.h"

namespace {

class XmlParse : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    XmlNode::setEncoding(kXmlUtf8);
    XmlNode::setTrimWhitespace(true);
    XmlNode::setGuessWideChars(true);
  }

  XmlNode parse(const char* text, const char* root = nullptr) { return XmlNode::parseText(text, root, results); }

  XmlResults results;
};

TEST_F(XmlParse, DefinitionRootWithAttributesAndChildren) {
  XmlNode root = parse(R"(<QXDataXml name="qdfDefine"><QdfEntry id="a" path="data\qdf\a.qdf"/></QXDataXml>)",
                       "QXDataXml");
  ASSERT_FALSE(root.isEmpty());
  EXPECT_EQ(results.code, XmlError::None);
  EXPECT_STREQ(root.getName(), "QXDataXml");
  EXPECT_STREQ(root.getAttribute("name"), "qdfDefine");
  EXPECT_STREQ(root.getAttribute("NAME"), "qdfDefine");
  ASSERT_EQ(root.countChildren("QdfEntry"), 1);
  XmlNode entry = root.getChild("QdfEntry", 0);
  EXPECT_STREQ(entry.getAttribute("path"), "data\\qdf\\a.qdf");
  EXPECT_EQ(entry.countChildren(), 0);
  EXPECT_EQ(entry.getParent(), root);
  // The root is the only top-level entry, so it is the result itself.
  EXPECT_TRUE(root.getParent().isEmpty());
}

TEST_F(XmlParse, RootFoundInsideDeclaration) {
  const char* text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QXDataXml name=\"x\"><a/></QXDataXml>";
  XmlNode root = parse(text, "QXDataXml");
  ASSERT_FALSE(root.isEmpty());
  EXPECT_EQ(results.code, XmlError::None);
  EXPECT_STREQ(root.getName(), "QXDataXml");
  EXPECT_EQ(root.countChildren("a"), 1);
  // The declaration went with the parse; the root survives detached.
  EXPECT_TRUE(root.getParent().isEmpty());

  // Without a root name the declaration is the result, holding the root.
  XmlNode declaration = parse(text);
  ASSERT_FALSE(declaration.isEmpty());
  EXPECT_TRUE(declaration.isDeclaration());
  EXPECT_STREQ(declaration.getName(), "xml");
  EXPECT_STREQ(declaration.getChildAt(0).getName(), "QXDataXml");
  // The final "?" belongs to no attribute.
  ASSERT_EQ(declaration.countAttributes(), 2);
  EXPECT_STREQ(declaration.getAttribute("version"), "1.0");
  EXPECT_STREQ(declaration.getAttribute("encoding"), "utf-8");

  // An unquoted final value and a bare declaration name lose the "?" too.
  EXPECT_STREQ(parse("<?xml version=1.0?><r/>").getAttribute("version"), "1.0");
  EXPECT_STREQ(parse("<?xml?><r/>").getName(), "xml");

  // Nested declarations are entered one after another.
  EXPECT_STREQ(parse("<?a?><?b?><r/>", "r").getName(), "r");
  EXPECT_EQ(results.code, XmlError::None);
}

TEST_F(XmlParse, FirstTagNotFound) {
  EXPECT_TRUE(parse("<Other name=\"x\"/>", "QXDataXml").isEmpty());
  EXPECT_EQ(results.code, XmlError::FirstTagNotFound);
  EXPECT_EQ(results.line, 0);
  EXPECT_EQ(results.column, 0);

  // Empty text: no element at all, still reported as the missing root.
  EXPECT_TRUE(parse("", "QXDataXml").isEmpty());
  EXPECT_EQ(results.code, XmlError::FirstTagNotFound);

  // Without a root name an empty text is only a warning with the empty top.
  XmlNode top = parse("   ");
  EXPECT_EQ(results.code, XmlError::NoXmlTagFound);
  EXPECT_FALSE(top.isEmpty());
  EXPECT_EQ(top.getName(), nullptr);

  // Elements after a declaration's "?>" are its children...
  EXPECT_STREQ(parse("<?xml?><a/><QXDataXml/>", "QXDataXml").getName(), "QXDataXml");
  // ...and the walk does not climb back out of a declaration it entered.
  EXPECT_TRUE(parse("<?x/><QXDataXml/>", "QXDataXml").isEmpty());
  EXPECT_EQ(results.code, XmlError::FirstTagNotFound);

  // No text at all.
  EXPECT_TRUE(parse(nullptr, "QXDataXml").isEmpty());
  EXPECT_EQ(results.code, XmlError::NoElementsFound);
}

TEST_F(XmlParse, UnmatchedEndTags) {
  // The child's end tag is missing: the parent's end tag closes both.
  XmlNode root = parse("<root>\n  <child>\n</root>", "root");
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTagWarning);
  EXPECT_EQ(results.line, 3);
  EXPECT_EQ(results.column, 1);
  ASSERT_FALSE(root.isEmpty());
  EXPECT_EQ(root.countChildren("child"), 1);

  // A later element lands beside the root, not inside it: both were closed.
  XmlNode top = parse("<a><b></a><c/>");
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTagWarning);
  EXPECT_EQ(top.getName(), nullptr);
  EXPECT_EQ(top.countChildren(), 2);
  EXPECT_EQ(top.getChildAt(0).countChildren(), 1);

  // An end tag that matches no open element.
  EXPECT_TRUE(parse("<a>\n</b>").isEmpty());
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTag);
  EXPECT_EQ(results.line, 2);
  EXPECT_EQ(results.column, 1);
  EXPECT_TRUE(parse("<a></a></a>").isEmpty());
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTag);
  EXPECT_EQ(results.column, 8);

  // Still open at the end of the text: warning at the end position.
  parse("<a>\n<b>x");
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTagWarning);
  EXPECT_EQ(results.line, 2);
  EXPECT_EQ(results.column, 5);
  // A declaration left open is not a fault.
  parse("<?xml?><a/>");
  EXPECT_EQ(results.code, XmlError::None);
}

TEST_F(XmlParse, MalformedTags) {
  struct Case {
    const char* text;
    XmlError code;
    int line;
    int column;
  };
  const Case cases[] = {
      {"<a><>", XmlError::MissingStartTagName, 1, 5},
      {"<a>< =x/>", XmlError::MissingStartTagName, 1, 6},
      {"<a></ >", XmlError::MissingEndTagName, 1, 7},
      {"<a></a b>", XmlError::MissingEndTagName, 1, 8},
      {"<a><b x=>", XmlError::UnexpectedToken, 1, 9},
      {"<a><b =x>", XmlError::UnexpectedToken, 1, 7},
      {"<a><b \"q\">", XmlError::UnexpectedToken, 1, 7},
      {"<a><b <c>", XmlError::UnexpectedToken, 1, 7},
      {"<a><b", XmlError::UnexpectedToken, 1, 6},
      {"<a>\n<![CDATA[never closed", XmlError::UnmatchedClearTagEnd, 2, 1},
      {"<a>&bogus;</a>", XmlError::UnknownCharacterEntity, 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(parse(c.text).isEmpty());
    EXPECT_EQ(results.code, c.code);
    EXPECT_EQ(results.line, c.line);
    EXPECT_EQ(results.column, c.column);
  }
  // With no element at all, the "no tag" warning replaces the error but
  // keeps its position: here the very first character.
  parse("&x; <a/>");
  EXPECT_EQ(results.code, XmlError::NoXmlTagFound);
  EXPECT_EQ(results.line, 1);
  EXPECT_EQ(results.column, 1);
  parse("<>");
  EXPECT_EQ(results.code, XmlError::NoXmlTagFound);
  EXPECT_EQ(results.column, 2);
}

TEST_F(XmlParse, Entities) {
  XmlNode a = parse("<a v=\"&lt;&amp;&gt;&quot;&apos;\">&#65;&#x42;&#X63;&#x4a;</a>");
  ASSERT_FALSE(a.isEmpty());
  EXPECT_STREQ(a.getAttribute("v"), "<&>\"'");
  EXPECT_STREQ(a.getText(0), "ABcJ");
  // Numeric values wrap to a byte.
  EXPECT_STREQ(parse("<a>&#321;</a>").getText(0), "A");

  for (const char* bad : {"<a>&amp</a>", "<a>&#12a;</a>", "<a>&#x;</a>", "<a>&#;</a>", "<a>&#xG1;</a>",
                          "<a>&AMP;</a>", "<a v='&nope;'/>", "<a>x & y</a>", "<a>&#65</a>"}) {
    SCOPED_TRACE(bad);
    EXPECT_TRUE(parse(bad).isEmpty());
    EXPECT_EQ(results.code, XmlError::UnknownCharacterEntity);
  }
  // Names and raw sections are not decoded.
  XmlNode raw = parse("<a><![CDATA[&bogus; <b>]]></a>");
  ASSERT_EQ(raw.countRawSections(), 1);
  EXPECT_STREQ(raw.getRawSection(0).text, "&bogus; <b>");
}

TEST_F(XmlParse, TextBlocksAndInterleaving) {
  XmlNode a = parse("<a>\n\t  \r\n<b/>  hello   world \n<c/><!-- note --><d/>tail</a>");
  ASSERT_FALSE(a.isEmpty());
  ASSERT_EQ(a.countTexts(), 2);
  EXPECT_STREQ(a.getText(0), "hello   world");
  EXPECT_STREQ(a.getText(1), "tail");
  ASSERT_EQ(a.countRawSections(), 1);
  EXPECT_STREQ(a.getRawSection(0).text, " note ");
  EXPECT_STREQ(a.getRawSection(0).openMarker, "<!--");
  EXPECT_STREQ(a.getRawSection(0).closeMarker, "-->");

  const XmlEntryKind kinds[] = {XmlEntryKind::Child, XmlEntryKind::Text, XmlEntryKind::Child,
                                XmlEntryKind::Raw,   XmlEntryKind::Child, XmlEntryKind::Text};
  const int indices[] = {0, 0, 1, 0, 2, 1};
  ASSERT_EQ(a.countEntries(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(a.getEntry(i).kind, kinds[i]) << i;
    EXPECT_EQ(a.getEntry(i).index, indices[i]) << i;
  }

  XmlNode::setTrimWhitespace(false);
  XmlNode untrimmed = parse("<a> x </a>");
  EXPECT_STREQ(untrimmed.getText(0), " x ");
}

TEST_F(XmlParse, RawSections) {
  XmlNode top = parse("<!DOCTYPE r [ <!ENTITY e \"v\"> ]><r><PRE><b>raw</PRE><Script>if(a<b)</Script>"
                      "<pre>element</pre></r>");
  EXPECT_EQ(results.code, XmlError::None);
  ASSERT_EQ(top.countRawSections(), 1);
  EXPECT_STREQ(top.getRawSection(0).text, " r [ <!ENTITY e \"v\"> ");
  EXPECT_STREQ(top.getRawSection(0).closeMarker, "]>");
  XmlNode r = top.getChild("r", 0);
  ASSERT_EQ(r.countRawSections(), 2);
  EXPECT_STREQ(r.getRawSection(0).text, "<b>raw");
  EXPECT_STREQ(r.getRawSection(1).text, "if(a<b)");
  // Markers are case-sensitive: "<pre>" is an element.
  EXPECT_EQ(r.countChildren("pre"), 1);

  XmlNode simple = parse("<!DOCTYPE html><r/>");
  EXPECT_STREQ(simple.getRawSection(0).text, " html");
  EXPECT_STREQ(simple.getRawSection(0).closeMarker, ">");
  EXPECT_STREQ(parse("<!DOCTYPE html><r/>", "r").getName(), "r");
}

TEST_F(XmlParse, AttributeForms) {
  XmlNode a = parse("<a flag plain=v1 single='s v' double=\"d'v\" empty=\"\" cut=\"x></a>");
  ASSERT_FALSE(a.isEmpty()) << XmlNode::errorMessage(results.code);
  EXPECT_EQ(a.getAttribute("flag"), nullptr);
  EXPECT_EQ(a.countAttributes(), 6);
  EXPECT_STREQ(a.getAttributeName(0), "flag");
  EXPECT_STREQ(a.getAttribute("plain"), "v1");
  EXPECT_STREQ(a.getAttribute("single"), "s v");
  EXPECT_STREQ(a.getAttribute("double"), "d'v");
  EXPECT_STREQ(a.getAttribute("empty"), "");
  // No closing quote before "<": the quote is dropped, the word stays.
  EXPECT_STREQ(a.getAttribute("cut"), "x");
  EXPECT_EQ(a.getAttribute("absent"), nullptr);

  XmlNode closed = parse("< a  x = \"1\"\n y\t=2/>", "a");
  ASSERT_FALSE(closed.isEmpty());
  EXPECT_STREQ(closed.getAttribute("x"), "1");
  EXPECT_STREQ(closed.getAttribute("y"), "2");
}

TEST_F(XmlParse, CaseInsensitiveQueries) {
  XmlNode root = parse("<Root><Entry n='0'/><entry n='1'/><other/><ENTRY n='2'/></ROOT>", "rOOt");
  ASSERT_FALSE(root.isEmpty());
  EXPECT_EQ(results.code, XmlError::None);
  EXPECT_EQ(root.countChildren("entry"), 3);
  EXPECT_STREQ(root.getChild("eNtRy", 2).getAttribute("N"), "2");
  EXPECT_TRUE(root.getChild("entry", 3).isEmpty());
  EXPECT_TRUE(root.getChild("entry", -1).isEmpty());
  EXPECT_TRUE(root.getChildAt(4).isEmpty());
  EXPECT_STREQ(root.getChildAt(2).getName(), "other");

  int position = 0;
  EXPECT_STREQ(root.findNextChild("ENTRY", position).getAttribute("n"), "0");
  EXPECT_EQ(position, 1);
  EXPECT_STREQ(root.findNextChild("entry", position).getAttribute("n"), "1");
  EXPECT_STREQ(root.findNextChild("entry", position).getAttribute("n"), "2");
  EXPECT_EQ(position, 4);
  EXPECT_TRUE(root.findNextChild("entry", position).isEmpty());
  EXPECT_EQ(position, 4);

  // A prefix is not a match, in either direction.
  EXPECT_EQ(root.countChildren("entr"), 0);
  EXPECT_EQ(root.countChildren("entryx"), 0);
  parse("<a></ab>");
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTag);
}

TEST_F(XmlParse, EmptyNodeAnswersNothing) {
  XmlNode empty;
  EXPECT_EQ(empty.getName(), nullptr);
  EXPECT_FALSE(empty.isDeclaration());
  EXPECT_EQ(empty.getAttribute("a"), nullptr);
  EXPECT_EQ(empty.countChildren("a"), 0);
  EXPECT_TRUE(empty.getChild("a", 0).isEmpty());
  EXPECT_TRUE(empty.getChildAt(0).isEmpty());
  EXPECT_TRUE(empty.getParent().isEmpty());
  int position = 3;
  EXPECT_TRUE(empty.findNextChild("a", position).isEmpty());
  EXPECT_EQ(position, 3);
  EXPECT_EQ(empty.getText(0), nullptr);
  EXPECT_EQ(empty.getRawSection(0).text, nullptr);
  EXPECT_EQ(empty.countEntries(), 0);
}

TEST_F(XmlParse, ChildrenOutliveTheirParent) {
  XmlNode child;
  XmlNode grandChild;
  {
    XmlNode root = parse("<r><c><g name='kept'/></c><d/></r>", "r");
    child = root.getChild("c", 0);
    grandChild = child.getChild("g", 0);
    EXPECT_EQ(child.getParent(), root);
  }
  ASSERT_FALSE(child.isEmpty());
  EXPECT_TRUE(child.getParent().isEmpty());  // detached
  EXPECT_STREQ(child.getName(), "c");
  EXPECT_EQ(grandChild.getParent(), child);
  child = XmlNode();
  EXPECT_TRUE(grandChild.getParent().isEmpty());
  EXPECT_STREQ(grandChild.getAttribute("name"), "kept");

  // Copies share the node; moves leave the source empty.
  XmlNode copy = grandChild;
  EXPECT_EQ(copy, grandChild);
  XmlNode moved = std::move(copy);
  EXPECT_TRUE(copy.isEmpty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved, grandChild);
}

TEST_F(XmlParse, DeepNestingIsHandledWithoutRecursion) {
  std::string text;
  const int depth = 100000;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  XmlNode a = parse(text.c_str(), "a");
  ASSERT_FALSE(a.isEmpty());
  EXPECT_EQ(results.code, XmlError::None);
  int levels = 0;
  for (XmlNode n = a; !n.isEmpty(); n = n.getChildAt(0)) ++levels;
  EXPECT_EQ(levels, depth);
}

TEST_F(XmlParse, ErrorMessages) {
  EXPECT_STREQ(XmlNode::errorMessage(XmlError::None), "No error");
  EXPECT_STREQ(XmlNode::errorMessage(XmlError::UnmatchedEndTagWarning), "Warning: Unmatched end tag");
  EXPECT_STREQ(XmlNode::errorMessage(XmlError::FirstTagNotFound), "Error: First Tag not found");
  EXPECT_STREQ(XmlNode::errorMessage(XmlError::UnknownCharacterEntity), "Error: Unknown character entity");
  EXPECT_STREQ(XmlNode::errorMessage(XmlError::Base64BufferTooSmall),
               "Error: Base64 decode output buffer is too small");
  EXPECT_STREQ(XmlNode::errorMessage(20), "Unknown");
  EXPECT_STREQ(XmlNode::errorMessage(-1), "Unknown");
}

}  // namespace
