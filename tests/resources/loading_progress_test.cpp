// Preloads and the loading screen: deduplication, held references across
// repeated loads, the progress step, and the calls a loading scene sees.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "demo/demo_scene.h"
#include "resource_test_support.h"

namespace resource_testing {
namespace {

using Log = std::vector<std::string>;

class RecordingScene : public CSceneQdfDefault {
 public:
  RecordingScene(Log& log, const char* tag) : mLog(log), mTag(tag) {}
  ~RecordingScene() override { mLog.push_back(mTag + " destroyed"); }
  void before(cQdfRender* r, float t) override { record("before", r, t); }
  void draw(cQdfRender* r, float t) override { record("draw", r, t); }
  void after(cQdfRender* r, float t) override { record("after", r, t); }

 private:
  void record(const char* what, cQdfRender* r, float t) {
    mLog.push_back(mTag + " " + what + (r ? " renderer " : " ") + std::to_string(t));
  }
  Log& mLog;
  std::string mTag;
};

// The demo layer's adapter around a recording file scene.
std::unique_ptr<LoadingScene> recording(Log& log, const char* tag) {
  return std::make_unique<QdfLoadingScene>(std::make_unique<RecordingScene>(log, tag));
}

class RecordingPresenter : public LoadingPresenter {
 public:
  explicit RecordingPresenter(Log& log) : mLog(log) {}
  void clearFrame() override { mLog.push_back("clear"); }
  void presentFrame() override { mLog.push_back("present"); }

 private:
  Log& mLog;
};

std::string at(float t) { return std::to_string(t); }

TEST_F(ResourceTest, RegisterPreloadKeepsOneOfEachName) {
  manager().registerPreload("data\\qdf\\one.qdf");
  manager().registerPreload("data\\qdf\\two.qdf");
  manager().registerPreload("data\\qdf\\one.qdf");
  manager().registerPreload("data\\qdf\\ONE.qdf");  // exact comparison
  const std::vector<std::string> expected = {"data\\qdf\\one.qdf", "data\\qdf\\two.qdf", "data\\qdf\\ONE.qdf"};
  EXPECT_EQ(manager().preloadNames(), expected);
}

TEST_F(ResourceTest, ModelCountsAndProgressStep) {
  EXPECT_EQ(countSceneModels("data\\qdf\\one.qdf"), 2) << "commented entries count";
  EXPECT_EQ(countSceneModels("data\\qdf\\two.qdf"), 3) << "nothing after Eof";
  EXPECT_EQ(countSceneModels("data\\qdf\\paren.qdf"), 1) << "words are cut at parentheses";
  EXPECT_EQ(countSceneModels("data\\qdf\\none.qdf"), 0);

  manager().registerPreload("data\\qdf\\one.qdf");
  manager().registerPreload("data\\qdf\\two.qdf");
  manager().registerPreload("data\\qdf\\paren.qdf");
  manager().registerPreload("data\\qdf\\none.qdf");
  manager().computeProgressStep();
  EXPECT_FLOAT_EQ(manager().getProgressStep(), 1.0f / 6.0f);

  manager().clearPreloads();
  manager().registerPreload("data\\qdf\\none.qdf");
  manager().computeProgressStep();
  EXPECT_EQ(manager().getProgressStep(), 0.0f);
}

TEST_F(ResourceTest, LoadPreloadsTwiceReleasesTheFirstSet) {
  ResourceRef<testResText> mine = ResourceRef<testResText>::load("data\\a.tres");
  manager().registerPreload("data\\a.tres");
  manager().registerPreload("data\\b.tres");
  manager().registerPreload("data\\empty.tres");
  manager().loadPreloads();

  const std::vector<resourceObject*> first = manager().heldResources();
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[0], mine.get()) << "shared from the cache";
  EXPECT_EQ(mine->refCount, 2);
  ASSERT_NE(first[1], nullptr);
  EXPECT_EQ(first[1]->getName(), "data\\b.tres");
  EXPECT_EQ(first[2], nullptr);

  const int loads = counts().loads;
  manager().loadPreloads();
  const std::vector<resourceObject*>& second = manager().heldResources();
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[0], mine.get());
  EXPECT_EQ(mine->refCount, 2) << "released once, loaded once";
  // "b" lost its only holder in between, so it was read again; "a" was not.
  EXPECT_EQ(counts().loads - loads, 1);
  EXPECT_EQ(second[1]->refCount, 1);
  EXPECT_EQ(counts().live, 2);

  manager().clearPreloads();
  EXPECT_TRUE(manager().heldResources().empty());
  EXPECT_EQ(mine->refCount, 1);
}

TEST_F(ResourceTest, TerminateReleasesTheHeldSetBeforeStaticDestruction) {
  ResourceRef<testResText> mine = ResourceRef<testResText>::load("data\\a.tres");
  manager().registerPreload("data\\a.tres");
  manager().registerPreload("data\\b.tres");
  manager().loadPreloads();
  ASSERT_EQ(mine->refCount, 2);
  const int live = counts().live;
  EXPECT_TRUE(manager().terminate());
  EXPECT_TRUE(manager().heldResources().empty());
  EXPECT_EQ(mine->refCount, 1) << "only the manager's reference is dropped";
  EXPECT_EQ(counts().live, live - 1) << "b had no other holder";
  manager().clearPreloads();
}

TEST_F(ResourceTest, LoadingSceneCallsInOrder) {
  Log log;
  RecordingPresenter presenter(log);
  manager().setLoadingPresenter(&presenter);
  manager().registerPreload("data\\qdf\\one.qdf");
  manager().registerPreload("data\\qdf\\two.qdf");
  manager().computeProgressStep();  // 1/5
  const float step = manager().getProgressStep();

  // No scene yet: progress still grows, nothing is drawn.
  const float start = manager().getProgress();
  manager().advanceProgress();
  EXPECT_FLOAT_EQ(manager().getProgress(), start + step);
  EXPECT_TRUE(log.empty());

  manager().setLoadingScene(recording(log, "loader"));
  const Log onSet = {"loader before " + at(0), "loader draw " + at(0), "loader after " + at(0), "present"};
  EXPECT_EQ(log, onSet) << "drawn once at 0, without a clear";
  log.clear();

  manager().advanceProgress();
  const float p = manager().getProgress();
  EXPECT_FLOAT_EQ(p, start + 2 * step);
  const Log onAdvance = {"clear", "loader before " + at(p), "loader draw " + at(p), "loader after " + at(p),
                         "present"};
  EXPECT_EQ(log, onAdvance);
  log.clear();

  // Replacing the scene destroys the old one before drawing the new one.
  manager().setLoadingScene(recording(log, "next"));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "loader destroyed");
  EXPECT_EQ(log[1], "next before " + at(0));
  log.clear();

  manager().setLoadingScene(nullptr);
  EXPECT_EQ(log, Log{"next destroyed"});
  EXPECT_EQ(manager().loadingScene(), nullptr);
  log.clear();

  // Progress is never reset by loading the preloads again; each model line
  // the scene files load (three, commented lines aside) adds one step.
  manager().loadPreloads();
  EXPECT_FLOAT_EQ(manager().getProgress(), p + 3 * step);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace resource_testing
