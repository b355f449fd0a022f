// The engine's folders depend one way: a file in src/<folder>/ includes
// headers of its own folder and of lower folders only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// Lowest first. Folders on one line may include each other.
const std::vector<std::vector<std::string>> kLevels = {
    {"platform"}, {"musicgen"}, {"core"}, {"files"}, {"sound"}, {"xml"}, {"resources"}, {"texture", "shader"},
    {"model"}, {"formats"}, {"render"}, {"scene_render"}, {"scenes"}, {"capture"}, {"demo"}, {"app"},
};

// Inversions not yet routed through an interface of the lower folder. Each
// must still occur, so this list can only shrink.
const std::vector<std::string> kKnownInversions = {};

std::optional<size_t> level(const std::string& folder) {
  for (size_t i = 0; i < kLevels.size(); ++i)
    for (const std::string& name : kLevels[i])
      if (name == folder) return i;
  return std::nullopt;
}

// The engine folder a line includes from ("app" for ).
std::optional<std::string> includedFolder(const std::string& line) {
  static const std::regex include(R"(^\s*#\s*include\s*"([A-Za-z0-9_]+)/)");
  std::smatch m;
  if (!std::regex_search(line, m, include)) return std::nullopt;
  return m[1].str();
}

TEST(Layering, IncludedFolderIsReadFromQuotedIncludesOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"#include \"app/app.h\"", "app"},
      {"  #  include \"scene_render/scene_render.h\"  // why", "scene_render"},
      {"#include <GL/glew.h>", ""},
      {"#include \"local.h\"", ""},
      {"// #include \"app/app.h\"", ""},
  };
  for (const auto& [line, folder] : cases) EXPECT_EQ(includedFolder(line).value_or(""), folder) << line;
}

TEST(Layering, NoFolderIncludesAHigherOne) {
  const fs::path src = testing_support::sourcePath("src");
  ASSERT_TRUE(fs::is_directory(src)) << src;
  std::vector<std::string> inversions;
  size_t includes = 0;
  for (const fs::directory_entry& dir : fs::directory_iterator(src)) {
    if (!dir.is_directory()) continue;
    const std::string folder = dir.path().filename().string();
    const std::optional<size_t> own = level(folder);
    if (!own) {
      ADD_FAILURE() << "src/" << folder << " has no place in the layering table";
      continue;
    }
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(dir.path())) {
      if (!file.is_regular_file()) continue;
      std::ifstream in(file.path());
      std::string line;
      while (std::getline(in, line)) {
        const std::optional<std::string> target = includedFolder(line);
        if (!target) continue;
        ++includes;
        const std::optional<size_t> theirs = level(*target);
        if (!theirs) {
          ADD_FAILURE() << file.path() << " includes " << *target << "/, which is not in the table";
        } else if (*theirs > *own) {
          inversions.push_back(fs::relative(file.path(), src).generic_string() + " includes " + *target + "/");
        }
      }
    }
  }
  EXPECT_GT(includes, 100u) << "the scan found almost no includes";
  std::sort(inversions.begin(), inversions.end());
  EXPECT_EQ(inversions, kKnownInversions);
}

}  // namespace
