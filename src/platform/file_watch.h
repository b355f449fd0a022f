// Watching files for changes (inotify). A file counts as changed when it is
// written and closed, moved or renamed into its place, or removed. The
// directories are watched, not the files' inodes: editors save by writing a
// temporary file and renaming it over the old one, which leaves a watch on
// the old inode with nothing more to see. Main thread only.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {

class FileWatch {
 public:
  FileWatch();
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // False, with error(), when the system refused the watcher.
  bool ok() const { return mFd >= 0; }
  const std::string& error() const { return mError; }
  // Starts watching the file `path` (through its directory); false, with
  // error(), when the directory cannot be watched. Adding it again is free.
  bool add(const std::string& path);
  // Whether `path` is watched.
  bool watches(const std::string& path) const { return mFiles.count(path) != 0; }
  // The watched files changed since the last call, each once, in the order
  // first seen. Never blocks.
  std::vector<std::string> changed();
  // Waits up to `timeoutMs` for a change to be pending; true when one is.
  bool wait(int timeoutMs);

 private:
  void drain();

  int mFd = -1;
  std::string mError;
  std::map<int, std::string> mDirs;  // watch descriptor -> directory
  std::set<std::string> mFiles;      // watched file paths
  std::vector<std::string> mPending;
};

}  // namespace platform
