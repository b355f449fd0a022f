// The maker's kit as a maker runs it: vesper-new writes a production,
// vesper-build makes and checks it, the player shows it; and vesper-build's
// rebuilds and refusals, run after run on one source folder. The effects
// are compiled on a GL context, so these are GL tests.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "support/support.h"
#include "texture/decode.h"

namespace {

using testing_support::builtProgram;
using testing_support::bytes;
using testing_support::readFile;
using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

std::string buildDir() { return std::getenv("VESPER_BUILD_DIR"); }

TEST(MakersKit, NewProductionBuildsCleanAndShowsItsLitModelOverItsPostEffect) {
  TempDir dir;
  const std::string src = dir.file("src"), out = dir.file("out"), frames = dir.file("frames");
  auto r = runCommand(builtProgram("vesper-new") + " " + src);
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  r = runCommand(builtProgram("vesper-new") + " " + src);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.stdErr.find("not empty"), std::string::npos) << r.stdErr;

  // The core files come from the build tree's production, found beside the program.
  r = runCommand(builtProgram("vesper-build") + " " + src + " " + out);
  ASSERT_EQ(r.exitStatus, 0) << r.stdOut << r.stdErr;
  EXPECT_NE(r.stdOut.find("from the core in " + fs::canonical(buildDir() + "/production").string()),
            std::string::npos)
      << r.stdOut;
  EXPECT_NE(r.stdOut.find("play it: vesper --data " + out + "\n"), std::string::npos) << r.stdOut;
  EXPECT_EQ(r.stdErr, "vesper-build: 0 errors, 0 warnings\n");
  r = runCommand(builtProgram("vesper-check") + " " + out);
  EXPECT_EQ(r.exitStatus, 0) << r.stdOut;
  EXPECT_EQ(r.stdOut, "");

  // 2.5 s in: the camera looks at the box's front left edge from above.
  r = runCommand(builtProgram("vesper") + " --data " + out + " --headless --windowed --resolution 160x90 --capture " +
                 frames + " --fps 1 --from 2500 --to 3000");
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  const std::vector<uint8_t> png = readFile(frames + "/frame_000000.png");
  std::string reason;
  const auto frame = texture_decode::decodePng(png.data(), png.size(), reason);
  ASSERT_TRUE(frame) << reason;
  // Rows of the picture lie width() apart (its texture is padded to powers of two).
  ASSERT_GE(frame->width(), 160);
  auto pixel = [&](int x, int y) { return frame->pixels() + (static_cast<size_t>(y) * frame->width() + x) * 4; };
  // The box's orange: its top lit by the light above, its right side in the
  // ambient light only.
  const uint8_t* top = pixel(78, 25);
  const uint8_t* shaded = pixel(97, 45);
  for (const uint8_t* p : {top, shaded}) {
    EXPECT_GT(p[0], p[1] + p[0] / 8) << +p[0] << " " << +p[1] << " " << +p[2];
    EXPECT_GT(p[1], p[2] + p[1] / 8) << +p[0] << " " << +p[1] << " " << +p[2];
  }
  EXPECT_GT(top[0], 150);
  EXPECT_LT(shaded[0], 70);
  // The backdrop around it: blue, lighter at the top of the screen.
  const uint8_t* high = pixel(4, 4);
  const uint8_t* low = pixel(4, 85);
  for (const uint8_t* p : {high, low}) EXPECT_GT(p[2], p[0] + 20) << +p[0] << " " << +p[2];
  EXPECT_GT(high[2], low[2] + 60);
}

// One source folder through a series of changes; each row is one run.
TEST(MakersKit, BuildRebuildsWhatChangedAndRefusesBrokenSources) {
  TempDir dir;
  const std::string src = dir.file("src"), out = dir.file("out");
  ASSERT_EQ(runCommand(builtProgram("vesper-new") + " " + src).exitStatus, 0);
  const std::string model = src + "/data/model/box.mqo", effect = src + "/data/shader/lit.cgfx";
  const std::vector<uint8_t> goodModel = readFile(model), goodEffect = readFile(effect);
  const std::string core = buildDir() + "/production";
  auto touch = [](const std::string& path) {
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
  };

  struct Row {
    const char* what;
    std::function<void()> change;
    int status;
    std::string output;  // in stdout + stderr
    bool packWritten, musicWritten;
  };
  const Row rows[] = {
      {"first build: score rendered", [] {}, 0, "rendering " + src + "/score.txt", true, true},
      {"nothing changed", [] {}, 0, out + ": up to date", false, false},
      {"one file touched", [&] { touch(src + "/data/scene/orbit.qdf"); }, 0, "packing", true, false},
      {"broken model: a vertex of two coordinates",
       [&] {
         testing_support::writeFile(
             model, bytes("Metasequoia Document\nFormat Text Ver 1.0\n"
                          "Object \"x\" {\n vertex 1 {\n  1 2\n }\n}\nEof\n"));
       },
       1, model + ":6: expected coordinate", false, false},
      {"broken effect", [&] {
         testing_support::writeFile(model, goodModel);
         testing_support::writeFile(effect, bytes("technique t { pass p { VertexProgram = compile vp none(); } }\n"));
       },
       1, "data\\shader\\lit.cgfx: no technique compiles and links", true, false},
      {"music.ogg given", [&] {
         testing_support::writeFile(effect, goodEffect);
         fs::copy_file(core + "/music.ogg", src + "/music.ogg");
       },
       0, "copying " + src + "/music.ogg", true, true},
      {"missing source", [&] { fs::rename(src, dir.file("elsewhere")); }, 1,
       "vesper-build: " + src + ": no such folder", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto stamp = [](const std::string& path) {
      std::error_code ec;
      return fs::last_write_time(path, ec);
    };
    const auto packBefore = stamp(out + "/vesper.pak"), musicBefore = stamp(out + "/music.ogg");
    const std::vector<uint8_t> packBytes = readFile(out + "/vesper.pak");
    row.change();
    const auto r = runCommand(builtProgram("vesper-build") + " --core " + core + " " + src + " " + out);
    EXPECT_EQ(r.exitStatus, row.status) << r.stdOut << r.stdErr;
    EXPECT_NE((r.stdOut + r.stdErr).find(row.output), std::string::npos) << r.stdOut << r.stdErr;
    EXPECT_EQ(stamp(out + "/vesper.pak") != packBefore, row.packWritten);
    EXPECT_EQ(stamp(out + "/music.ogg") != musicBefore, row.musicWritten);
    if (!row.packWritten) {
      EXPECT_EQ(readFile(out + "/vesper.pak"), packBytes);
    }
  }
  EXPECT_EQ(readFile(out + "/music.ogg"), readFile(core + "/music.ogg"));

  // The core files the source lacks came from the core production.
  ASSERT_EQ(runCommand(builtProgram("vesper-pack") + " extract " + out + "/vesper.pak " + dir.file("x")).exitStatus, 0);
  for (const char* rel : {"data/core/shader/defaultShader.cgfx", "data/core/shader/finalScreenShader.cgfx"}) {
    EXPECT_EQ(readFile(dir.file("x/") + rel), testing_support::sourceFile("production/" + std::string(rel))) << rel;
  }
  EXPECT_TRUE(fs::is_regular_file(dir.file("x/data/core/texture/defaultTexture.bmp")));
  EXPECT_FALSE(fs::exists(dir.file("x/data/model/box.mqo")));
  EXPECT_TRUE(fs::is_regular_file(dir.file("x/data/model/box.bmdl")));
}

}  // namespace
