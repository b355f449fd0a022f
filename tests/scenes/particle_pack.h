// Pack entries for the particle tests: the sprite, swarm and blob shaders
// from production/data/shader and the textures texgen paints for them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scene_frame.h"
#include "support/support.h"

namespace particle_testing {

inline const char* const kPaintedTextures[] = {"mhane1a.png", "mhane2a.png", "mhane3a.png",
                                               "mhane4a.png", "light1.png",  "light2.png",
                                               "light3.png",  "metaback.jpg", "moricube.dds"};

// Paints the textures into `painted` and appends every entry to `files`.
inline void addParticleFiles(const testing_support::TempDir& painted, std::vector<PackSource>& files) {
  const auto run = testing_support::runCommand(testing_support::builtProgram("texgen") + " " + painted.path());
  EXPECT_EQ(run.exitStatus, 0) << run.stdErr;
  for (const char* name : {"pointspriteShader.cgfx", "particleCloudShader.cgfx", "MetaballShader.cgfx"}) {
    files.push_back({std::string("data\\shader\\") + name,
                     testing_support::sourceFile(std::string("production/data/shader/") + name)});
  }
  for (const char* name : kPaintedTextures) {
    files.push_back({std::string("data\\texture\\") + name, testing_support::readFile(painted.file(name))});
  }
}

// With VESPER_SNAPSHOT_DIR set, writes the bottom-up RGBA frame there as
// <name>.png, to look at.
inline void snapshot(const char* name, const std::vector<uint8_t>& pixels, int width, int height) {
  const char* dir = std::getenv("VESPER_SNAPSHOT_DIR");
  if (dir == nullptr) return;
  std::string reason;
  EXPECT_TRUE(scene_testing::writeFramePng(std::string(dir) + "/" + name + ".png", pixels, width, height, reason))
      << reason;
}

}  // namespace particle_testing
