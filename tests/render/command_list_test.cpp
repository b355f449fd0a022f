// Recording into the draw-command list: layers, counts, materials, reset and
// the full-arena rule. Nothing here executes GL.
#include <gtest/gtest.h>

#include "render/render.h"

namespace {

constexpr GlEnum kProjection = 0x1701;
constexpr GlEnum kModelView = 0x1700;

class CommandList : public ::testing::Test {
 protected:
  void SetUp() override {
    list.setArenaSizesForTesting(0, 0);
    ASSERT_TRUE(list.initialize());
    list.setCurrentLayer(0);
    list.setCurrentMaterial(nullptr);
  }
  void TearDown() override {
    list.terminate();
    list.setArenaSizesForTesting(0, 0);
  }
  intermediateCommand& list = intermediateCommand::instance();
};

uint32_t total(const intermediateCommand& l) {
  uint32_t n = 0;
  for (int i = 0; i < intermediateCommand::kLayerCount; ++i) n += l.layerCount(i);
  return n;
}

TEST_F(CommandList, BracketRecordsToLayerSixThenBackToZero) {
  EXPECT_TRUE(list.translate(1, 2, 3));
  EXPECT_EQ(list.layerCount(0), 1u);
  EXPECT_TRUE(list.beginDraw());
  EXPECT_EQ(list.currentLayer(), 6);
  list.pushMatrix(kProjection);
  list.loadIdentity(kProjection);
  list.ortho(0, 1, 1, 0, 0.01f, 1000);
  list.lookAt(0, 0, 900, 0, 0, -1, 0, 1, 0);
  list.drawQuad(1, 1);
  list.popMatrix(kProjection);
  EXPECT_TRUE(list.endDraw());
  EXPECT_EQ(list.currentLayer(), 0);
  EXPECT_EQ(list.layerCount(6), 8u);
  list.translate(0, 0, 1);
  EXPECT_EQ(list.layerCount(0), 2u);
  EXPECT_EQ(total(list), 10u);
}

TEST_F(CommandList, MaterialsComeWithDefaultsAndResetKeepsLayerAndMaterial) {
  drawMaterial* m = list.newMaterial();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->texture, nullptr);
  EXPECT_EQ(m->red, 1.0f);
  EXPECT_EQ(m->alpha, 1.0f);
  EXPECT_EQ(m->tBottom, 0.0f);
  EXPECT_EQ(m->tTop, 1.0f);
  EXPECT_EQ(m->sLeft, 0.0f);
  EXPECT_EQ(m->sRight, 1.0f);
  m->red = 0.25f;
  drawMaterial* second = list.newMaterial();
  EXPECT_NE(second, m);
  EXPECT_EQ(list.materialCount(), 2u);
  list.setCurrentMaterial(m);
  list.beginDraw();
  list.changeMaterial(m);
  list.reset();
  EXPECT_EQ(total(list), 0u);
  EXPECT_EQ(list.materialCount(), 0u);
  EXPECT_EQ(list.currentLayer(), 6);
  EXPECT_EQ(list.currentMaterial(), m);
  // The arena starts again at its beginning, with fresh defaults.
  drawMaterial* again = list.newMaterial();
  EXPECT_EQ(again, m);
  EXPECT_EQ(again->red, 1.0f);
}

TEST_F(CommandList, FullArenasRefuseRecordsInsteadOfOverrunning) {
  list.terminate();
  // 40 bytes: room for two 16-byte records, not a third; one material only.
  list.setArenaSizesForTesting(40, sizeof(drawMaterial) + 8);
  ASSERT_TRUE(list.initialize());
  EXPECT_TRUE(list.pushMatrix(kModelView));
  EXPECT_FALSE(list.translate(1, 1, 1));  // 32 bytes do not fit in the 24 left
  EXPECT_TRUE(list.popMatrix(kModelView));
  EXPECT_FALSE(list.loadIdentity(kModelView));
  EXPECT_EQ(list.layerCount(0), 2u);
  // Other layers have arenas of their own.
  EXPECT_TRUE(list.beginDraw());
  EXPECT_FALSE(list.ortho(0, 1, 1, 0, 0, 1));
  EXPECT_TRUE(list.endDraw());
  EXPECT_EQ(list.layerCount(6), 2u);
  EXPECT_NE(list.newMaterial(), nullptr);
  EXPECT_EQ(list.newMaterial(), nullptr);
  EXPECT_EQ(list.materialCount(), 1u);
  // After a reset the room is there again.
  list.reset();
  EXPECT_TRUE(list.loadIdentity(kModelView));
  EXPECT_NE(list.newMaterial(), nullptr);
}

TEST_F(CommandList, OverlayIsRecordedWholeOrNotAtAll) {
  list.terminate();
  // Room for the first few records of the overlay but not its pops.
  list.setArenaSizesForTesting(200, sizeof(drawMaterial) + 8);
  ASSERT_TRUE(list.initialize());
  drawMaterial* m = list.newMaterial();
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(list.recordScreenOverlay(m));
  EXPECT_EQ(list.layerCount(6), 0u) << "no pushes left without their pops";
  list.terminate();
  list.setArenaSizesForTesting(0, 0);
  ASSERT_TRUE(list.initialize());
  EXPECT_TRUE(list.recordScreenOverlay(list.newMaterial()));
  EXPECT_EQ(list.layerCount(6), 15u);
}

TEST_F(CommandList, ExecutionStartsWithoutTheLastFramesMaterial) {
  drawMaterial* m = list.newMaterial();
  ASSERT_NE(m, nullptr);
  list.setCurrentMaterial(m);
  list.reset();
  EXPECT_EQ(list.currentMaterial(), m) << "reset leaves the current material";
  list.execute();  // no context here: the layer-state GL calls do nothing
  EXPECT_EQ(list.currentMaterial(), nullptr);
}

TEST_F(CommandList, NothingIsRecordedOutsideInitialisation) {
  list.terminate();
  EXPECT_FALSE(list.translate(0, 0, 0));
  EXPECT_FALSE(list.beginDraw());
  EXPECT_EQ(list.newMaterial(), nullptr);
  EXPECT_EQ(total(list), 0u);
  EXPECT_EQ(list.currentMaterial(), nullptr);
}

TEST(CommandRecords, SizesAreStoredAndMultiplesOfSixteen) {
  EXPECT_EQ(cmdBeginDraw().size(), 16u);
  EXPECT_EQ(cmdPopMatrix(kModelView).size(), 16u);
  EXPECT_EQ(cmdOrtho(0, 0, 0, 0, 0, 0).size(), 48u);
  EXPECT_EQ(cmdLookAt(0, 0, 0, 0, 0, 0, 0, 0, 0).size(), 48u);
  EXPECT_EQ(cmdDrawQuad(1, 1).size(), 32u);
  EXPECT_EQ(cmdChangeMaterial(nullptr).size() % 16, 0u);
}

}  // namespace
