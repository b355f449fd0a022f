// Which scene class a file scene gets, and the engine's scene stack.
#include <gtest/gtest.h>

#include "demo/demo_scene.h"
#include "demo/scene_manager.h"

namespace {

TEST(SceneInstances, AFileSceneGetsTheClassRegisteredForItsName) {
  const std::pair<const char*, const char*> cases[] = {
      {"metaball", "CSceneQdf_metaball"},
      {"metaball2", "CSceneQdf_metaball"},  // registered names match as prefixes
      {"loader", "CSceneQdf_loader"},
      {"Metaball", "CSceneQdfDefault"},   // case-sensitive
      {"skycloud1", "CSceneQdfDefault"},  // its class lacks the prefix
      {"meta", "CSceneQdfDefault"},
      {"", "CSceneQdfDefault"},
  };
  for (const auto& [name, cls] : cases) {
    const std::unique_ptr<CSceneQdfDefault> scene = createSceneInstance(name);
    ASSERT_NE(scene, nullptr) << name;
    EXPECT_STREQ(scene->getRuntimeClass()->getName(), cls) << name;
  }
}

TEST(SceneStack, PushPopAndChangeTakeEffectOnUpdate) {
  sceneManager& scenes = sceneManager::instance();
  EXPECT_EQ(sceneManager::createScene("NoSuchScene"), nullptr);
  EXPECT_EQ(sceneManager::createScene("CSceneQdfDefault"), nullptr) << "not a demo scene";
  scenes.changeScene("cDemoScene");
  EXPECT_EQ(scenes.currentScene(), nullptr);
  scenes.update();
  cDemoScene* first = scenes.currentScene();
  ASSERT_NE(first, nullptr);
  scenes.pushScene("cDemoScene");
  scenes.update();
  EXPECT_EQ(scenes.stackDepth(), 1u);
  EXPECT_NE(scenes.currentScene(), first);
  scenes.popScene();
  EXPECT_EQ(scenes.stackDepth(), 0u);
  EXPECT_EQ(scenes.currentScene(), first);
  scenes.terminate();
  EXPECT_EQ(scenes.currentScene(), nullptr);
}

}  // namespace
