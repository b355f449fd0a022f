// The source folder as the second file source: entries read from files on
// disk, derived entries built in memory, the reads recorded for watching.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <filesystem>
#include <cstdio>
#include <utility>

#include "files/files.h"
#include "files/folder_internal.h"

namespace {

// The only entries a source folder takes from the pack beside it.
constexpr char kCorePrefix[] = "data\\core\\";

struct Derivation {
  std::string entryExtension;
  std::string sourceExtension;
  EntryDerivation derive;
};

// The last entry a derivation built: a model load reads its entry twice
// (the stream, then the whole entry), and converts it once.
struct Derived {
  std::string source;
  std::filesystem::file_time_type time;
  uintmax_t size = 0;
  std::vector<uint8_t> bytes;
};

struct Folder {
  std::string dir;
  std::vector<Derivation> derivations;
  std::vector<FolderRead> reads;
  std::vector<FileProblem> problems;
  Derived lastDerived;
};

Folder& folder() {
  static Folder f;
  return f;
}

bool readFile(const std::string& path, std::vector<char>& out) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void noteRead(const std::string& file, const char* entry) {
  std::vector<FolderRead>& reads = folder().reads;
  const bool known =
      std::any_of(reads.begin(), reads.end(), [&](const FolderRead& r) { return r.file == file; });
  if (!known) reads.push_back({file, entry});
}

// Backslash names only, as the pack stores them: a '/' in a name finds no
// pack entry, so it finds no folder file either.
std::string fileFor(const std::string& entry) {
  if (entry.empty() || entry.find('/') != std::string::npos) return {};
  std::string path = folder().dir + "/" + entry;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder().dir.size()) + 1, path.end(), '\\', '/');
  return path;
}

std::string extensionOf(const std::string& entry) {
  const size_t sep = entry.find_last_of("\\/");
  const size_t dot = entry.rfind('.');
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
  return entry.substr(dot + 1);
}

// The derivation and its source file for an entry whose own file is absent;
// null, with `source` the file it would be built from (empty: none), when
// that file is absent too.
const Derivation* derivationFor(const std::string& path, std::string& source) {
  const std::string ext = extensionOf(path);
  source.clear();
  for (const Derivation& d : folder().derivations) {
    if (d.entryExtension != ext) continue;
    source = path.substr(0, path.size() - ext.size()) + d.sourceExtension;
    std::error_code ec;
    if (std::filesystem::is_regular_file(source, ec)) return &d;
  }
  return nullptr;
}

}  // namespace

std::string FileProblem::text() const {
  return (line > 0 ? file + ":" + std::to_string(line) : file) + ": " + reason;
}

void openFolder(const std::string& dir) {
  Folder& f = folder();
  f.dir = dir;
  while (f.dir.size() > 1 && f.dir.back() == '/') f.dir.pop_back();
  f.reads.clear();
  f.problems.clear();
}

void closeFolder() { folder() = Folder{}; }

const std::string& folderDir() { return folder().dir; }

void addFolderDerivation(const char* entryExtension, const char* sourceExtension, EntryDerivation derive) {
  std::vector<Derivation>& all = folder().derivations;
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const Derivation& d) { return d.entryExtension == entryExtension; }),
            all.end());
  all.push_back({entryExtension, sourceExtension, derive});
}

std::string folderFileOf(const std::string& entry) {
  if (folder().dir.empty()) return {};
  const std::string path = fileFor(entry);
  if (path.empty()) return {};
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return path;
  std::string source;
  return derivationFor(path, source) ? source : std::string();
}

const std::vector<FolderRead>& folderReads() { return folder().reads; }

std::vector<FileProblem> takeFolderProblems() { return std::exchange(folder().problems, {}); }

bool readFolderEntry(const char* pName, std::vector<uint8_t>& out, std::string& file) {
  file.clear();
  if (folder().dir.empty() || pName == nullptr) return false;
  file = fileFor(pName);
  if (file.empty()) return false;
  std::vector<char> text;
  if (readFile(file, text)) {
    out.assign(text.begin(), text.end());
    noteRead(file, pName);
    return true;
  }
  std::string source;
  const Derivation* d = derivationFor(file, source);
  if (d == nullptr) {
    // What the author would write is the one to name: x.mqo, not x.bmdl.
    if (!source.empty()) file = source;
    return false;
  }
  std::error_code ec;
  const auto time = std::filesystem::last_write_time(source, ec);
  const uintmax_t size = std::filesystem::file_size(source, ec);
  Derived& last = folder().lastDerived;
  if (!ec && last.source == source && last.time == time && last.size == size) {
    out = last.bytes;
    return true;
  }
  if (!readFile(source, text)) return false;
  noteRead(source, pName);
  out.clear();
  FileProblem problem;
  if (!d->derive(source, text, out, problem)) {
    problem.file = source;
    std::fprintf(stderr, "%s\n", problem.text().c_str());
    folder().problems.push_back(problem);
    out.clear();
    last = Derived{};
    return true;
  }
  last = ec ? Derived{} : Derived{source, time, size, out};
  return true;
}

bool folderLendsToPack(const char* pName) {
  return folder().dir.empty() || (pName != nullptr && std::strncmp(pName, kCorePrefix, sizeof kCorePrefix - 1) == 0);
}

bool entryExists(const char* pName) {
  if (pName == nullptr) return false;
  if (!folder().dir.empty() && !folderFileOf(pName).empty()) return true;
  return folderLendsToPack(pName) && packHasEntry(pName);
}
