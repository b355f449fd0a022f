// Pack file and entry views: validation of the pack, entry lookup, reads,
// seeks, lines, the stream wrapper and every critical error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "files/files.h"
#include "support/support.h"

using testing_support::bytes;
using testing_support::TempDir;

namespace {

std::vector<uint8_t> packBytes(const std::vector<PackSource>& files) {
  TempDir dir;
  testing_support::makePack(dir.file("p.pak"), files);
  return testing_support::readFile(dir.file("p.pak"));
}

// Installs raw pack bytes and reports the problem text, or null.
const char* installRaw(const TempDir& dir, const std::vector<uint8_t>& raw) {
  testing_support::writeFile(dir.file("raw.pak"), raw);
  return installPackage(std::fopen(dir.file("raw.pak").c_str(), "rb"));
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::installPack(dir, {{"data\\a.txt", bytes("0123456789")},
                                       {"data\\empty.bin", {}},
                                       {"data\\lines.txt", bytes("first\nsecond line\nlast")},
                                       {"data\\dup.txt", bytes("one")},
                                       {"data\\dup.txt", bytes("two")},
                                       {"data\\x.tar.gz", bytes("z")},
                                       {"data\\dir.v2\\noext", bytes("n")}});
  }
  void TearDown() override { closePackage(); }
  TempDir dir;
};

TEST(PackValidation, HeaderVersionAndTableChecks) {
  TempDir dir;
  const std::vector<uint8_t> good = packBytes({{"a", bytes("abc")}});
  EXPECT_EQ(installRaw(dir, good), nullptr);
  closePackage();

  for (size_t i = 0; i < 8; ++i) {
    auto bad = good;
    bad[i] ^= 0x20;
    EXPECT_STREQ(installRaw(dir, bad), critical::kPackHeader) << "byte " << i;
  }
  auto v2 = good;
  v2[8] = 2;
  EXPECT_STREQ(installRaw(dir, v2), critical::kPackVersion);
  auto zero = good;
  zero[12] = 0;
  EXPECT_STREQ(installRaw(dir, zero), critical::kPackEntries);
  // A count whose table the file cannot hold is rejected, not read as garbage.
  auto huge = good;
  huge[12] = 0xff;
  huge[13] = 0xff;
  EXPECT_STREQ(installRaw(dir, huge), critical::kPackEntries);
  auto truncated = good;
  truncated.resize(16 + 100);
  EXPECT_STREQ(installRaw(dir, truncated), critical::kPackEntries);
  EXPECT_STREQ(installRaw(dir, bytes("NOVA")), critical::kPackHeader);
  EXPECT_STREQ(installRaw(dir, bytes("NOVAPACK")), critical::kPackVersion);
}

TEST(PackValidation, OpenPackageEndsTheProcessWithExactMessages) {
  TempDir dir;
  auto inDir = [&](const std::vector<uint8_t>* raw) {
    return testing_support::runInChild([&] {
      if (raw) testing_support::writeFile(dir.file("vesper.pak"), *raw);
      if (chdir(dir.path().c_str()) != 0) _exit(99);
      openPackage();
    });
  };
  auto r = inDir(nullptr);
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr, std::string(critical::kPackOpen) + "\n");

  auto raw = packBytes({{"a", bytes("abc")}});
  raw[8] = 7;
  r = inDir(&raw);
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr, std::string(critical::kPackVersion) + "\n");

  raw = packBytes({{"a", bytes("abc")}});
  r = inDir(&raw);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.stdErr, "");
}

TEST_F(PackTest, LookupIsExactAndFirstDuplicateWins) {
  CoreFile f("data\\dup.txt", MODE_READ);
  char buf[4] = {};
  EXPECT_EQ(f.read(buf, 3), 3);
  EXPECT_STREQ(buf, "one");
  EXPECT_CRITICAL_ENTRY(CoreFile g("DATA\\a.txt", MODE_READ), critical::kFileNotFound, "DATA\\a.txt");
  EXPECT_CRITICAL_ENTRY(CoreFile g("data/a.txt", MODE_READ), critical::kFileNotFound, "data/a.txt");
  EXPECT_CRITICAL_ENTRY(CoreFile g("data\\a.tx", MODE_READ), critical::kFileNotFound, "data\\a.tx");
  EXPECT_CRITICAL_ENTRY(CoreFile g(nullptr, MODE_READ), critical::kFileNotFound, "(none)");
  // Any mode but read is refused even for an existing name.
  EXPECT_CRITICAL_ENTRY(CoreFile g("data\\a.txt", 1), critical::kPackWriteMode, "data\\a.txt");
  EXPECT_CRITICAL_ENTRY(CoreFile g("data\\a.txt", 3), critical::kPackWriteMode, "data\\a.txt");
}

