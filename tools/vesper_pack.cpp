// vesper-pack: builds and inspects pack files.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "files/files.h"
#include "tool_version.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: vesper-pack create OUT.pak DIR   pack every file under DIR (names use '\\')\n"
    "       vesper-pack list PAK             print name, offset and size of each entry\n"
    "       vesper-pack extract PAK DIR      write every entry below DIR\n"
    "       vesper-pack verify PAK           check header, table and entry bounds\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "vesper-pack: %s\n", message.c_str());
  return 1;
}

// Turns a critical error text into its reason, for friendlier tool output.
std::string reasonOf(const char* critical) {
  const std::string text = critical;
  const size_t open = text.find(" + \"");
  const size_t close = text.rfind("\"]");
  if (open == std::string::npos || close == std::string::npos || close <= open + 4) return text;
  return text.substr(open + 4, close - open - 4);
}

bool readFile(const fs::path& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int create(const std::string& outPath, const std::string& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return fail("not a directory: " + dir);
  std::vector<PackSource> files;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string name = fs::relative(it->path(), dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    PackSource source;
    source.name = name;
    if (!readFile(it->path(), source.data)) return fail("cannot read " + it->path().string());
    files.push_back(std::move(source));
  }
  if (ec) return fail("cannot walk " + dir + ": " + ec.message());
  if (files.empty()) return fail("no files under " + dir + " (a pack needs at least one entry)");
  std::sort(files.begin(), files.end(),
            [](const PackSource& a, const PackSource& b) { return a.name < b.name; });
  std::string error;
  if (!writePack(outPath, files, error)) return fail(error);
  uint64_t bytes = 0;
  for (const PackSource& f : files) bytes += f.data.size();
  std::printf("%s: %zu entries, %llu bytes of data\n", outPath.c_str(), files.size(),
              static_cast<unsigned long long>(bytes));
  return 0;
}

struct OpenedPack {
  PackHeader header{};
  std::vector<PackEntry> entries;
  uint64_t size = 0;
  std::FILE* fp = nullptr;
  ~OpenedPack() {
    if (fp) std::fclose(fp);
  }
};

int openPack(const std::string& path, OpenedPack& pack) {
  pack.fp = std::fopen(path.c_str(), "rb");
  if (!pack.fp) return fail("cannot open " + path + ": " + std::strerror(errno));
  if (const char* error = readPackTable(pack.fp, pack.header, pack.entries, pack.size)) {
    return fail(path + ": " + reasonOf(error));
  }
  return 0;
}

bool inside(const PackEntry& e, uint64_t size) {
  return static_cast<uint64_t>(e.offset) + e.size <= size;
}

int list(const std::string& path) {
  OpenedPack pack;
  if (int rc = openPack(path, pack)) return rc;
  for (const PackEntry& e : pack.entries) std::printf("%-60s %10u %10u\n", e.name, e.offset, e.size);
  return 0;
}

// Entry names come from the file: refuse any that would leave the target.
bool safeRelative(const std::string& name, fs::path& out) {
  std::string generic = name;
  std::replace(generic.begin(), generic.end(), '\\', '/');
  const fs::path p(generic);
  if (generic.empty() || p.is_absolute() || p.has_root_name()) return false;
  for (const fs::path& part : p) {
    if (part == ".." || part == ".") return false;
  }
  out = p;
  return true;
}

int extract(const std::string& path, const std::string& dir) {
  OpenedPack pack;
  if (int rc = openPack(path, pack)) return rc;
  int problems = 0;
  std::map<std::string, bool> written;
  for (const PackEntry& e : pack.entries) {
    fs::path rel;
    if (!safeRelative(e.name, rel)) {
      std::fprintf(stderr, "vesper-pack: skipped unsafe entry name \"%s\"\n", e.name);
      ++problems;
      continue;
    }
    if (!inside(e, pack.size)) {
      std::fprintf(stderr, "vesper-pack: skipped \"%s\": it lies outside the file\n", e.name);
      ++problems;
      continue;
    }
    if (written[e.name]) continue;  // the engine only ever sees the first of duplicates
    written[e.name] = true;
    std::vector<char> data(e.size);
    std::fseek(pack.fp, static_cast<long>(e.offset), SEEK_SET);
    if (e.size && std::fread(data.data(), 1, data.size(), pack.fp) != data.size()) {
      return fail("cannot read \"" + std::string(e.name) + "\"");
    }
    const fs::path target = fs::path(dir) / rel;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) return fail("cannot write " + target.string());
  }
  std::printf("%s: extracted %zu entries to %s\n", path.c_str(), written.size(), dir.c_str());
  return problems ? 1 : 0;
}

int verify(const std::string& path) {
  OpenedPack pack;
  if (int rc = openPack(path, pack)) return rc;
  int problems = 0;
  std::map<std::string, size_t> seen;
  for (size_t i = 0; i < pack.entries.size(); ++i) {
    const PackEntry& e = pack.entries[i];
    if (e.name[0] == '\0') {
      std::printf("entry %zu: empty name\n", i);
      ++problems;
    }
    if (!inside(e, pack.size)) {
      std::printf("entry %zu \"%s\": offset %u + size %u lies beyond the file end (%llu)\n", i,
                  e.name, e.offset, e.size, static_cast<unsigned long long>(pack.size));
      ++problems;
    }
    auto [it, added] = seen.emplace(e.name, i);
    if (!added) {
      std::printf("entry %zu \"%s\": duplicate of entry %zu (only the first is ever read)\n", i,
                  e.name, it->second);
      ++problems;
    }
  }
  if (problems) {
    std::printf("%s: %d problem(s) in %zu entries\n", path.c_str(), problems, pack.entries.size());
    return 1;
  }
  std::printf("%s: ok, %zu entries\n", path.c_str(), pack.entries.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-pack")) return 0;
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cmd == "create" && argc == 4) return create(argv[2], argv[3]);
  if (cmd == "list" && argc == 3) return list(argv[2]);
  if (cmd == "extract" && argc == 4) return extract(argv[2], argv[3]);
  if (cmd == "verify" && argc == 3) return verify(argv[2]);
  std::fputs(kUsage, stderr);
  return 2;
}
