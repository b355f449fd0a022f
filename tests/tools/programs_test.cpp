// The programs as a user runs them: vesper-pack round trips and checks, and
// vesper's start-up on good, missing and broken packs.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/support.h"

using testing_support::builtProgram;
using testing_support::bytes;
using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

namespace {

std::string pack() { return builtProgram("vesper-pack"); }

void writeTree(const std::string& root, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [rel, content] : files) {
    fs::create_directories(fs::path(root + "/" + rel).parent_path());
    testing_support::writeFile(root + "/" + rel, bytes(content));
  }
}

TEST(VesperPack, CreateListExtractRoundTrip) {
  TempDir dir;
  writeTree(dir.file("src"), {{"data/definition/b.xml", "<x/>"},
                              {"data/a.txt", "hello"},
                              {"data/empty", ""},
                              {"data/texture/z.png", std::string("\x89PNG\0\1", 6)}});
  auto r = runCommand(pack() + " create " + dir.file("out.pak") + " " + dir.file("src"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_NE(r.stdOut.find("4 entries"), std::string::npos) << r.stdOut;

  r = runCommand(pack() + " list " + dir.file("out.pak"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  // Sorted, backslash-separated names.
  const size_t a = r.stdOut.find("data\\a.txt");
  const size_t b = r.stdOut.find("data\\definition\\b.xml");
  const size_t e = r.stdOut.find("data\\empty");
  const size_t z = r.stdOut.find("data\\texture\\z.png");
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(z, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, e);
  EXPECT_LT(e, z);

  r = runCommand(pack() + " verify " + dir.file("out.pak"));
  EXPECT_EQ(r.exitStatus, 0) << r.stdOut;

  r = runCommand(pack() + " extract " + dir.file("out.pak") + " " + dir.file("back"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  for (const char* rel : {"data/definition/b.xml", "data/a.txt", "data/empty", "data/texture/z.png"}) {
    EXPECT_EQ(testing_support::readFile(dir.file("back/") + rel),
              testing_support::readFile(dir.file("src/") + rel))
        << rel;
  }
}

TEST(VesperPack, VerifyReportsDuplicatesAndEntriesOutsideTheFile) {
  TempDir dir;
  testing_support::makePack(dir.file("dup.pak"), {{"a", bytes("1")}, {"b", bytes("2")}, {"a", bytes("3")}});
  auto r = runCommand(pack() + " verify " + dir.file("dup.pak"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdOut.find("duplicate of entry 0"), std::string::npos) << r.stdOut;

  auto raw = testing_support::readFile(dir.file("dup.pak"));
  raw[16 + 260] = 0xff;  // first entry's size low byte: now runs past the end
  raw[16 + 261] = 0xff;
  testing_support::writeFile(dir.file("big.pak"), raw);
  r = runCommand(pack() + " verify " + dir.file("big.pak"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdOut.find("beyond the file end"), std::string::npos) << r.stdOut;
}

TEST(VesperPack, BadInputGivesClearErrors) {
  TempDir dir;
  auto r = runCommand(pack() + " list " + dir.file("missing.pak"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdErr.find("cannot open"), std::string::npos) << r.stdErr;

  testing_support::writeFile(dir.file("junk.pak"), bytes("not a pack at all, clearly"));
  r = runCommand(pack() + " verify " + dir.file("junk.pak"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdErr.find("invalid header"), std::string::npos) << r.stdErr;

  fs::create_directories(dir.file("emptydir"));
  r = runCommand(pack() + " create " + dir.file("e.pak") + " " + dir.file("emptydir"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_FALSE(fs::exists(dir.file("e.pak")));

  r = runCommand(pack() + " frobnicate");
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_NE(r.stdErr.find("usage:"), std::string::npos);
}

TEST(VesperPack, ExtractRefusesNamesThatLeaveTheTarget) {
  TempDir dir;
  testing_support::makePack(dir.file("evil.pak"), {{"..\\..\\escaped.txt", bytes("x")}, {"ok.txt", bytes("y")}});
  auto r = runCommand(pack() + " extract " + dir.file("evil.pak") + " " + dir.file("out/inner"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdErr.find("unsafe"), std::string::npos) << r.stdErr;
  EXPECT_FALSE(fs::exists(dir.file("escaped.txt")));
  EXPECT_TRUE(fs::exists(dir.file("out/inner/ok.txt")));
}

TEST(Vesper, CriticalErrorsOnMissingOrBrokenPack) {
  TempDir dir;
  const std::string vesper = builtProgram("vesper") + " --run --headless --data " + dir.path();
  auto r = runCommand(vesper);
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_NE(r.stdErr.find("Critical error:[mPackageFp + \"could not open vesper.pak\"]\n"), std::string::npos)
      << r.stdErr;

  testing_support::writeFile(dir.file("vesper.pak"), bytes("NOVAPACK\2\0\0\0\1\0\0\0"));
  r = runCommand(vesper);
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_NE(r.stdErr.find("Critical error:[mPackHeader.version==0x00000001 + \"invalid version\"]\n"),
            std::string::npos)
      << r.stdErr;

  // A pack without the show's files, with music: the first entry asked for
  // is named after the fixed message.
  testing_support::makePack(dir.file("vesper.pak"), {{"x.txt", bytes("x")}});
  testing_support::writeFile(dir.file("score.txt"),
                             bytes("tempo 120\ninstrument lead sine\npattern a lead C4 - - -\nplay a\n"));
  r = runCommand(builtProgram("musicgen") + " " + dir.file("score.txt") + " " + dir.file("music.ogg"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand("env -u DISPLAY SDL_AUDIODRIVER=dummy " + vesper);
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr,
            "Critical error:[isFound + \"file not found.\"]\n  entry: data\\core\\shader\\finalScreenShader.cgfx\n");
}

TEST(Vesper, HelpAndVersionAndUnknownOptions) {
  auto r = runCommand(builtProgram("vesper") + " --help");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.stdOut.find("--data DIR"), std::string::npos);
  r = runCommand(builtProgram("vesper") + " --version");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.stdOut.rfind("vesper ", 0), 0u);
  r = runCommand(builtProgram("vesper") + " --no-such-option");
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdErr.find("unknown option"), std::string::npos);
}

}  // namespace
