// Run-time class registry: hashing, the registered class table, lookup by
// the prefix rule, kind tests and fatal registration errors.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/managers.h"
#include "core/core.h"
#include "demo/custom_textures.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "demo/scene_manager.h"
#include "files/files.h"
#include "resources/resources.h"
#include "support/support.h"

namespace {

class TestDescriptor final : public CoreRuntimeClass {
 public:
  using CoreRuntimeClass::CoreRuntimeClass;
  CoreObject* createObject() const override { return nullptr; }
};

const char* const kManagers[] = {
    "systemManager",  "resourceManager",      "textureManager",     "messageManager",
    "intermediateCommand", "flagManager",     "sceneManager",       "rendererManager",
    "profileManager", "cameraManager",        "lightManager",       "customTextureManager",
    "cPostEffectManager", "applicationManager", "settingsManager",  "demoManager",
    "shaderManager"};

// Every registered name with its parent's name, as the engine defines them.
std::vector<std::pair<std::string, std::string>> expectedClasses() {
  std::vector<std::pair<std::string, std::string>> out = {
      {"CoreObject", ""},
      {"InterfaceBase", "CoreObject"},   {"resourceObject", "CoreObject"},
      {"cRenderObject", "CoreObject"},   {"cDemoScene", "CoreObject"},
      {"CSceneQdfDefault", "CoreObject"}, {"CoreFile", "CoreObject"},
      {"CoreFileStream", "CoreObject"},  {"cScreenBuffer", "CoreObject"},
      {"cTexture", "CoreObject"},        {"CoreDebug", "CoreObject"},
      {"resMQO", "resourceObject"},      {"resQDF", "resourceObject"},
      {"resShader", "resourceObject"},   {"resTexture", "resourceObject"},
      {"cQdfRender", "cRenderObject"},   {"cMqoRender", "cRenderObject"},
      {"cMassMqoRender", "cMqoRender"},
  };
  for (const char* m : kManagers) {
    const std::string iface = std::string("Interface<") + m + ">";
    out.push_back({iface, "InterfaceBase"});
    out.push_back({m, iface});
  }
  for (const char* s : {"CSceneQdf_blackgirl", "CSceneQdf_boxfloor1", "CSceneQdf_clock1",
                        "CSceneQdf_clock2", "CSceneQdf_fallheart", "CSceneQdf_grasswater",
                        "CSceneQdf_greetz", "CSceneQdf_hanescene1", "CSceneQdf_hanescene3",
                        "CSceneQdf_hanescene4", "CSceneQdf_lightball", "CSceneQdf_loader",
                        "CSceneQdf_metaball", "SceneQdf_skycloud1", "CSceneQdf_skyhand1",
                        "CSceneQdf_skyhand2"}) {
    out.push_back({s, "CSceneQdfDefault"});
  }
  return out;
}

TEST(RegistryHash, KnownIndexes) {
  EXPECT_EQ(CoreRuntimeClass::hashIndex("CoreObject"), 12728u);
  EXPECT_EQ(CoreRuntimeClass::hashIndex("CoreFileStream"), 2620u);
  EXPECT_EQ(CoreRuntimeClass::hashIndex("CoreFile"), 4595u);
}

TEST(RegistryTable, AllSixtyEightClassesRegisteredWithTheirParents) {
  const auto classes = expectedClasses();
  ASSERT_EQ(classes.size(), 68u);
  std::set<uint32_t> indexes;
  for (const auto& [name, parent] : classes) {
    const uint32_t index = CoreRuntimeClass::hashIndex(name.c_str());
    indexes.insert(index);
    const CoreRuntimeClass* c = CoreRuntimeClass::slot(index);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_STREQ(c->getName(), name.c_str());
    if (parent.empty()) {
      EXPECT_EQ(c->getParent(), nullptr) << name;
    } else {
      ASSERT_NE(c->getParent(), nullptr) << name;
      EXPECT_STREQ(c->getParent()->getName(), parent.c_str()) << name;
    }
  }
  EXPECT_EQ(indexes.size(), 68u);

  unsigned occupied = 0;
  for (uint32_t i = 0; i < CoreRuntimeClass::DYNAMIC_HASH_NUM; ++i) occupied += CoreRuntimeClass::slot(i) != nullptr;
  EXPECT_EQ(occupied, 68u) << "a class outside the engine's table is registered";
}

TEST(RegistryLookup, PrefixRuleAndMisses) {
  // Both CoreFile and CoreFileStream match "CoreFileStream"; the lower slot wins.
  const CoreRuntimeClass* c = CoreRuntimeClass::findClass("CoreFileStream");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->getName(), "CoreFileStream");
  EXPECT_STREQ(CoreRuntimeClass::findClass("CoreFile")->getName(), "CoreFile");
  // A longer request still matches the registered prefix.
  EXPECT_STREQ(CoreRuntimeClass::findClass("CSceneQdf_metaball2")->getName(), "CSceneQdf_metaball");
  EXPECT_EQ(CoreRuntimeClass::findClass("CSceneQdf_nosuchscene"), nullptr);
  EXPECT_EQ(CoreRuntimeClass::findClass("coreobject"), nullptr);  // case-sensitive
  EXPECT_EQ(CoreRuntimeClass::findClass(""), nullptr);
  // The class registered without the "C" prefix is not found by the scene name.
  EXPECT_EQ(CoreRuntimeClass::findClass("CSceneQdf_skycloud1"), nullptr);
}

