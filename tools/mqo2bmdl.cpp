// mqo2bmdl: converts a Metasequoia text model into a binary model. The output
// is read back with the engine's own reader before it replaces OUT, and is
// written beside it under a temporary name, so a failed run leaves no file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mqo_convert.h"
#include "tool_version.h"

namespace {

const char kUsage[] = "usage: mqo2bmdl [--keep-hidden] IN.mqo OUT.bmdl\n       mqo2bmdl --help\n";

const char kHelp[] =
    "mqo2bmdl: converts a Metasequoia text model (Format Text Ver 1.0 or 1.1)\n"
    "into a binary model (.bmdl) for the player.\n"
    "\n"
    "usage: mqo2bmdl [--keep-hidden] IN.mqo OUT.bmdl\n"
    "\n"
    "  --keep-hidden   convert objects with visible 0 too\n"
    "\n"
    "Read: the Material chunk (col, dif, amb, emi, spc, power, shader, tex) and\n"
    "each Object's depth, facet, mirror, mirror_axis, visible, vertex (or\n"
    "BVertex) and face chunks. Other chunks are skipped; other material\n"
    "attributes (aplane, bump, proj_*, ...) are skipped with one warning each.\n"
    "  - Face order: Metasequoia writes a face's corners clockwise as seen from\n"
    "    its front; the player draws counter-clockwise faces as front faces and\n"
    "    culls back faces. Each face's corners are reversed (with their UVs), so\n"
    "    the side that faces you in Metasequoia faces you in the player. The\n"
    "    model is not mirrored: what is on its right stays on its right.\n"
    "  - Faces of four or more corners become triangles fanned from the last\n"
    "    corner written; faces of one or two corners are dropped.\n"
    "  - M(-1) or no M() is material 0; a file without materials gets one\n"
    "    default material. Material names are not kept.\n"
    "  - mirror 1 (or 2, connected) mirrors the object along mirror_axis\n"
    "    (1 x, 2 y, 4 z, bits combine), appending mirrored faces.\n"
    "  - Objects with visible 0 (helpers, bones, construction shapes) are left\n"
    "    out, as Metasequoia does not show them, with one line each on standard\n"
    "    error: IN: object \"NAME\" is hidden (visible 0): left out.\n"
    "    --keep-hidden converts them like the others.\n"
    "  - Coordinates are copied as written; names keep their bytes.\n"
    "  - Paths become pack names: '/' or '\\' separate, components join with\n"
    "    '\\', relative to the pack root: tex(\"data/texture/a.png\") names\n"
    "    data\\texture\\a.png. Absolute paths and '..' are errors.\n"
    "\n"
    "Extensions of this converter:\n"
    "  - Material attributes effect(\"PATH\") and tex2(\"PATH\") give the material's\n"
    "    effect and second texture, e.g.\n"
    "      \"metal\" col(1 1 1 1) tex(\"data/texture/a.png\") effect(\"data/shader/m.cgfx\")\n"
    "    Left out: the player's defaults.\n"
    "  - An Object whose name starts with '>' is a named point, not a mesh:\n"
    "    its first vertex is the position, its name without the leading '>'\n"
    "    the key (an object's pivot is the point named after the object).\n"
    "\n"
    "Warnings: 'IN:LINE: warning: reason' on standard error; the exit status\n"
    "stays 0.\n"
    "Errors: one line 'IN:LINE: reason' on standard error, exit status 1, and\n"
    "OUT is left untouched.\n";

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "mqo2bmdl")) return 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  MqoReadOptions options;
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--keep-hidden") == 0) {
    options.keepHidden = true;
    first = 2;
  }
  if (argc - first != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* in = argv[first];
  const char* out = argv[first + 1];
  std::vector<char> text;
  if (!mqo_convert::readWhole(in, text)) {
    std::fprintf(stderr, "%s:0: cannot read: %s\n", in, std::strerror(errno));
    return 1;
  }
  const mqo_convert::Result result = mqo_convert::convert(text, in, options);
  for (const std::string& note : result.notes) std::fprintf(stderr, "%s\n", note.c_str());
  if (!result.ok) {
    std::fprintf(stderr, "%s\n", result.error.c_str());
    return 1;
  }
  std::string error;
  if (!mqo_convert::writeReplacing(out, result.bmdl.data(), result.bmdl.size(), error)) {
    std::fprintf(stderr, "%s:0: cannot write %s: %s\n", in, out, error.c_str());
    return 1;
  }
  return 0;
}
