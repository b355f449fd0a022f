// Playing a source folder (the pack's layout with '/' folders, plus
// music.ogg or score.txt at its root) instead of a production's pack.
#pragma once

#include <string>

#include "files/files.h"

// True when `dir` holds no vesper.pak but a data/ folder.
bool isSourceFolder(const std::string& dir);

// The pack whose core files (data\core\...) a source folder may lack: the
// installed production found as findProduction finds it, else the build
// tree's own production; empty when there is none.
std::string findCorePack();

// The source folder the show plays, set before initialisation; the file
// layer opens it (and the core pack beside it) in place of vesper.pak.
struct SourceFolderPlan {
  std::string dir;       // absolute
  std::string corePack;  // empty: none
};
void setSourceFolder(const SourceFolderPlan& plan);
// Null without a source folder.
const SourceFolderPlan* sourceFolder();

// Opens the show's files: the source folder (with its core pack) when one is
// set, else vesper.pak (openPackage). Critical errors as openPackage's.
void openShowFiles();

// The music file of the source folder `dir`: its music.ogg, or else its
// score.txt rendered once by the music generator into
// $XDG_CACHE_HOME/vesper/ (~/.cache/vesper/), named by the score's hash so
// an edit renders again. Empty, with `problem`, when neither works.
std::string sourceFolderMusic(const std::string& dir, FileProblem& problem);
