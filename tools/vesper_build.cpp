// vesper-build: a source folder (the pack's layout with '/' folders, plus
// music.ogg or score.txt) to a production: OUT/vesper.pak and OUT/music.ogg,
// checked as vesper-check checks them. A stamp in OUT records what each
// output was made from, so an unchanged source rewrites nothing.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "check/check.h"
#include "files/files.h"
#include "mqo_convert.h"
#include "musicgen/track.h"
#include "tool_version.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "usage: vesper-build [--core DIR] [--skip-effects] SRC OUT\n"
    "\n"
    "Builds the production in the source folder SRC into OUT/vesper.pak and\n"
    "OUT/music.ogg, checks it as vesper-check does, and prints the command that\n"
    "plays it.\n"
    "\n"
    "SRC holds data/ (the pack's entries, '/' for the pack's '\\') and, at its\n"
    "root, music.ogg or score.txt. Every data/**.mqo becomes the entry of the\n"
    "same name ending in .bmdl, converted as mqo2bmdl converts it (the .mqo\n"
    "stays out of the pack); every other file under data/ is an entry as it is;\n"
    "the core files (data/core/...: the built-in effects and the default\n"
    "texture) that SRC lacks come from the core production. music.ogg is\n"
    "copied; without it score.txt is rendered by musicgen's synthesiser\n"
    "(musicgen --help describes the score).\n"
    "\n"
    "  --core DIR      take the core files from DIR: a production (DIR/vesper.pak)\n"
    "                  or a source folder (DIR/data/core/). By default the first\n"
    "                  production found in: BIN/../share/vesper (installed),\n"
    "                  BIN/../production (a build tree) and the install prefix's\n"
    "                  share/vesper, BIN being the folder of this program.\n"
    "  --skip-effects  do not compile the effects (no GL context needed); every\n"
    "                  other check still runs\n"
    "  --help          print this text\n"
    "  --version       print the version\n"
    "\n"
    "OUT/.vesper-build records the size and modification time of every file\n"
    "each output was made from, and whether the checks passed: when nothing\n"
    "changed it says 'up to date' and writes nothing; otherwise it rebuilds the\n"
    "pack, the music, or both, whichever depends on what changed, and checks.\n"
    "\n"
    "Progress goes to standard output, with the checks' problems as\n"
    "vesper-check prints them (its count of errors and warnings on standard\n"
    "error). Exit status 0 when the production is built and has no error\n"
    "(warnings allowed); 1 when it has one (the outputs stay, and the next run\n"
    "checks again), or when a file cannot be read or converted (one line naming\n"
    "the file, a bad .mqo as FILE:LINE: reason; the outputs are left as they\n"
    "were); 2 for a bad command line.\n";

const char kStampName[] = ".vesper-build";
// The stamp's last line once the checks pass; a check without the effects
// does not answer for a run that wants them.
const char kChecked[] = "checked\n";
const char kCheckedWithoutEffects[] = "checked without effects\n";

int fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "vesper-build: %s\n", message.c_str());
  return 1;
}

// One input as the stamp records it.
std::string stampLine(const std::string& kind, const fs::path& path) {
  // A file that cannot be read records zeros, which no later stat matches
  // once it is back.
  std::error_code sizeError, timeError;
  const auto size = fs::file_size(path, sizeError);
  const auto time = fs::last_write_time(path, timeError);
  std::ostringstream line;
  line << kind << ' ' << path.generic_string() << ' ' << (sizeError ? 0 : size) << ' '
       << (timeError ? 0 : time.time_since_epoch().count()) << '\n';
  return line.str();
}

// Every regular file below `root`, sorted, relative to it.
bool filesBelow(const fs::path& root, std::vector<std::string>& out, std::string& error) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file()) out.push_back(fs::relative(it->path(), root).generic_string());
  }
  if (ec) {
    error = root.string() + ": cannot list: " + ec.message();
    return false;
  }
  std::sort(out.begin(), out.end());
  return true;
}

