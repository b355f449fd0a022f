// vesper-new: writes a small source production to start from. Its files
// are templates/new, carried inside the program (new_templates.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "new_templates.h"
#include "tool_version.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "usage: vesper-new DIR\n"
    "\n"
    "Writes a small source production into DIR (created when missing; an\n"
    "existing DIR must be empty): a lit model turning in front of an orbiting\n"
    "camera over a post effect, for ten seconds of music. Every file is\n"
    "commented:\n"
    "  data/definition/*.xml   the timeline, its scene files, the post effect\n"
    "                          chain and the custom textures\n"
    "  data/scene/orbit.qdf    the scene: the model and a camera orbiting it\n"
    "  data/model/box.mqo      the model (Metasequoia text)\n"
    "  data/shader/*.cgfx      the model's lit effect and the post effect\n"
    "  score.txt               the music, rendered by musicgen's synthesiser\n"
    "\n"
    "Then 'vesper-build DIR DIR/out' builds it and 'vesper --data DIR/out'\n"
    "plays it.\n"
    "\n"
    "  --help     print this text\n"
    "  --version  print the version\n"
    "\n"
    "Exit status 0 when written, 1 when DIR is not empty or cannot be written,\n"
    "2 for a bad command line.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "vesper-new: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-new")) return 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("usage: vesper-new DIR (--help tells more)\n", stderr);
    return 2;
  }
  const fs::path dir(argv[1]);
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!fs::is_directory(dir, ec)) return fail(dir.string() + ": not a folder");
    if (!fs::is_empty(dir, ec)) return fail(dir.string() + ": not empty; vesper-new writes only into an empty folder");
  }
  for (size_t i = 0; i < kNewTemplateCount; ++i) {
    const NewTemplate& t = kNewTemplates[i];
    const fs::path target = dir / t.path;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream file(target, std::ios::binary);
    file.write(reinterpret_cast<const char*>(t.data), static_cast<std::streamsize>(t.size));
    file.close();
    if (!file) return fail(target.string() + ": cannot write: " + std::strerror(errno));
    std::printf("wrote %s\n", target.string().c_str());
  }
  std::printf("build and play it: vesper-build %s %s/out && vesper --data %s/out\n", argv[1], argv[1], argv[1]);
  return 0;
}
