// Child processes through posix_spawn, and the terminal test.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

int runProgram(const std::vector<std::string>& argv, std::string& reason) {
  if (argv.empty()) {
    reason = "no program named";
    return -1;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
  if (error != 0) {
    reason = argv[0] + ": " + std::strerror(error);
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      reason = argv[0] + ": " + std::strerror(errno);
      return -1;
    }
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  reason = argv[0] + " ended by signal " + std::to_string(WTERMSIG(status));
  return -1;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace platform