bool hasSuffix(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

std::string packName(std::string rel) {
  if (hasSuffix(rel, ".mqo")) rel.replace(rel.size() - 4, 4, ".bmdl");
  std::replace(rel.begin(), rel.end(), '/', '\\');
  return rel;
}

// Where the core files come from: a production's pack or a source folder.
struct Core {
  fs::path dir;
  bool isPack = false;
  std::vector<std::string> files;  // source-folder mode: paths below dir, '/' separated

  fs::path pack() const { return dir / "vesper.pak"; }
  bool open(const fs::path& at, std::string& error) {
    dir = at;
    std::error_code ec;
    isPack = fs::is_regular_file(pack(), ec);
    if (isPack) return true;
    if (!fs::is_directory(dir / "data" / "core", ec)) {
      error = at.string() + ": holds neither vesper.pak nor data/core/";
      return false;
    }
    std::vector<std::string> below;
    if (!filesBelow(dir / "data" / "core", below, error)) return false;
    for (const std::string& rel : below) files.push_back("data/core/" + rel);
    return true;
  }
  std::string stamp() const {
    if (isPack) return stampLine("core", pack());
    std::string text;
    for (const std::string& rel : files) text += stampLine("core", dir / rel);
    return text;
  }
  // The data\core\ entries, named as in the pack.
  bool read(std::vector<PackSource>& out, std::string& error) const {
    if (!isPack) {
      for (const std::string& rel : files) {
        std::vector<char> bytes;
        if (!mqo_convert::readWhole((dir / rel).string(), bytes)) {
          error = (dir / rel).string() + ": cannot read: " + std::strerror(errno);
          return false;
        }
        out.push_back({packName(rel), std::vector<uint8_t>(bytes.begin(), bytes.end())});
      }
      return true;
    }
    check::Pack pak;
    if (!pak.open(pack().string(), error)) {
      error = pack().string() + ": " + error;
      return false;
    }
    for (const std::string& name : pak.names()) {
      if (name.rfind("data\\core\\", 0) == 0) out.push_back({name, *pak.find(name)});
    }
    return true;
  }
};

fs::path programDir() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

bool findCore(const std::string& option, Core& core, std::string& error) {
  if (!option.empty()) return core.open(option, error);
  const fs::path bin = programDir();
  std::vector<fs::path> candidates = {bin / ".." / "share" / "vesper", bin / ".." / "production",
                                      fs::path(VESPER_INSTALL_DATA_DIR) / "vesper"};
  std::string searched;
  for (const fs::path& dir : candidates) {
    std::error_code ec;
    const fs::path at = fs::weakly_canonical(dir, ec);
    if (fs::is_regular_file(at / "vesper.pak", ec)) return core.open(at, error);
    searched += (searched.empty() ? "" : ", ") + at.string();
  }
  error = "no core production in " + searched + "; name one with --core DIR";
  return false;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The stamp holds a block for each output: the inputs' lines, then the
// output's own line, so a replaced or deleted output is rebuilt too.
std::string block(const std::string& inputs, const fs::path& output) {
  return inputs + stampLine("made", output) + "--\n";
}

struct Args {
  std::string core, src, out;
  bool compileEffects = true;
};

// 0 when parsed, otherwise the exit status (help, version or a bad line).
int parseArgs(int argc, char** argv, Args& args) {
  if (printedVersion(argc, argv, "vesper-build")) return -1;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kHelp, stdout);
      return -1;
    } else if (arg == "--core" && i + 1 < argc) {
      args.core = argv[++i];
    } else if (arg == "--skip-effects") {
      args.compileEffects = false;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "vesper-build: unknown option %s\n", arg.c_str());
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    std::fputs("usage: vesper-build [--core DIR] [--skip-effects] SRC OUT (--help tells more)\n", stderr);
    return 2;
  }
  args.src = positional[0];
  args.out = positional[1];
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (const int rc = parseArgs(argc, argv, args)) return rc < 0 ? 0 : rc;
  const fs::path src(args.src), out(args.out);
  std::error_code ec;
  if (!fs::is_directory(src, ec)) return fail(args.src + ": no such folder");
  if (!fs::is_directory(src / "data", ec)) return fail((src / "data").string() + ": no such folder");

  // What the pack is made from, with each file's entry name.
  std::vector<std::string> files;
  std::string error;
  if (!filesBelow(src / "data", files, error)) return fail(error);
  std::map<std::string, std::string> entryOf;  // entry name -> source path below SRC
  std::string packInputs = std::string("vesper-build ") + VESPER_VERSION + "\n";
  for (const std::string& rel : files) {
    const std::string path = "data/" + rel;
    const auto [it, added] = entryOf.emplace(packName(path), path);
    if (!added) return fail((src / path).string() + ": gives the entry " + it->first + " as " + it->second + " does");
    packInputs += stampLine("data", src / path);
  }
  Core core;
  if (!findCore(args.core, core, error)) return fail(error);
  packInputs += core.stamp();

  const fs::path musicSource = fs::exists(src / "music.ogg", ec) ? src / "music.ogg" : src / "score.txt";
  if (!fs::exists(musicSource, ec)) return fail(args.src + ": holds neither music.ogg nor score.txt");
  const std::string musicInputs = stampLine("music", musicSource);

  const fs::path pak = out / "vesper.pak", music = out / "music.ogg", stamp = out / kStampName;
  const std::string old = readText(stamp);
  const bool packFresh = old.find(block(packInputs, pak)) != std::string::npos;
  const bool musicFresh = old.find(block(musicInputs, music)) != std::string::npos;
  const bool checked = old.find(kChecked) != std::string::npos ||
                       (!args.compileEffects && old.find(kCheckedWithoutEffects) != std::string::npos);
  if (packFresh && musicFresh && checked) {
    std::printf("%s: up to date\nplay it: vesper --data %s\n", args.out.c_str(), args.out.c_str());
    return 0;
  }
  fs::create_directories(out, ec);
  if (ec) return fail(args.out + ": cannot create: " + ec.message());
  // The stamp keeps the outputs that are still good, each as it is made;
  // it says "checked" only once the checks pass.
  std::string made = (packFresh ? block(packInputs, pak) : "") + (musicFresh ? block(musicInputs, music) : "");
  auto record = [&](const std::string& text) {
    made += text;
    if (!mqo_convert::writeReplacing(stamp.string(), made.data(), made.size(), error)) {
      std::fprintf(stderr, "vesper-build: %s: cannot write: %s\n", stamp.string().c_str(), error.c_str());
      return false;
    }
    return true;
  };
  if (!record("")) return 1;

  if (!packFresh) {
    std::vector<PackSource> entries;
    for (const auto& [name, path] : entryOf) {
      std::vector<char> bytes;
      if (!mqo_convert::readWhole((src / path).string(), bytes)) {
        return fail((src / path).string() + ": cannot read: " + std::strerror(errno));
      }
      if (!hasSuffix(path, ".mqo")) {
        entries.push_back({name, std::vector<uint8_t>(bytes.begin(), bytes.end())});
        continue;
      }
      std::printf("converting %s\n", path.c_str());
      mqo_convert::Result model = mqo_convert::convert(bytes, (src / path).string());
      std::fflush(stdout);
      for (const std::string& note : model.notes) std::fprintf(stderr, "%s\n", note.c_str());
      if (!model.ok) {
        std::fprintf(stderr, "%s\n", model.error.c_str());
        return 1;
      }
      entries.push_back({name, std::move(model.bmdl)});
    }
    std::vector<PackSource> coreFiles;
    if (!core.read(coreFiles, error)) return fail(error);
    size_t added = 0;
    for (PackSource& file : coreFiles) {
      if (entryOf.count(file.name)) continue;
      entries.push_back(std::move(file));
      ++added;
    }
    // Sorted as vesper-pack sorts them, so both make the same pack.
    std::sort(entries.begin(), entries.end(),
              [](const PackSource& a, const PackSource& b) { return a.name < b.name; });
    std::printf("packing %zu entries (%zu from the core in %s) into %s\n", entries.size(), added,
                core.dir.string().c_str(), pak.string().c_str());
    if (!writePack(pak.string(), entries, error)) return fail(pak.string() + ": " + error);
    if (!record(block(packInputs, pak))) return 1;
  }
  if (!musicFresh) {
    std::vector<uint8_t> bytes;
    if (musicSource.filename() == "music.ogg") {
      std::printf("copying %s\n", musicSource.string().c_str());
      std::vector<char> ogg;
      if (!mqo_convert::readWhole(musicSource.string(), ogg)) {
        return fail(musicSource.string() + ": cannot read: " + std::strerror(errno));
      }
      bytes.assign(ogg.begin(), ogg.end());
    } else {
      std::printf("rendering %s\n", musicSource.string().c_str());
      std::fflush(stdout);
      musicgen::Score score;
      if (!musicgen::loadScore(musicSource.string(), score, error)) return fail(error);
      bytes = musicgen::encodeTrack(score);
      if (bytes.empty()) return fail(musicSource.string() + ": the encoder refused its quality");
    }
    if (!mqo_convert::writeReplacing(music.string(), bytes.data(), bytes.size(), error)) {
      return fail(music.string() + ": cannot write: " + error);
    }
    if (!record(block(musicInputs, music))) return 1;
  }

  std::printf("checking%s\n", args.compileEffects ? "" : " (effects not compiled)");
  std::fflush(stdout);
  const check::Report report = check::checkProduction(pak.string(), music.string(), args.compileEffects);
  if (check::printReport(report, "vesper-build") > 0) return 1;
  if (!record(args.compileEffects ? kChecked : kCheckedWithoutEffects)) return 1;
  std::printf("play it: vesper --data %s\n", args.out.c_str());
  return 0;
}
