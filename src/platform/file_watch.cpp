// inotify behind FileWatch: one descriptor, one watch per directory.
#include "platform/file_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

namespace {

constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;

}  // namespace

FileWatch::FileWatch() : mFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (mFd < 0) mError = std::string("inotify: ") + std::strerror(errno);
}

FileWatch::~FileWatch() {
  if (mFd >= 0) close(mFd);
}

bool FileWatch::add(const std::string& path) {
  if (mFd < 0) return false;
  if (mFiles.count(path)) return true;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const bool known = std::any_of(mDirs.begin(), mDirs.end(), [&](const auto& d) { return d.second == dir; });
  if (!known) {
    const int wd = inotify_add_watch(mFd, dir.c_str(), kEvents);
    if (wd < 0) {
      mError = dir + ": " + std::strerror(errno);
      return false;
    }
    mDirs[wd] = dir;
  }
  mFiles.insert(path);
  return true;
}

void FileWatch::drain() {
  if (mFd < 0) return;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t n = read(mFd, buffer, sizeof buffer);
    if (n <= 0) return;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      if (e->len == 0) continue;
      const auto dir = mDirs.find(e->wd);
      if (dir == mDirs.end()) continue;
      const std::string path = (dir->second == "/" ? "" : dir->second) + "/" + e->name;
      if (mFiles.count(path) && std::find(mPending.begin(), mPending.end(), path) == mPending.end()) {
        mPending.push_back(path);
      }
    }
  }
}

std::vector<std::string> FileWatch::changed() {
  drain();
  return std::exchange(mPending, {});
}

bool FileWatch::wait(int timeoutMs) {
  drain();
  if (!mPending.empty() || mFd < 0) return !mPending.empty();
  pollfd p{mFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  drain();
  return !mPending.empty();
}

}  // namespace platform
