// Encodings: length tables, the guess, the setting, and column counting of
// multi-byte characters.
#include <gtest/gtest.h>

#include <string>

#include "xml/xml.h"

namespace {

class XmlEncodingTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    XmlNode::setEncoding(kXmlUtf8);
    XmlNode::setGuessWideChars(true);
  }
  static int guess(const std::string& text) { return XmlNode::guessEncoding(text.data(), text.size()); }
};

TEST_F(XmlEncodingTest, LengthTables) {
  struct Row {
    int encoding;
    int lengths[256];
  };
  // Expected lengths built range by range from the tables' definition.
  auto fill = [](int* l, int from, int to, int n) {
    for (int b = from; b <= to; ++b) l[b] = n;
  };
  Row utf8{kXmlUtf8, {}};
  fill(utf8.lengths, 0x01, 0xC1, 1);
  fill(utf8.lengths, 0xC2, 0xDF, 2);
  fill(utf8.lengths, 0xE0, 0xEF, 3);
  fill(utf8.lengths, 0xF0, 0xF4, 4);
  fill(utf8.lengths, 0xF5, 0xFF, 1);
  Row legacy{kXmlLegacy, {}};
  fill(legacy.lengths, 0x01, 0xFF, 1);
  Row sjis{kXmlShiftJis, {}};
  fill(sjis.lengths, 0x01, 0x80, 1);
  fill(sjis.lengths, 0x81, 0x9F, 2);
  fill(sjis.lengths, 0xA0, 0xDF, 1);
  fill(sjis.lengths, 0xE0, 0xEF, 2);
  fill(sjis.lengths, 0xF0, 0xFF, 1);
  for (const Row* row : {&utf8, &legacy, &sjis}) {
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(XmlNode::characterLength(row->encoding, static_cast<uint8_t>(b)), row->lengths[b])
          << "encoding " << row->encoding << " byte " << b;
    }
  }
}

TEST_F(XmlEncodingTest, SetEncodingAcceptsOnlyKnownValues) {
  EXPECT_FALSE(XmlNode::setEncoding(kXmlShiftJis));
  EXPECT_EQ(XmlNode::getEncoding(), kXmlShiftJis);
  EXPECT_TRUE(XmlNode::setEncoding(0));
  EXPECT_TRUE(XmlNode::setEncoding(4));
  EXPECT_TRUE(XmlNode::setEncoding(-1));
  EXPECT_EQ(XmlNode::getEncoding(), kXmlShiftJis);
  EXPECT_FALSE(XmlNode::setEncoding(kXmlLegacy));
  EXPECT_EQ(XmlNode::getEncoding(), kXmlLegacy);
}

TEST_F(XmlEncodingTest, Guess) {
  const std::string pad = "<QXDataXml name=\"sceneLineDefine\">";
  EXPECT_EQ(guess("<a>short</a>"), 0) << "under 25 bytes";
  EXPECT_EQ(guess(pad), kXmlUtf8) << "plain ASCII scans as UTF-8";
  EXPECT_EQ(guess("\xEF\xBB\xBF" + pad), kXmlUtf8);
  EXPECT_EQ(guess(pad + "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80"), kXmlUtf8);
  EXPECT_EQ(guess(pad + "caf\xE9 ok"), kXmlLegacy) << "lone Latin-1 byte breaks UTF-8";
  // A sequence cut by the length limit is not held against the text.
  EXPECT_EQ(guess(pad + "\xE6\x97"), kXmlUtf8);

  const std::string decl = "<?xml version=\"1.0\" encoding";
  EXPECT_EQ(guess(decl + " =\r\n ' UTF-8'?><a/>"), kXmlUtf8);
  EXPECT_EQ(guess(decl + "=\"utf8\"?><a>\xE9</a>"), 0) << "declared UTF-8 over invalid bytes";
  EXPECT_EQ(guess(decl + "=\"Shift_JIS\"?><a/>"), kXmlLegacy) << "underscore is not a spelling we know";
  EXPECT_EQ(guess(decl + "=\"Shift-JIS\"?><a/>"), kXmlShiftJis);
  EXPECT_EQ(guess(decl + "=\"shiftjis\"?><a/>"), kXmlShiftJis);
  EXPECT_EQ(guess(decl + "=\"SJIS\"?><a/>"), kXmlShiftJis);
  EXPECT_EQ(guess(decl + "=\"iso-8859-1\"?><a/>"), kXmlLegacy);
  EXPECT_EQ(guess(decl + " utf-8?><a>\xE9</a>"), kXmlLegacy) << "no '=': the scan result";
  EXPECT_EQ(guess(decl + "=utf-8?><a/>"), kXmlUtf8) << "no quote: the scan result";

  // "encoding" beyond the first 200 bytes is not seen.
  EXPECT_EQ(guess(std::string(200, ' ') + "encoding=\"sjis\""), kXmlUtf8);
}

TEST_F(XmlEncodingTest, WideTextIsUndecided) {
  std::string wide;
  for (char c : std::string("<?xml version=\"1.0\"?><a>text</a>")) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  EXPECT_EQ(guess(wide), 0);
  EXPECT_EQ(guess("\xFF\xFE" + std::string(30, 'a')), 0);
  EXPECT_EQ(guess("\xFE\xFF" + std::string(30, 'a')), 0);
  XmlNode::setGuessWideChars(false);
  EXPECT_EQ(guess(wide), kXmlUtf8) << "the scan stops at the first NUL";
}

TEST_F(XmlEncodingTest, MultiByteColumns) {
  XmlResults results;
  // "é" is two bytes and one column; the bad entity starts at column 6.
  XmlNode::parseText("<a>\xC3\xA9\xC3\xA9&x;</a>", nullptr, results);
  EXPECT_EQ(results.code, XmlError::UnknownCharacterEntity);
  EXPECT_EQ(results.line, 1);
  EXPECT_EQ(results.column, 6);

  XmlNode::setEncoding(kXmlLegacy);
  XmlNode::parseText("<a>\xC3\xA9\xC3\xA9&x;</a>", nullptr, results);
  EXPECT_EQ(results.column, 8);
}

TEST_F(XmlEncodingTest, ShiftJisTrailBytesStayInsideTheirCharacter) {
  XmlNode::setEncoding(kXmlShiftJis);
  XmlResults results;
  // 0x83 0x5C is one character whose trail byte is a backslash; 0x83 0x41
  // and 0x83 0x61 are two different katakana whose trail bytes look like
  // "A" and "a" and must not be case-folded.
  XmlNode a = XmlNode::parseText("<a p=\"\x83\x5C\"><\x83\x41/></a>", nullptr, results);
  ASSERT_FALSE(a.isEmpty());
  EXPECT_STREQ(a.getAttribute("p"), "\x83\x5C");
  EXPECT_EQ(a.countChildren("\x83\x41"), 1);
  EXPECT_EQ(a.countChildren("\x83\x61"), 0);

  // A lead byte right before the terminator does not step over it.
  XmlNode::parseText("<a>\x83", nullptr, results);
  EXPECT_EQ(results.code, XmlError::UnmatchedEndTagWarning);
  EXPECT_EQ(results.column, 5);
}

}  // namespace
