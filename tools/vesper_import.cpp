// vesper-import: a glTF 2.0, OBJ, FBX or Collada file into the player's
// binary model and a scene file, and the two definition lines that play it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "import/import.h"
#include "tool_version.h"

namespace {

const char kUsage[] = "usage: vesper-import IN OUTDIR [--rate N] [--name NAME]\n       vesper-import --help\n";

const char kHelp[] =
    "vesper-import: imports a glTF 2.0 (.gltf, .glb), OBJ, FBX or Collada (.dae)\n"
    "file into a production's source folder: a binary model and a scene file\n"
    "the player plays in real time.\n"
    "\n"
    "usage: vesper-import IN OUTDIR [--rate N] [--name NAME]\n"
    "\n"
    "  --rate N     animation keys per second (default 30)\n"
    "  --name NAME  base name of the outputs (default: IN's name without its\n"
    "               extension; white space, quotes, parentheses, braces and\n"
    "               slashes become '_')\n"
    "\n"
    "Writes:\n"
    "  OUTDIR/data/model/NAME.bmdl      the model\n"
    "  OUTDIR/data/scene/NAME.qdf       one scene with the camera and the model,\n"
    "                                   named NAME (NAME_imported where a scene\n"
    "                                   class of the player has that name)\n"
    "  OUTDIR/data/texture/NAME/*.png   the base-colour textures, embedded or\n"
    "                                   external\n"
    "and prints the two lines to paste into the definition documents:\n"
    "  <QdfEntry id=\"NAME\" path=\"data\\scene\\NAME.qdf\"/>          (qdfDefine.xml)\n"
    "  <SceneLineEntry line=\"0\" qdfId=\"NAME\" sTime=\"0\" eTime=\"MS\" shader=\"default\"/>\n"
    "                                                   (sceneLineDefine.xml)\n"
    "with MS the animation's length (10000 for a still scene), so the scene plays\n"
    "at its own speed; move sTime and eTime together to place it in the show.\n"
    "\n"
    "Objects: each node of the file is an object of the model, named after the\n"
    "node, at its depth in the hierarchy; its meshes are triangulated (points\n"
    "and lines are dropped). A node with children that has later siblings gets\n"
    "an empty object NAME_group above it, which keeps its transform off those\n"
    "siblings.\n"
    "\n"
    "Coordinates are kept: a right-handed y-up file looks in the player as in\n"
    "its modeller (front faces counter-clockwise, nothing mirrored).\n"
    "\n"
    "Normals: where the file has them, vertices are shared only where the\n"
    "normals are, and the player smooths across shared vertices alone, so hard\n"
    "and soft edges stay as they were; without them, every face is flat.\n"
    "\n"
    "Materials keep their base colour (or diffuse colour and opacity) and\n"
    "base-colour (or diffuse) texture, written as PNG and named by its pack path\n"
    "(data\\texture\\NAME\\FILE.png); the lighting factors are Metasequoia's\n"
    "defaults. A texture that cannot be read leaves the default texture, with a\n"
    "warning.\n"
    "\n"
    "Keys: the first animation's node translations, rotations and scales are\n"
    "sampled N times a second (and at its end) into keys of each object, with z\n"
    "negated and rotations as the scene file's x, y, z angles.\n"
    "\n"
    "Camera: the file's first camera is the scene's camera, with its vertical\n"
    "field of view and roll; the player's near and far planes are 0.1 and 150.\n"
    "Without a camera, one looking down -z frames the model's bounds over the\n"
    "animation with a 30 degree field of view, and a model too large (or too\n"
    "small) for that view between the planes is scaled to fit, with a note.\n"
    "\n"
    "Notes and warnings go to standard error as 'vesper-import: IN: TEXT'.\n"
    "Errors: one line 'vesper-import: IN: reason' on standard error, exit status 1,\n"
    "and no output file written or replaced. A wrong command line: exit status 2.\n";

}  // namespace

int main(int argc, char** argv) {
  if (printedVersion(argc, argv, "vesper-import")) return 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  ImportOptions options;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--rate" || arg == "--name") && i + 1 < argc) {
      const char* value = argv[++i];
      if (arg == "--name") {
        options.name = value;
        if (options.name.empty()) {
          std::fputs("vesper-import: --name wants a name\n", stderr);
          return 2;
        }
      } else {
        char* end = nullptr;
        options.rate = std::strtod(value, &end);
        if (end == value || *end != '\0' || !(options.rate > 0.0 && options.rate <= 1000.0)) {
          std::fprintf(stderr, "vesper-import: --rate wants a number of keys per second in (0, 1000], not %s\n", value);
          return 2;
        }
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fputs(kUsage, stderr);
      return 2;
    } else if (positional == 0) {
      options.input = arg;
      ++positional;
    } else if (positional == 1) {
      options.outDir = arg;
      ++positional;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (positional != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ImportResult result;
  std::string reason;
  const bool ok = importScene(options, result, reason);
  for (const std::string& note : result.notes)
    std::fprintf(stderr, "vesper-import: %s: %s\n", options.input.c_str(), note.c_str());
  if (!ok) {
    std::fprintf(stderr, "vesper-import: %s: %s\n", options.input.c_str(), reason.c_str());
    return 1;
  }
  std::printf("%s\n%s\n", result.qdfEntry.c_str(), result.sceneLine.c_str());
  return 0;
}
