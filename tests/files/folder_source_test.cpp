// The source folder as a file source: entries from files, exact names, a
// binary model built from the .mqo beside it, core files from the pack, and
// the pack's critical error naming the file a folder lacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "files/files.h"
#include "model/mqo_text.h"
#include "support/support.h"

using testing_support::bytes;
using testing_support::TempDir;

namespace {

const char kTriangle[] =
    "Metasequoia Document\nFormat Text Ver 1.0\n\n"
    "Object \"t\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n"
    "\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\nEof\n";
const char kBroken[] = "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"o\" {\n\tdepth -1\n}\nEof\n";

class FolderSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::installPack(pack, {{"data\\core\\c.txt", bytes("core")},
                                        {"data\\a.txt", bytes("packed")},
                                        {"data\\packed.txt", bytes("not a core file")}});
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"data/a.txt", "folder"},
             {"data/x/y.z", "deep"},
             {"data/model/m.mqo", kTriangle},
             {"data/model/own.mqo", kBroken},
             {"data/model/own.bmdl", "own binary"},
             {"data/model/bad.mqo", kBroken}}) {
      std::filesystem::create_directories(std::filesystem::path(src.file(name)).parent_path());
      testing_support::writeFile(src.file(name), bytes(text));
    }
    openFolder(src.path());
    addFolderDerivation("bmdl", "mqo", deriveBinaryModel);
  }
  void TearDown() override {
    closeFolder();
    closePackage();
  }
  TempDir pack, src;
};

std::string read(const char* entry) {
  CoreFile f(entry, MODE_READ);
  std::string out(f.getSize(), '\0');
  f.read(out.data(), static_cast<int32_t>(out.size()));
  return out;
}

TEST_F(FolderSourceTest, EntriesComeFromFilesModelsAndThePack) {
  std::vector<uint8_t> triangle;
  std::string error;
  int line = 0;
  ASSERT_TRUE(convertMqoText(kTriangle, sizeof kTriangle - 1, triangle, error, line)) << error;
  const struct {
    const char* entry;
    std::string bytes;     // what the entry reads
    std::string fromFile;  // the file serving it, relative to the folder; "" for the pack
  } cases[] = {
      {"data\\a.txt", "folder", "data/a.txt"},  // the folder before the pack
      {"data\\x\\y.z", "deep", "data/x/y.z"},
      {"data\\model\\m.bmdl", std::string(triangle.begin(), triangle.end()), "data/model/m.mqo"},
      {"data\\model\\own.bmdl", "own binary", "data/model/own.bmdl"},  // a written .bmdl wins
      {"data\\model\\bad.bmdl", "", "data/model/bad.mqo"},             // a broken .mqo serves nothing
      {"data\\core\\c.txt", "core", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read(c.entry), c.bytes) << c.entry;
    EXPECT_TRUE(entryExists(c.entry)) << c.entry;
    EXPECT_EQ(folderFileOf(c.entry), c.fromFile.empty() ? "" : src.file(c.fromFile)) << c.entry;
  }
  EXPECT_STREQ(loadEntryText("data\\x\\y.z").data(), "deep");
  // Lines and characters over a file held in memory, and nothing after it.
  CoreFile lines("data\\x\\y.z", MODE_READ);
  char buf[8] = {};
  EXPECT_STREQ(lines.getLine(buf, sizeof buf), "deep");
  EXPECT_EQ(lines.getChar(), EOF);

  const std::vector<FileProblem> problems = takeFolderProblems();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].text(), src.file("data/model/bad.mqo") + ":5: depth out of range");
  // Each file once, with the entry it served.
  const std::vector<FolderRead>& reads = folderReads();
  EXPECT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads.front().file, src.file("data/a.txt"));
  EXPECT_EQ(reads.front().entry, "data\\a.txt");
}

TEST_F(FolderSourceTest, NamesCompareAsInThePackAndMissingFilesAreNamed) {
  // Only core files come from the pack.
  for (const char* entry : {"DATA\\a.txt", "data\\x\\Y.z", "data\\missing.txt", "data\\packed.txt"}) {
    EXPECT_FALSE(entryExists(entry)) << entry;
    std::string file = src.path() + "/" + entry;
    std::replace(file.begin(), file.end(), '\\', '/');
    EXPECT_CRITICAL_ENTRY(CoreFile f(entry, MODE_READ), critical::kFileNotFound, file);
  }
  // A missing model is named by the file its author writes.
  EXPECT_CRITICAL_ENTRY(CoreFile f("data\\model\\gone.bmdl", MODE_READ), critical::kFileNotFound,
                        src.file("data/model/gone.mqo"));
  // A '/' finds no pack entry, so no folder file either.
  EXPECT_FALSE(entryExists("data/a.txt"));
  EXPECT_CRITICAL_ENTRY(CoreFile f("data/a.txt", MODE_READ), critical::kFileNotFound, "data/a.txt");
}

}  // namespace
