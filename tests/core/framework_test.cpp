// Manager framework: the real manager list, the initialisation and
// termination passes, the frame driver and the message loop.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "app/managers.h"
#include "core/core.h"
#include "platform/platform.h"

namespace {

std::vector<std::string> gCalls;

// Swaps the global manager list for an empty one during a test.
class ScopedManagerList {
 public:
  ScopedManagerList() : mSaved(managerList()) { managerList().count = 0; }
  ~ScopedManagerList() { managerList() = mSaved; }

 private:
  ManagerList mSaved;
};

class FakeManager final : public InterfaceBase {
 public:
  FakeManager(std::string name, uint16_t priority, bool initOk = true, bool termOk = true)
      : mName(std::move(name)), mPriority(priority), mInitOk(initOk), mTermOk(termOk) {}
  uint16_t getPriority() const override { return mPriority; }
  bool initialize() override {
    gCalls.push_back("init " + mName);
    if (onInit) onInit();
    return mInitOk;
  }
  bool terminate() override {
    gCalls.push_back("term " + mName);
    return mTermOk;
  }
  bool beginFrame() override {
    gCalls.push_back(mName + ".beginFrame");
    return true;
  }
  bool update() override {
    gCalls.push_back(mName + ".update");
    return updateResult;
  }
  bool endFrame() override {
    gCalls.push_back(mName + ".endFrame");
    return true;
  }
  std::function<void()> onInit;
  bool updateResult = true;

 private:
  std::string mName;
  uint16_t mPriority;
  bool mInitOk;
  bool mTermOk;
};

TEST(ManagerList, HoldsTheSeventeenManagersInTheirOrderWithPriorities) {
  const ManagerList& list = managerList();
  ASSERT_EQ(list.count, 17u);
  const std::pair<const char*, uint16_t> expected[] = {
      {"systemManager", 2},       {"resourceManager", 65535},   {"textureManager", 32},
      {"messageManager", 32},     {"intermediateCommand", 17},  {"flagManager", 65535},
      {"sceneManager", 65535},    {"rendererManager", 16},      {"profileManager", 65535},
      {"cameraManager", 1},       {"lightManager", 1},          {"customTextureManager", 1},
      {"cPostEffectManager", 1},  {"applicationManager", 65535}, {"settingsManager", 1},
      {"demoManager", 256},       {"shaderManager", 1}};
  for (unsigned i = 0; i < 17; ++i) {
    EXPECT_STREQ(list.entries[i]->getRuntimeClass()->getName(), expected[i].first) << i;
    EXPECT_EQ(list.entries[i]->getPriority(), expected[i].second) << expected[i].first;
  }
}

TEST(Passes, EqualPrioritiesRunInListOrderBothWays) {
  ScopedManagerList scope;
  gCalls.clear();
  FakeManager a("a", 65535), b("b", 1), c("c", 32), d("d", 1), e("e", 65535);
  ASSERT_TRUE(initializeAll());
  EXPECT_EQ(gCalls, (std::vector<std::string>{"init b", "init d", "init c", "init a", "init e"}));
  gCalls.clear();
  ASSERT_TRUE(terminateAll());
  EXPECT_EQ(gCalls, (std::vector<std::string>{"term a", "term e", "term c", "term b", "term d"}));
}

TEST(Passes, FailingInitializeStopsThePassAndFailingTerminateSkipsTheRest) {
  ScopedManagerList scope;
  gCalls.clear();
  FakeManager a("a", 1), b("b", 2, false), c("c", 3);
  EXPECT_FALSE(initializeAll());
  EXPECT_EQ(gCalls, (std::vector<std::string>{"init a", "init b"}));
  gCalls.clear();
  FakeManager d("d", 3, true, false);
  EXPECT_FALSE(terminateAll());
  EXPECT_EQ(gCalls, (std::vector<std::string>{"term c", "term d"}));
}

TEST(Passes, ManagerAppendedDuringThePassIsInitialised) {
  ScopedManagerList scope;
  gCalls.clear();
  std::unique_ptr<FakeManager> late;
  FakeManager a("a", 5);
  a.onInit = [&late] { late = std::make_unique<FakeManager>("late", 7); };
  FakeManager tooLate("b", 9);
  tooLate.onInit = [&late] { late->onInit = nullptr; };
  std::unique_ptr<FakeManager> missed;
  FakeManager c("c", 10);
  c.onInit = [&missed] { missed = std::make_unique<FakeManager>("missed", 3); };
  ASSERT_TRUE(initializeAll());
  EXPECT_EQ(gCalls, (std::vector<std::string>{"init a", "init late", "init b", "init c"}));
}

TEST(FrameDriver, CallsInFixedOrderAndStillPresentsWhenTheShowEnds) {
  ScopedManagerList scope;
  FakeManager profile("profile", 1), flag("flag", 1), system("system", 1), renderer("renderer", 1),
      demo("demo", 1), bystander("other", 1);
  const FrameManagers m{&profile, &flag, &system, &renderer, &demo};
  const std::vector<std::string> order = {"profile.beginFrame", "flag.update",  "system.update",
                                          "renderer.beginFrame", "demo.update", "renderer.update",
                                          "profile.endFrame",    "renderer.endFrame"};
  gCalls.clear();
  EXPECT_TRUE(runFrame(m));
  EXPECT_EQ(gCalls, order);
  gCalls.clear();
  demo.updateResult = false;
  EXPECT_FALSE(runFrame(m));
  EXPECT_EQ(gCalls, order);
}

class ScriptedEvents final : public platform::EventSource {
 public:
  std::deque<platform::Event> queue;
  std::vector<platform::EventType> dispatched;
  bool poll(platform::Event& out) override {
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
  }
  void dispatch(const platform::Event& e) override { dispatched.push_back(e.type); }
};

platform::Event keyEscape() { return {platform::EventType::KeyDown, platform::KeyEscape, 0}; }

TEST(MainLoop, FirstEscapeOnlyRequestsTheEndingSecondLeaves) {
  ScriptedEvents events;
  bool exitRequested = false;
  int frames = 0;
  events.queue = {keyEscape(), {platform::EventType::Other, 0, 0}};
  const int code = runMainLoop(events, exitRequested, [&] {
    ++frames;
    if (frames == 3) events.queue.push_back(keyEscape());
    return frames < 100;
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(exitRequested);
  EXPECT_EQ(frames, 3);  // the second Escape ended the loop before a fourth frame
  EXPECT_EQ(events.dispatched,
            (std::vector<platform::EventType>{platform::EventType::KeyDown, platform::EventType::Other}));
}

TEST(MainLoop, QuitEndsWithItsCodeAndNullEventsAreIgnored) {
  ScriptedEvents events;
  bool exitRequested = false;
  int frames = 0;
  events.queue = {{platform::EventType::Null, 0, 0}};
  const int code = runMainLoop(events, exitRequested, [&] {
    if (++frames == 2) events.queue.push_back({platform::EventType::Quit, 0, 42});
    return true;
  });
  EXPECT_EQ(code, 42);
  EXPECT_EQ(frames, 2);
  EXPECT_TRUE(events.dispatched.empty());
  EXPECT_FALSE(exitRequested);
}

TEST(MainLoop, FrameReturningFalseEndsWithZero) {
  ScriptedEvents events;
  bool exitRequested = false;
  int frames = 0;
  EXPECT_EQ(runMainLoop(events, exitRequested, [&] { return ++frames < 4; }), 0);
  EXPECT_EQ(frames, 4);
}

}  // namespace
