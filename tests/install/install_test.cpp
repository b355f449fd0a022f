// The installed tree and the Debian package: the player finds the installed
// production through the XDG data directories (or names where it looked),
// the desktop entry and the manual pages pass their checkers, and the
// package holds the install tree with its library dependencies.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "support/support.h"

namespace {

using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

const char* const kPrograms[] = {"vesper",   "vesper-pack", "vesper-effectc", "vesper-check",
                                 "mqo2bmdl", "musicgen",    "vesper-build",   "vesper-new",
                                 "vesper-import"};

std::string buildDir() { return std::getenv("VESPER_BUILD_DIR"); }

// Every regular file below `root`, relative to it.
std::set<std::string> filesBelow(const std::string& root) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), root).string());
  }
  return files;
}

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new TempDir;
    const auto r = runCommand("cmake --install '" + buildDir() + "' --prefix '" + prefix_->path() + "'");
    ASSERT_EQ(r.exitStatus, 0) << r.stdOut << r.stdErr;
  }
  static void TearDownTestSuite() { delete prefix_; }
  static std::string at(const std::string& relative) { return prefix_->file(relative); }
  // Runs the installed player in an unrelated directory; the test
  // environment's data directories are all empty.
  static testing_support::ChildResult player(const TempDir& cwd, const std::string& env,
                                             const std::string& args) {
    return runCommand("cd '" + cwd.path() + "' && env " + env + " '" + at("bin/vesper") + "' " + args);
  }
  static TempDir* prefix_;
};
TempDir* Installed::prefix_ = nullptr;

TEST_F(Installed, PlayerFindsTheProductionInTheDataDirectoriesOrNamesWhereItLooked) {
  TempDir cwd, out;
  const std::string dataDirs = "XDG_DATA_DIRS='/nonexistent/a:" + at("share") + "'";
  auto r = player(cwd, dataDirs, "--version");
  EXPECT_EQ(r.stdOut, std::string("vesper ") + VESPER_VERSION + "\nproduction: " + at("share/vesper") + "\n");
  r = player(cwd, dataDirs, "--capture '" + out.path() + "' --fps 10 --from 0 --to 500 --headless");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  for (const char* name : {"frame_000000.png", "frame_000004.png", "music.wav"}) {
    EXPECT_TRUE(fs::is_regular_file(out.file(name))) << name;
  }
  EXPECT_FALSE(fs::exists(out.file("frame_000005.png")));

  // Nowhere: the critical error, after the list of places searched.
  r = player(cwd, "", "--run --headless");
  EXPECT_EQ(r.exitStatus, 3);
  EXPECT_EQ(r.stdErr, testing_support::missingPackError(cwd.path()));
  // The compiled-in prefix is the last place.
  const std::string prefixData = VESPER_TEST_PREFIX_DATA_DIR "/vesper";
  r = player(cwd, "-u VESPER_INSTALL_DATA_DIR", "--version");
  if (fs::exists(prefixData + "/vesper.pak")) {
    EXPECT_NE(r.stdOut.find("production: " + prefixData + "\n"), std::string::npos) << r.stdOut;
  } else {
    r = player(cwd, "-u VESPER_INSTALL_DATA_DIR", "--run --headless");
    EXPECT_NE(r.stdErr.find("/nonexistent/b/vesper\n  " + prefixData + "\nCritical error"),
              std::string::npos)
        << r.stdErr;
  }
}

TEST_F(Installed, DesktopEntryIconsAndManualPagesPassTheirCheckers) {
  auto r = runCommand("desktop-file-validate '" + at("share/applications/vesper.desktop") + "'");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.stdOut + r.stdErr, "");
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::string n = std::to_string(size);
    const auto png = testing_support::readFile(at("share/icons/hicolor/" + n + "x" + n + "/apps/vesper.png"));
    ASSERT_GE(png.size(), 24u) << size;
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ((png[18] << 8 | png[19]), size);  // IHDR width
    EXPECT_EQ((png[22] << 8 | png[23]), size);  // IHDR height
  }
  for (const char* program : kPrograms) {
    EXPECT_TRUE(fs::is_regular_file(at(std::string("bin/") + program))) << program;
    const std::string page = at(std::string("share/man/man1/") + program + ".1");
    r = runCommand("MANWIDTH=80 man -l --warnings '" + page + "' 2>&1 >/dev/null");
    EXPECT_EQ(r.exitStatus, 0) << program;
    EXPECT_EQ(r.stdOut, "") << program;
    r = runCommand("MANWIDTH=80 man -l '" + page + "'");
    EXPECT_NE(r.stdOut.find(std::string("\n       ") + program + " - "), std::string::npos) << r.stdOut;
  }
}

// The installed kit needs no build tree: vesper-new carries its templates,
// vesper-build takes the core files from the installed production.
TEST_F(Installed, KitWritesAndBuildsAProductionWithTheInstalledCore) {
  TempDir cwd;
  auto r = runCommand("'" + at("bin/vesper-new") + "' '" + cwd.file("src") + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand("'" + at("bin/vesper-build") + "' --skip-effects '" + cwd.file("src") + "' '" + cwd.file("out") + "'");
  EXPECT_EQ(r.exitStatus, 0) << r.stdOut << r.stdErr;
  EXPECT_NE(r.stdOut.find("(6 from the core in " + fs::canonical(at("share/vesper")).string() + ")"),
            std::string::npos)
      << r.stdOut;
  EXPECT_TRUE(fs::is_regular_file(cwd.file("out/vesper.pak")));
  EXPECT_TRUE(fs::is_regular_file(cwd.file("out/music.ogg")));
}

TEST_F(Installed, DebianPackageHoldsTheInstallTreeAndNamesItsLibraries) {
  TempDir packages;
  auto r = runCommand("cd '" + buildDir() + "' && cpack -G DEB -B '" + packages.path() + "'");
  ASSERT_EQ(r.exitStatus, 0) << r.stdOut << r.stdErr;
  std::string deb;
  for (const auto& e : fs::directory_iterator(packages.path())) {
    if (e.path().extension() == ".deb") deb = e.path().string();
  }
  ASSERT_FALSE(deb.empty());
  r = runCommand("dpkg-deb --field '" + deb + "' Depends Section Maintainer");
  EXPECT_NE(r.stdOut.find("libsdl2-2.0-0"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("libvorbisfile3"), std::string::npos) << r.stdOut;
  EXPECT_NE(r.stdOut.find("Section: video"), std::string::npos) << r.stdOut;

  r = runCommand("dpkg-deb -c '" + deb + "' | awk '$1 ~ /^-/ {print $6}'");
  std::set<std::string> packaged;
  std::istringstream lines(r.stdOut);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_EQ(line.rfind("./usr/", 0), 0u) << line;
    packaged.insert(line.substr(6));
  }
  EXPECT_EQ(packaged, filesBelow(prefix_->path()));
}

}  // namespace
