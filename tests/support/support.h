// Helpers shared by the tests: temporary directories, pack building and
// checking critical errors in a child process.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "files/files.h"

namespace testing_support {

// A fresh directory removed with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return mPath; }
  std::string file(const std::string& name) const { return mPath + "/" + name; }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

 private:
  std::string mPath;
};

std::vector<uint8_t> bytes(const std::string& text);
void writeFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> readFile(const std::string& path);

// Writes a pack with `files` to `path` (fails the test on error).
void makePack(const std::string& path, const std::vector<PackSource>& files);
// Writes the pack and installs it as the process's open pack.
void installPack(const TempDir& dir, const std::vector<PackSource>& files);

// What a child process did.
struct ChildResult {
  int exitStatus = -1;  // -1 when it did not exit normally
  std::string stdErr;
  std::string stdOut;
};
// Runs `body` in a forked child and collects its exit status and output.
// If `body` returns, the child exits with status 0.
ChildResult runInChild(const std::function<void()>& body);
// Runs a command line through the shell and collects status and output.
ChildResult runCommand(const std::string& commandLine);

// Path of a built program (vesper, vesper-pack, ...).
std::string builtProgram(const std::string& name);

// The player's stderr when no production is found, started in `workingDir`
// with the test environment's (empty) data directories.
std::string missingPackError(const std::string& workingDir);

// Path of a file or folder of the source tree.
std::string sourcePath(const std::string& relativePath);

// The bytes of a file of the source tree (e.g. "production/data/core/...");
// empty when it cannot be read.
std::vector<uint8_t> sourceFile(const std::string& relativePath);

// True when the test command provides the display these tests need
// (VESPER_REQUIRE_GL=1, set by ctest for the `gl` tests): a missing display,
// GL context or display feature is then a failure, not a reason to skip.
bool displayRequired();

}  // namespace testing_support

// Skips the current test for want of a display, GL context or display
// feature (`why` says which), or fails it where the test command provides the
// display. Returns from the calling function either way.
#define SKIP_WITHOUT_DISPLAY(why)                                                \
  do {                                                                           \
    if (::testing_support::displayRequired()) {                                  \
      FAIL() << why << " (VESPER_REQUIRE_GL is set)";                            \
    } else {                                                                     \
      GTEST_SKIP() << why;                                                       \
    }                                                                            \
  } while (0)

// Asserts that `statement` ends the process with exactly `message` on stderr
// and exit status 3.
#define EXPECT_CRITICAL(statement, message)                                      \
  do {                                                                           \
    const auto r_ = ::testing_support::runInChild([&] { statement; });           \
    EXPECT_EQ(r_.exitStatus, 3);                                                 \
    EXPECT_EQ(r_.stdErr, std::string(message) + "\n");                           \
  } while (0)

// The same for a critical error about the file `entry`, named on the line
// after the message.
#define EXPECT_CRITICAL_ENTRY(statement, message, entry)                         \
  do {                                                                           \
    const auto r_ = ::testing_support::runInChild([&] { statement; });           \
    EXPECT_EQ(r_.exitStatus, 3);                                                 \
    EXPECT_EQ(r_.stdErr, std::string(message) + "\n  entry: " + (entry) + "\n"); \
  } while (0)