TEST_F(PackTest, NamesAndExtensions) {
  CoreFile a("data\\a.txt", MODE_READ);
  EXPECT_EQ(a.getName(), "data\\a.txt");
  EXPECT_EQ(a.getExtension(), "txt");
  EXPECT_EQ(CoreFile("data\\x.tar.gz", MODE_READ).getExtension(), "gz");
  EXPECT_EQ(CoreFile("data\\dir.v2\\noext", MODE_READ).getExtension(), "");
  EXPECT_EQ(a.getSize(), 10u);
}

TEST_F(PackTest, EmptyEntryOpensAtEndAndLoadsAsEmptyText) {
  CoreFile f("data\\empty.bin", MODE_READ);
  EXPECT_EQ(f.getSize(), 0u);
  EXPECT_EQ(f.isEof(), 1);
  const std::vector<char> text = loadEntryText("data\\empty.bin");
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0], '\0');
  EXPECT_STREQ(loadEntryText("data\\a.txt").data(), "0123456789");
}

TEST_F(PackTest, ReadsPastTheEntryDeliverWhatFollowsAndStopAtThePackEnd) {
  CoreFile a("data\\a.txt", MODE_READ);
  a.seek(6, 0);
  char buf[16] = {};
  EXPECT_EQ(a.read(buf, 10), 10);
  // The empty entry stores nothing, so the lines entry follows directly.
  EXPECT_EQ(std::string(buf, 10), "6789first\n");
  EXPECT_EQ(a.getPosition(), 16u);
  EXPECT_EQ(a.isEof(), 1);

  CoreFile last("data\\dir.v2\\noext", MODE_READ);
  char tail[8] = {};
  EXPECT_EQ(last.read(tail, 8), 1);  // the pack ends after this entry's byte
  EXPECT_EQ(last.getPosition(), 8u);
  EXPECT_EQ(last.read(tail, -5), 0);  // a negative count reads nothing
  EXPECT_EQ(last.getPosition(), 8u);
}

TEST_F(PackTest, SeekOriginsOnFileAndStream) {
  CoreFile f("data\\a.txt", MODE_READ);
  EXPECT_EQ(f.seek(5, 0), 0);
  EXPECT_EQ(f.getChar(), '5');
  f.seek(-3, 1);
  EXPECT_EQ(f.getChar(), '3');
  f.seek(2, 7);  // unknown origin: nothing happens
  EXPECT_EQ(f.getChar(), '4');
  EXPECT_EQ(f.ungetChar('4'), '4');
  EXPECT_EQ(f.getChar(), '4');
  EXPECT_CRITICAL_ENTRY(f.seek(0, 2), critical::kNotSupported, "data\\a.txt");
  EXPECT_CRITICAL_ENTRY(f.write("x", 1, 0), critical::kWriteUnsupported, "data\\a.txt");

  CoreFileStream s(&f);
  EXPECT_TRUE(s.isOpen());
  EXPECT_TRUE(s.isValid());
  s.seek(2, 1);  // stream origin 1 = from the entry start
  EXPECT_EQ(s.getChar(), '2');
  s.seek(4, 0);  // stream origin 0 = from the current position
  EXPECT_EQ(s.getChar(), '7');
  EXPECT_CRITICAL_ENTRY(s.seek(0, 2), critical::kNotSupported, "data\\a.txt");
  EXPECT_EQ(s.getSize(), 10u);
  EXPECT_EQ(s.getExtension(), "txt");
  EXPECT_FALSE(s.hasError());
  CoreFileStream none;
  EXPECT_FALSE(none.isOpen());
}

TEST_F(PackTest, LinesKeepTheirFeedAndEndAtTheData) {
  CoreFile f("data\\lines.txt", MODE_READ);
  char line[64];
  ASSERT_NE(f.getLine(line, sizeof line), nullptr);
  EXPECT_STREQ(line, "first\n");
  ASSERT_NE(f.getLine(line, 5), nullptr);  // capacity 5 leaves room for 4 bytes
  EXPECT_STREQ(line, "seco");
  ASSERT_NE(f.getLine(line, sizeof line), nullptr);
  EXPECT_STREQ(line, "nd line\n");
  EXPECT_EQ(f.getPosition(), 18u);
}

TEST_F(PackTest, StreamScanReadsNumbersAndWords) {
  TempDir other;
  testing_support::installPack(other, {{"s", bytes("  42 -3.5e1\tword  7x")}});
  CoreFile f("s", MODE_READ);
  CoreFileStream s(&f);
  int32_t i = 0, j = 0;
  float x = 0;
  char word[32] = {};
  EXPECT_EQ(s.scan("%d %f %s %d", &i, &x, word, &j), 0);
  EXPECT_EQ(i, 42);
  EXPECT_FLOAT_EQ(x, -35.0f);
  EXPECT_STREQ(word, "word");
  EXPECT_EQ(j, 7);
}

}  // namespace
