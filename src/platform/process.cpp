// Child processes through posix_spawn, and the terminal test.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace platform {

std::string findProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= dirs.size()) {
    size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    // An empty PATH entry means the working directory.
    std::string dir = dirs.substr(begin, end - begin);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    begin = end + 1;
  }
  return "";
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

namespace {

// An anonymous file in the temporary directory: gone once closed.
int anonymousFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/vesper_XXXXXX";
  const int fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) unlink(path.c_str());
  return fd;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

PipedChild::~PipedChild() {
  if (mPid > 0) {
    kill(mPid, SIGKILL);
    std::string ignored;
    finish(ignored);
  }
  closeFd(mPipe);
  closeFd(mErrors);
}

bool PipedChild::start(const std::vector<std::string>& argv, std::string& reason) {
  if (argv.empty() || mPid > 0) {
    reason = "no program named";
    return false;
  }
  std::signal(SIGPIPE, SIG_IGN);
  closeFd(mErrors);
  mErrors = anonymousFile();
  int ends[2];
  if (mErrors < 0 || pipe2(ends, O_CLOEXEC) != 0) {
    reason = argv[0] + ": " + std::strerror(errno);
    closeFd(mErrors);
    return false;
  }
  // Larger writes per wake-up; the default size still works.
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // dup2 clears close-on-exec on the copies: the child keeps only those.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, mErrors, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[0]);
  if (error != 0) {
    close(ends[1]);
    closeFd(mErrors);
    reason = argv[0] + ": " + std::strerror(error);
    return false;
  }
  mPid = pid;
  mPipe = ends[1];
  return true;
}

bool PipedChild::write(const void* data, size_t size, std::string& reason) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = mPipe >= 0 ? ::write(mPipe, at, size) : -1;
    if (n < 0) {
      if (mPipe >= 0 && errno == EINTR) continue;
      reason = std::strerror(mPipe >= 0 ? errno : EBADF);
      return false;
    }
    at += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int PipedChild::finish(std::string& reason) {
  closeFd(mPipe);
  if (mPid <= 0) {
    reason = "no child running";
    return -1;
  }
  int status = 0;
  while (waitpid(mPid, &status, 0) < 0) {
    if (errno != EINTR) {
      reason = std::strerror(errno);
      mPid = -1;
      return -1;
    }
  }
  mPid = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  reason = "ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
           strsignal(WTERMSIG(status)) + ")";
  return -1;
}

std::string PipedChild::firstErrorLine() const {
  if (mErrors < 0 || mPid > 0) return "";
  // The first line is all that is wanted; 4 KiB holds it.
  char text[4096];
  const ssize_t n = pread(mErrors, text, sizeof text, 0);
  std::string all(text, n > 0 ? static_cast<size_t>(n) : 0);
  size_t begin = 0;
  while (begin < all.size()) {
    size_t end = all.find('\n', begin);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(begin, end - begin);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) return line;
    begin = end + 1;
  }
  return "";
}

}  // namespace platform
