// vesper-check: validates a production (vesper.pak and its music) and
// prints every problem it finds, not only the first, each as "FILE: REASON"
// or, where it has a line, "FILE:LINE: REASON".
#include <cstdio>
#include <cstring>
#include <string>

#include "check/check.h"
#include "tool_version.h"

namespace {

const char kUsage[] =
    "Usage: vesper-check [DIR | PAK MUSIC]\n"
    "\n"
    "Validates a production: DIR holds vesper.pak and music.ogg (default: the current\n"
    "directory), or PAK and MUSIC name the two files.\n"
    "\n"
    "Checks that the pack's entries lie within the file; that the definition\n"
    "documents parse and hold usable entries (timeline lines 0-9, at most 32 scenes a\n"
    "line, post-effect targets -1..9, sources 0-9 or w0-w9, constants of their type);\n"
    "that every file the show loads is in the pack (scene files, models, textures,\n"
    "effects; names compared exactly); that scene files parse and their parts name\n"
    "objects of their models; that every texture decodes; that every effect compiles\n"
    "and links on a hidden GL context (on the X display, or with SDL's offscreen\n"
    "driver when DISPLAY is unset), has the passes the show runs and declares the\n"
    "parameters the post-effect chain sets on it; that scene names are no near miss\n"
    "of a scene class (a warning); and that the music decodes to its end and\n"
    "outlasts the timeline.\n"
    "\n"
    "Prints each problem on stdout as \"FILE: REASON\", warnings as\n"
    "\"FILE: warning: REASON\", where FILE is a pack entry or a file on disk, with\n"
    "\":LINE\" after it where the problem has a line (scene files); a count goes to\n"
    "stderr.\n"
    "\n"
    "Exit status: 0 when there is no error (warnings allowed), 1 when there is one,\n"
    "2 for a bad command line.\n"
    "\n"
    "  --help     print this text\n"
    "  --version  print the version\n";

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-check")) return 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 3 || (argc > 1 && argv[1][0] == '-')) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string pakPath = "vesper.pak";
  std::string musicPath = "music.ogg";
  if (argc == 2) {
    pakPath = std::string(argv[1]) + "/vesper.pak";
    musicPath = std::string(argv[1]) + "/music.ogg";
  } else if (argc == 3) {
    pakPath = argv[1];
    musicPath = argv[2];
  }

  const check::Report report = check::checkProduction(pakPath, musicPath);
  return check::printReport(report, "vesper-check") ? 1 : 0;
}
