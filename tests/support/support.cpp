#include "support/support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace testing_support {

namespace {

// Runs before any test: the environment every test expects.
const bool gEnvironmentReady = [] {
  setenv("VESPER_HEADLESS", "1", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("VESPER_BUILD_DIR", VESPER_TEST_BUILD_DIR, 0);
  setenv("VESPER_SOURCE_DIR", VESPER_TEST_SOURCE_DIR, 0);
  // No installed production may answer for a test's missing one.
  setenv("XDG_DATA_HOME", "/nonexistent/home", 1);
  setenv("XDG_DATA_DIRS", "/nonexistent/a:/nonexistent/b", 1);
  setenv("VESPER_INSTALL_DATA_DIR", "/nonexistent/prefix", 1);
  return true;
}();

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vesper-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (!made) std::abort();
  mPath = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(mPath, ec);
}

std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void makePack(const std::string& path, const std::vector<PackSource>& files) {
  std::string error;
  ASSERT_TRUE(writePack(path, files, error)) << error;
}

void installPack(const TempDir& dir, const std::vector<PackSource>& files) {
  const std::string path = dir.file("vesper.pak");
  makePack(path, files);
  std::FILE* fp = std::fopen(path.c_str(), "rb");
  ASSERT_NE(fp, nullptr);
  const char* error = installPackage(fp);
  ASSERT_EQ(error, nullptr) << error;
}

namespace {

std::string drain(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

}  // namespace

ChildResult runInChild(const std::function<void()>& body) {
  std::fflush(nullptr);
  int errPipe[2];
  int outPipe[2];
  if (pipe(errPipe) != 0 || pipe(outPipe) != 0) std::abort();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(errPipe[1], 2);
    dup2(outPipe[1], 1);
    close(errPipe[0]);
    close(outPipe[0]);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  close(errPipe[1]);
  close(outPipe[1]);
  ChildResult r;
  // Outputs in tests are small; reading one pipe after the other is safe.
  r.stdOut = drain(outPipe[0]);
  r.stdErr = drain(errPipe[0]);
  close(errPipe[0]);
  close(outPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

ChildResult runCommand(const std::string& commandLine) {
  return runInChild([&] {
    execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  });
}

std::string builtProgram(const std::string& name) {
  (void)gEnvironmentReady;
  const char* dir = std::getenv("VESPER_BUILD_DIR");
  return std::string(dir ? dir : VESPER_TEST_BUILD_DIR) + "/" + (name == "vesper" ? "src/" : "tools/") + name;
}

std::string missingPackError(const std::string& workingDir) {
  (void)gEnvironmentReady;
  return "vesper: no vesper.pak in any of:\n  " + workingDir +
         "\n  /nonexistent/home/vesper\n  /nonexistent/a/vesper\n  /nonexistent/b/vesper\n"
         "  /nonexistent/prefix/vesper\n" + critical::kPackOpen + "\n";
}

std::string sourcePath(const std::string& relativePath) {
  (void)gEnvironmentReady;
  const char* dir = std::getenv("VESPER_SOURCE_DIR");
  return std::string(dir ? dir : VESPER_TEST_SOURCE_DIR) + "/" + relativePath;
}

std::vector<uint8_t> sourceFile(const std::string& relativePath) { return readFile(sourcePath(relativePath)); }

bool displayRequired() {
  const char* v = std::getenv("VESPER_REQUIRE_GL");
  return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace testing_support
