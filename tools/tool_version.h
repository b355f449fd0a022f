// `TOOL --version`, which every installed tool answers (its manual page is
// generated from --help and --version).
#pragma once

#include <cstdio>
#include <cstring>

inline bool printedVersion(int argc, char** argv, const char* name) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::printf("%s %s\n", name, VESPER_VERSION);
  return true;
}
