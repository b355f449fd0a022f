// vesper-import's conversion: a glTF 2.0, OBJ, FBX or Collada file read
// through Assimp into the player's binary model and one scene file with
// sampled keys. Assimp stays in the tools; the player reads only the outputs.
#pragma once

#include <string>
#include <vector>

struct ImportOptions {
  std::string input;   // the file to import
  std::string outDir;  // receives data/model, data/scene and data/texture
  std::string name;    // base name of the outputs; empty: the input's
  double rate = 30.0;  // keys per second of animation
};

struct ImportResult {
  std::string name;                // the name used
  std::string qdfEntry;            // the QdfEntry line for qdfDefine.xml
  std::string sceneLine;           // the SceneLineEntry line for sceneLineDefine.xml
  double seconds = 0.0;            // the scene's length (10 when static)
  std::vector<std::string> notes;  // things the maker should hear of
};

// The Assimp post-processing the importer asks for (the benchmark reads the
// same file with them).
unsigned importPostProcessing();

// Imports options.input and writes OUTDIR/data/model/NAME.bmdl,
// OUTDIR/data/scene/NAME.qdf and the textures under
// OUTDIR/data/texture/NAME/. All or nothing: on failure (false with a
// reason) no output file is written or replaced.
bool importScene(const ImportOptions& options, ImportResult& result, std::string& reason);
