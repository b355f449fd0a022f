// An imported scene as the player shows it: a glTF box moving +x in front of
// a camera looking down -z is imported, packed with the core files and the
// two definition lines vesper-import prints, and captured at two times. The
// box must move right on screen and be lit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "capture/capture.h"
#include "demo/show_production.h"
#include "support/gltf_writer.h"
#include "support/support.h"
#include "texture/decode.h"
#include "texture/texture.h"

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

namespace {

struct Seen {
  double x = -1.0;  // centre of the box's pixels, 0-1 from the left
  double y = -1.0;  // 0-1 from the top
  double brightest = 0.0;
  size_t pixels = 0;
};

// The pixels brighter than the black background.
Seen findBox(const std::string& path) {
  const bool saved = textureManager::instance().nonPowerOfTwo();
  textureManager::instance().setNonPowerOfTwo(true);
  const std::vector<uint8_t> file = testing_support::readFile(path);
  std::string reason;
  const auto picture = texture_decode::decodePng(file.data(), file.size(), reason);
  textureManager::instance().setNonPowerOfTwo(saved);
  Seen seen;
  if (!picture) {
    ADD_FAILURE() << path << ": " << reason;
    return seen;
  }
  double sumX = 0.0, sumY = 0.0;
  const uint32_t w = picture->usedWidth(), h = picture->usedHeight();
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = picture->pixels() + (size_t{y} * picture->width() + x) * 4;
      const int brightest = std::max({p[0], p[1], p[2]});
      if (brightest < 16) continue;
      sumX += x + 0.5;
      sumY += y + 0.5;
      seen.brightest = std::max<double>(seen.brightest, brightest);
      ++seen.pixels;
    }
  }
  if (seen.pixels) {
    seen.x = sumX / seen.pixels / w;
    seen.y = sumY / seen.pixels / h;
  }
  return seen;
}

TEST(ImportedScene, ABoxMovingPlusXMovesRightOnScreenAndIsLit) {
  TempDir dir;
  // The box turned a little so three faces show their shading.
  gltf_testing::Document doc;
  doc.meshes = {gltf_testing::box(0.5f)};
  doc.materials = {{1.0f, 0.8f, 0.5f, 1.0f}};
  doc.nodes = {{"box", 0, -1, {-1, 0, 0}, glm::angleAxis(0.5f, glm::normalize(glm::vec3(1, 1, 0))), {1, 1, 1}, {}},
               {"camera", -1, 0, {0, 0, 6}, {1, 0, 0, 0}, {1, 1, 1}, {}}};
  doc.roots = {0, 1};
  doc.cameraFovs = {0.6f};
  doc.tracks = {{0, "translation", {0, 1}, {-1, 0, 0, 1, 0, 0}}};
  testing_support::writeFile(dir.file("box.gltf"), testing_support::bytes(gltf_testing::write(doc)));

  auto r = runCommand(builtProgram("vesper-import") + " " + dir.file("box.gltf") + " " + dir.file("src"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  const size_t split = r.stdOut.find('\n');
  ASSERT_NE(split, std::string::npos) << r.stdOut;
  const std::string qdfEntry = r.stdOut.substr(0, split + 1);
  const std::string sceneLine = r.stdOut.substr(split + 1);

  // The source folder: the imported files, the core files and the two lines.
  std::vector<PackSource> files = show_testing::coreEffects();
  files.push_back({kDefaultModelEffect, testing_support::sourceFile("production/data/core/shader/defaultShader.cgfx")});
  files.push_back({kDefaultModelTexture, render_testing::solidBmp(255, 255, 255)});
  files.push_back(
      {"data\\definition\\qdfDefine.xml", testing_support::bytes(show_testing::document("qdfDefine", qdfEntry))});
  files.push_back({"data\\definition\\sceneLineDefine.xml",
                   testing_support::bytes(show_testing::document("sceneLineDefine", sceneLine))});
  for (const auto& item : fs::recursive_directory_iterator(dir.file("src"))) {
    if (!item.is_regular_file()) continue;
    std::string entry = fs::relative(item.path(), dir.file("src")).string();
    for (char& c : entry) c = c == '/' ? '\\' : c;
    files.push_back({entry, testing_support::readFile(item.path().string())});
  }
  fs::create_directories(dir.file("play"));
  testing_support::makePack(dir.file("play/vesper.pak"), files);
  // Two seconds of music: the capture ends with it.
  std::ofstream(dir.file("score.txt")) << "tempo 120\ninstrument lead sine attack=0 release=0.02\n"
                                          "pattern a lead C4 - - - E4 - - .\nplay a\nplay a\n";
  r = runCommand(builtProgram("musicgen") + " " + dir.file("score.txt") + " " + dir.file("play/music.ogg"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;

  // Frames at 200 and 700 ms: the box at x = -0.6 and x = 0.4.
  r = runCommand("SDL_AUDIODRIVER=dummy " + builtProgram("vesper") +
                 " --headless --windowed --resolution 320x180 --data '" + dir.file("play") + "' --capture '" +
                 dir.file("frames") + "' --fps 2 --from 200 --to 1000");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  const Seen early = findBox(captureFramePath(dir.file("frames"), 0));
  const Seen late = findBox(captureFramePath(dir.file("frames"), 1));
  for (const Seen& s : {early, late}) {
    EXPECT_GT(s.pixels, 200u) << "the box is not in view";
    EXPECT_GT(s.brightest, 120.0) << "the box is not lit";
    EXPECT_NEAR(s.y, 0.5, 0.05) << "the box is not level with the camera";
  }
  // One unit at 6 units' distance with a 0.6 rad field of view: about a
  // sixth of the frame's width.
  EXPECT_GT(late.x - early.x, 0.1) << early.x << " -> " << late.x;
  EXPECT_LT(early.x, 0.5);
  EXPECT_GT(late.x, 0.5);
}

}  // namespace
