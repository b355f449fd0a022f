// Rehearsal in process on a scripted clock: a source folder's effect,
// texture, model and scene file edited in turn while the show plays, each
// change on the next frame; a broken effect keeps the last good one and is
// listed with its file and line until it is fixed.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/managers.h"
#include "app/rehearsal.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "app/rehearsal_folder.h"
#include "demo/show_production.h"
#include "model/mqo_text.h"
#include "support/gl_context.h"
#include "support/support.h"
#include "../../bench/show_run.h"

namespace {

using namespace rehearsal_testing;

constexpr int kW = 160;
constexpr int kH = 90;

class Rehearse : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gl.ok()) SKIP_WITHOUT_DISPLAY("no GL context");
    rehearsal_testing::writeWallFolder(src);
    // The core files come from the sample production, as from an installed one.
    ASSERT_TRUE(show_bench::installProduction(VESPER_TEST_PRODUCTION_DIR "/vesper.pak", "rehearsal test"));
    openFolder(src.path());
    addFolderDerivation("bmdl", "mqo", deriveBinaryModel);
    std::string reason;
    ASSERT_TRUE(startRehearsal(src.path(), reason)) << reason;
    show.emplace(kW, kH, 0);
    ASSERT_TRUE(show->start());
    pollRehearsal();  // as the main loop does before each frame: watches what loaded
  }
  void TearDown() override {
    stopRehearsal();
    show.reset();
    closeFolder();
    closePackage();
    static_cast<DisplaySettings&>(settingsManager::instance()) = DisplaySettings();
  }
  template <class Text>
  void write(const std::string& name, const Text& text) {
    rehearsal_testing::write(src, name, text);
  }
  void save(const std::string& name, const std::string& text) { rehearsal_testing::save(src, name, text); }
  // Waits for the watcher to see the edit, applies it and draws a frame.
  void nextFrame() {
    ASSERT_TRUE(waitForRehearsalChange(10000)) << "no change seen";
    pollRehearsal();
    ASSERT_TRUE(show->frame(music += 16));
  }
  std::vector<uint8_t> centre() const { return gl.readPixels(kW / 2, kH / 2, 1, 1); }

  testing_support::GlContext gl{kW, kH};
  testing_support::TempDir src;
  std::optional<show_bench::Show> show;
  uint32_t music = 500;
};

TEST_F(Rehearse, EditsShowOnTheNextFrameAndABrokenEffectKeepsTheLastGoodOne) {
  using render_testing::isColour;
  ASSERT_TRUE(show->frame(music));
  EXPECT_TRUE(isColour(centre(), 255, 0, 0));
  // The handle goes at once; the model holds the effect.
  const resShader* effect = ResourceRef<resShader>::load("data\\shader\\paint.cgfx").get();

  save("data/model/m.mqo", squareMqo("0 1 0 1"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 0, 255, 0)) << "model";

  write("data/texture/t.bmp", render_testing::solidBmp(128, 128, 128));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 0, 128, 0)) << "texture";

  save("data/shader/paint.cgfx", paintEffect("vec4(0.0, 0.0, 1.0, 1.0)"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 0, 0, 255)) << "effect";

  const std::string effectFile = src.file("data/shader/paint.cgfx");
  save("data/shader/paint.cgfx", paintEffect("vec4(undeclaredName, 1.0)"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 0, 0, 255)) << "the last good effect";
  const RehearsalState& state = rehearsalState();
  ASSERT_EQ(state.errors.size(), 1u);
  EXPECT_EQ(state.errors[0].file, effectFile);
  EXPECT_EQ(state.errors[0].line, 7);  // the compiler's line is the file's
  EXPECT_EQ(state.errors[0].text().rfind(effectFile + ":7: ", 0), 0u) << state.errors[0].text();
  EXPECT_FALSE(state.lastReload.ok);
  // Every holder still points at the one effect object.
  EXPECT_EQ(ResourceRef<resShader>::load("data\\shader\\paint.cgfx").get(), effect);

  save("data/shader/paint.cgfx", paintEffect("vec4(1.0, 1.0, 0.0, 1.0)"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 255, 255, 0)) << "the fixed effect";
  EXPECT_TRUE(state.errors.empty());
  EXPECT_TRUE(state.lastReload.ok);
  EXPECT_EQ(state.lastReload.file, effectFile);

  save("data/scene/wall.qdf", wallScene("30 0 0"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 0, 0, 0)) << "scene file: the wall moved away";

  // A scene file naming a missing model: the critical error that would end
  // a normal run is listed, naming the file, and the last good scene stays.
  save("data/scene/wall.qdf", wallScene("0 0 0"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 255, 255, 0));
  const std::string sceneFile = src.file("data/scene/wall.qdf");
  save("data/scene/wall.qdf", show_testing::sceneFile({{"wall", 100.0f, ""}}, "0 \"data\\model\\gone.mqo\"\n"));
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 255, 255, 0)) << "the last good scene";
  ASSERT_EQ(state.errors.size(), 1u);
  EXPECT_EQ(state.errors[0].text(), sceneFile + ": " + critical::kFileNotFound + "   entry: " +
                                        src.file("data/model/gone.mqo"));
  save("data/scene/wall.qdf", wallScene("0 0 0"));
  nextFrame();
  EXPECT_TRUE(state.errors.empty());

  // A model that no longer parses: the last good one stays, named by line.
  save("data/model/m.mqo", "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"o\" {\n\tdepth -1\n}\nEof\n");
  nextFrame();
  EXPECT_TRUE(isColour(centre(), 255, 255, 0)) << "the last good model";
  ASSERT_EQ(state.errors.size(), 1u);
  EXPECT_EQ(state.errors[0].text(), src.file("data/model/m.mqo") + ":5: depth out of range");
}

}  // namespace