TEST(RegistryLookup, CreateByNameAndKindTests) {
  CoreRuntimeClass* c = CoreRuntimeClass::findClass("CSceneQdf_loader");
  ASSERT_NE(c, nullptr);
  CoreObject* o = c->createObject();
  ASSERT_NE(o, nullptr);
  auto* scene = static_cast<CSceneQdfDefault*>(o);
  EXPECT_EQ(scene->getRuntimeClass(), c);
  EXPECT_TRUE(scene->isKindOf("CSceneQdfDefault"));
  EXPECT_TRUE(scene->isKindOf("CoreObject"));
  EXPECT_FALSE(scene->isKindOf("InterfaceBase"));
  EXPECT_TRUE(scene->isKindOf(&CSceneQdfDefault::dynamicClass()));
  EXPECT_FALSE(scene->isKindOf(static_cast<const CoreRuntimeClass*>(nullptr)));
  delete scene;

  CoreFile file;
  EXPECT_TRUE(file.isKindOf("CoreFileStream"));  // prefix rule: "CoreFile" matches
  EXPECT_TRUE(file.isKindOf("CoreObject"));

  resourceObject resource;
  EXPECT_FALSE(resource.isKindOf("InterfaceBase"));
  EXPECT_TRUE(resource.isKindOf("resourceObject"));
  for (const char* m : kManagers) {
    const CoreRuntimeClass* mc = CoreRuntimeClass::findClass(m);
    ASSERT_NE(mc, nullptr) << m;
    EXPECT_TRUE(mc->isKindOf("InterfaceBase")) << m;
    EXPECT_TRUE(mc->isKindOf("CoreObject")) << m;
  }
  EXPECT_TRUE(systemManager::instance().isKindOf("Interface<systemManager>"));
  EXPECT_FALSE(systemManager::instance().isKindOf("Interface<demoManager>"));
}

TEST(RegistryLifecycle, DestroyingADescriptorClearsItsSlot) {
  const char* name = "TestOnlyTemporaryClass";
  ASSERT_EQ(CoreRuntimeClass::findClass(name), nullptr);
  {
    TestDescriptor d(name, &CoreObject::dynamicClass());
    EXPECT_EQ(CoreRuntimeClass::findClass(name), &d);
    EXPECT_TRUE(d.isKindOf("CoreObject"));
  }
  EXPECT_EQ(CoreRuntimeClass::findClass(name), nullptr);
  EXPECT_EQ(CoreRuntimeClass::slot(CoreRuntimeClass::hashIndex(name)), nullptr);
}

// A name that differs from "CoreObject" but lands in its slot.
std::string nameCollidingWithCoreObject() {
  for (int i = 0;; ++i) {
    const std::string candidate = "Collider" + std::to_string(i);
    if (CoreRuntimeClass::hashIndex(candidate.c_str()) == 12728u) return candidate;
  }
}

TEST(RegistryErrors, FatalRegistrationsEndTheProcessWithTheirMessage) {
  EXPECT_CRITICAL(TestDescriptor d(nullptr, nullptr), critical::kNameNull);
  EXPECT_CRITICAL(TestDescriptor d("", nullptr), critical::kNameEmpty);
  EXPECT_CRITICAL(TestDescriptor d("CoreObject", nullptr), critical::kHashConflict);
  const std::string other = nameCollidingWithCoreObject();
  EXPECT_CRITICAL(TestDescriptor d(other.c_str(), nullptr), critical::kHashConflict);
  // Nothing was stored by the failed attempts in this process.
  EXPECT_STREQ(CoreRuntimeClass::slot(12728)->getName(), "CoreObject");
}

TEST(CriticalErrors, ExactTextsAndStatus) {
  EXPECT_STREQ(critical::kHashConflict, "Critical error:[!mDynHash[hash] + \"DYNAMIC hash conflict\"]");
  EXPECT_CRITICAL(CoreDebug::criticalError(critical::kNotSupported), critical::kNotSupported);
  // A true condition returns and the process goes on.
  const auto r = testing_support::runInChild([] { CoreDebug::criticalCheck(critical::kBadAlloc, true); });
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.stdErr, "");
}

}  // namespace
