// The source folder as the show's file source, its core files and its music.
// The score is rendered in process with the generator's own library (the
// same bytes the musicgen program writes), so the player needs no program
// beside it, and is cached under the score's hash.
#include "app/source_folder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "app/command_line.h"
#include "app/managers.h"
#include "model/mqo_text.h"
#include "musicgen/score.h"
#include "musicgen/track.h"

namespace fs = std::filesystem;

namespace {

std::optional<SourceFolderPlan> gPlan;

uint64_t fnv1a(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string cacheDir() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/vesper";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.cache/vesper";
}

}  // namespace

bool isSourceFolder(const std::string& dir) {
  std::error_code ec;
  return !fs::is_regular_file(fs::path(dir) / "vesper.pak", ec) && fs::is_directory(fs::path(dir) / "data", ec);
}

std::string findCorePack() {
  const ProductionSearch search = findProduction("");
  if (!search.found.empty()) return search.found + "/vesper.pak";
  std::error_code ec;
  const std::string built = VESPER_BUILD_PRODUCTION_DIR "/vesper.pak";
  return fs::is_regular_file(built, ec) ? built : std::string();
}

void setSourceFolder(const SourceFolderPlan& plan) { gPlan = plan; }

const SourceFolderPlan* sourceFolder() { return gPlan ? &*gPlan : nullptr; }

void openShowFiles() {
  if (!gPlan) {
    openPackage();
    return;
  }
  if (!gPlan->corePack.empty()) {
    if (std::FILE* fp = std::fopen(gPlan->corePack.c_str(), "rb")) {
      if (const char* error = installPackage(fp)) CoreDebug::criticalError(error, gPlan->corePack.c_str());
    }
  }
  openFolder(gPlan->dir);
  addFolderDerivation("bmdl", "mqo", deriveBinaryModel);
}

std::string sourceFolderMusic(const std::string& dir, FileProblem& problem) {
  std::error_code ec;
  const std::string ogg = dir + "/music.ogg";
  if (fs::is_regular_file(ogg, ec)) return ogg;
  problem.file = dir + "/score.txt";
  problem.line = 0;
  std::ifstream in(problem.file, std::ios::binary);
  if (!in) {
    problem.file = ogg;
    problem.reason = "no music: neither music.ogg nor score.txt";
    return {};
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char name[32];
  std::snprintf(name, sizeof name, "score-%016llx.ogg", static_cast<unsigned long long>(fnv1a(text)));
  const std::string cached = cacheDir() + "/" + name;
  if (fs::is_regular_file(cached, ec)) return cached;

  musicgen::Score score;
  try {
    std::istringstream lines(text);
    score = musicgen::parseScore(lines);
  } catch (const musicgen::ParseError& e) {
    problem.line = e.line;
    problem.reason = e.reason;
    return {};
  }
  const std::vector<uint8_t> bytes = musicgen::encodeTrack(score);
  fs::create_directories(cacheDir(), ec);
  const std::string temp = cached + ".tmp";
  std::ofstream out(temp, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (bytes.empty() || !out || (fs::rename(temp, cached, ec), ec)) {
    fs::remove(temp, ec);
    problem.reason = "the rendered music cannot be written to " + cached;
    return {};
  }
  return cached;
}
