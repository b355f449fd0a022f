// Where the player finds its production when --data does not name it: the
// working directory, then the XDG data directories, then the install prefix.
#include <filesystem>
#include <sstream>

#include "app/command_line.h"

namespace {

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The XDG rules: unset or empty takes the default; relative entries are ignored.
std::vector<std::string> candidateDirs() {
  std::vector<std::string> dirs;
  auto add = [&dirs](const std::string& base) {
    if (base.empty() || base.front() != '/') return;
    const std::string dir = base + "/vesper";
    for (const std::string& d : dirs) {
      if (d == dir) return;
    }
    dirs.push_back(dir);
  };
  std::string home = env("XDG_DATA_HOME");
  if (home.empty() && !env("HOME").empty()) home = env("HOME") + "/.local/share";
  add(home);
  std::string shared = env("XDG_DATA_DIRS");
  if (shared.empty()) shared = "/usr/local/share:/usr/share";
  std::istringstream parts(shared);
  for (std::string part; std::getline(parts, part, ':');) add(part);
  // The tests point this elsewhere so that an installed production cannot
  // answer for the build's own prefix.
  const std::string prefix = env("VESPER_INSTALL_DATA_DIR");
  add(prefix.empty() ? VESPER_INSTALL_DATA_DIR : prefix);
  return dirs;
}

bool holdsPack(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(dir) / "vesper.pak", ec);
}

}  // namespace

ProductionSearch findProduction(const std::string& dataDir) {
  ProductionSearch s;
  std::error_code ec;
  s.searched.push_back(dataDir.empty() ? std::filesystem::current_path(ec).string() : dataDir);
  if (dataDir.empty()) {
    for (std::string& d : candidateDirs()) s.searched.push_back(std::move(d));
  }
  for (const std::string& d : s.searched) {
    if (holdsPack(d)) {
      s.found = d;
      break;
    }
  }
  return s;
}

std::string ProductionSearch::report() const {
  std::string text = "vesper: no vesper.pak in any of:\n";
  for (const std::string& d : searched) text += "  " + d + "\n";
  return text;
}
