// The resource cache: sharing by name, release, the ".mqo" rewrite, empty
// and unknown files, candidate cleanup, reload and the extension rules.
#include <gtest/gtest.h>

#include "formats/formats.h"
#include "model/model.h"
#include "resource_test_support.h"
#include "shader/shader.h"
#include "texture/texture.h"

VESPER_IMPLEMENT_DYNAMIC(testResText, resourceObject)
VESPER_IMPLEMENT_DYNAMIC(testResModel, resourceObject)
VESPER_IMPLEMENT_DYNAMIC(testResFailing, resourceObject)

bool testResText::load(CoreFileStream& stream) {
  if (!resourceObject::load(stream)) return false;
  ++resource_testing::counts().loads;
  text.resize(static_cast<size_t>(stream.getSize()));
  stream.read(text.data(), static_cast<int32_t>(text.size()));
  return true;
}

bool testResText::unload() {
  const bool had = !text.empty();
  text.clear();
  ++unloads;
  return had;
}

bool testResModel::load(CoreFileStream& stream) { return resourceObject::load(stream); }

bool testResFailing::load(CoreFileStream& stream) {
  resourceObject::load(stream);
  return false;
}

namespace resource_testing {

Counts& counts() {
  static Counts c;
  return c;
}

std::vector<PackSource> ResourceTest::packFiles() {
  using testing_support::bytes;
  return {
      {"data\\a.tres", bytes("alpha")},
      {"data\\b.tres", bytes("beta")},
      {"data\\empty.tres", {}},
      {"data\\model\\ship.bmdl", bytes("model")},
      {"data\\model\\a.bmdl", bytes("model")},  // the models the scene files list
      {"c.bmdl", bytes("model")},
      {"e.bmdl", bytes("model")},
      {"data\\v.mqo\\n.bmdl", bytes("model")},
      {"data\\u.unknown", bytes("?")},
      {"data\\f.tfail", bytes("fail")},
      {"data\\texture\\t.PNG", bytes("not a png")},
      {"data\\qdf\\one.qdf", bytes("QScene Demo File\nFormat Text Ver 1.0\nx\nMQO {\n"
                                   " 0 \"data\\model\\a.mqo\"\n #1 \"data\\model\\b.mqo\"\n}\n"
                                   "Scene \"s\" {\n}\nEof\n")},
      {"data\\qdf\\two.qdf", bytes("MQO {\n 0 \"c.mqo\"\n # 1 \"d.mqo\"\n 2 \"e.mqo\"\n}\n"
                                   "Scene \"x\" { Object 0 { } }\nEof\nMQO { 9 \"late.mqo\" }\n")},
      {"data\\qdf\\paren.qdf", bytes("(MQO) {\n\t0 \"x.mqo\"\n}\nEof")},
      {"data\\qdf\\none.qdf", bytes("QScene Demo File\nScene \"a\" {\n}\nEof\n")},
  };
}

void ResourceTest::SetUp() {
  testing_support::installPack(dir, packFiles());
  before = counts();
}

void ResourceTest::TearDown() {
  manager().clearPreloads();
  manager().setLoadingScene(nullptr);
  manager().setLoadingPresenter(nullptr);
  EXPECT_TRUE(manager().cachedResources().empty()) << "a test leaked a reference";
  EXPECT_EQ(counts().live, 0);
}

namespace {

TEST_F(ResourceTest, SameNameSharesOneObject) {
  resourceObject* first = manager().load("data\\a.tres");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->refCount, 1);
  EXPECT_EQ(first->getName(), "data\\a.tres");
  EXPECT_EQ(first->getBaseName(), "a");
  EXPECT_EQ(static_cast<testResText*>(first)->text, "alpha");
  EXPECT_TRUE(first->isKindOf("testResText"));

  resourceObject* second = manager().load("data\\a.tres");
  EXPECT_EQ(second, first);
  EXPECT_EQ(first->refCount, 2);
  EXPECT_EQ(counts().loads - before.loads, 1) << "a cache hit reads nothing";
  ASSERT_EQ(manager().cachedResources().size(), 1u);

  manager().release(second);
  EXPECT_EQ(first->refCount, 1);
  EXPECT_EQ(manager().cachedResources().size(), 1u);
  manager().release(first);
  EXPECT_TRUE(manager().cachedResources().empty());
  EXPECT_EQ(counts().live, 0);

  resourceObject* fresh = manager().load("data\\a.tres");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->refCount, 1);
  EXPECT_EQ(counts().loads - before.loads, 2);
  manager().release(fresh);
}

TEST_F(ResourceTest, ReleaseKeepsCacheOrder) {
  resourceObject* a = manager().load("data\\a.tres");
  resourceObject* b = manager().load("data\\b.tres");
  resourceObject* m = manager().load("data\\model\\ship.bmdl");
  ASSERT_TRUE(a && b && m);
  manager().release(b);
  ASSERT_EQ(manager().cachedResources().size(), 2u);
  EXPECT_EQ(manager().cachedResources()[0], a);
  EXPECT_EQ(manager().cachedResources()[1], m);
  manager().release(nullptr);  // ignored
  manager().release(a);
  manager().release(m);
}

TEST_F(ResourceTest, MqoNamesLoadTheBinaryModel) {
  resourceObject* byMqo = manager().load("data\\model\\ship.mqo");
  ASSERT_NE(byMqo, nullptr);
  EXPECT_EQ(byMqo->getName(), "data\\model\\ship.bmdl");
  EXPECT_EQ(byMqo->getBaseName(), "ship");
  EXPECT_TRUE(byMqo->isKindOf("testResModel"));
  resourceObject* byBmdl = manager().load("data\\model\\ship.bmdl");
  EXPECT_EQ(byBmdl, byMqo);
  EXPECT_EQ(byMqo->refCount, 2);

  // ".mqo" anywhere in the name cuts at the last dot.
  resourceObject* odd = manager().load("data\\v.mqo\\n.txt");
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(odd->getName(), "data\\v.mqo\\n.bmdl");

  manager().release(odd);
  manager().release(byBmdl);
  manager().release(byMqo);
}

TEST_F(ResourceTest, NothingLoadableLeavesNothingBehind) {
  const int created = counts().created;
  EXPECT_EQ(manager().load("data\\empty.tres"), nullptr);
  EXPECT_EQ(counts().created, created) << "an empty entry creates no candidate";

  EXPECT_EQ(manager().load("data\\u.unknown"), nullptr);
  EXPECT_EQ(manager().load("data\\f.tfail"), nullptr);
  // Every test class was tried as a candidate and destroyed again.
  EXPECT_GE(counts().created - created, 6);
  EXPECT_EQ(counts().live, 0);

  // A texture is recognised but cannot be decoded yet.
  EXPECT_EQ(manager().load("data\\texture\\t.PNG"), nullptr);
  EXPECT_TRUE(manager().cachedResources().empty());
}

TEST_F(ResourceTest, NamesAreExactKeys) {
  resourceObject* a = manager().load("data\\a.tres");
  // Differing case misses the cache and then the pack.
  EXPECT_CRITICAL_ENTRY(manager().load("data\\A.tres"), critical::kFileNotFound, "data\\A.tres");
  EXPECT_CRITICAL_ENTRY(manager().load("data\\missing.tres"), critical::kFileNotFound, "data\\missing.tres");
  manager().release(a);
}

TEST_F(ResourceTest, ReloadReadsTheEntryAgain) {
  resourceObject* a = manager().load("data\\a.tres");
  ASSERT_NE(a, nullptr);
  auto* text = static_cast<testResText*>(a);
  const int unloads = text->unloads;
  EXPECT_TRUE(a->reload());
  EXPECT_EQ(text->unloads, unloads + 1) << "load starts by unloading";
  EXPECT_EQ(text->text, "alpha");
  EXPECT_EQ(a->getName(), "data\\a.tres");

  // The same name now holds nothing in a new pack: reload refuses.
  std::vector<PackSource> files = packFiles();
  for (PackSource& f : files) {
    if (f.name == "data\\a.tres") f.data.clear();
  }
  testing_support::TempDir other;
  testing_support::installPack(other, files);
  EXPECT_FALSE(a->reload());
  EXPECT_EQ(text->text, "alpha");
  manager().release(a);
}

TEST_F(ResourceTest, BaseNames) {
  EXPECT_EQ(resourceBaseName("data\\texture\\light1.png"), "light1");
  EXPECT_EQ(resourceBaseName("data/texture/a.b.png"), "a.b");
  EXPECT_EQ(resourceBaseName("c:name.ext"), "name");
  EXPECT_EQ(resourceBaseName("data\\noext"), "noext");
  EXPECT_EQ(resourceBaseName("data.dir\\noext"), "noext");
  EXPECT_EQ(resourceBaseName("plain"), "plain");
}

// Opens `name` from the installed pack and asks `resource` whether it loads it.
bool accepts(resourceObject& resource, const char* name) {
  CoreFile file(name, MODE_READ);
  CoreFileStream stream(&file);
  return resource.canLoad(stream);
}

TEST(ResourceExtensions, EachClassAcceptsItsOwnList) {
  std::vector<PackSource> files;
  for (const char* ext : {"bmp", "JPG", "jpeg", "dds", "Hdr", "tga", "png", "gif", "cg", "FX", "cgfx", "mqo",
                          "bmdl", "QDF", "qdf2", "txt"}) {
    files.push_back({std::string("f.") + ext, testing_support::bytes("x")});
  }
  testing_support::TempDir dir;
  testing_support::installPack(dir, files);

  resTexture texture;
  resShader shader;
  resMQO model;
  resQDF scene;
  resourceObject base;
  struct Row {
    resourceObject* resource;
    std::vector<const char*> accepted;
  };
  const Row rows[] = {
      {&texture, {"f.bmp", "f.JPG", "f.jpeg", "f.dds", "f.Hdr", "f.tga", "f.png"}},
      {&shader, {"f.cg", "f.FX", "f.cgfx"}},
      {&model, {"f.mqo", "f.bmdl"}},
      {&scene, {"f.QDF"}},
      {&base, {}},
  };
  for (const Row& row : rows) {
    for (const PackSource& f : files) {
      bool expected = false;
      for (const char* name : row.accepted) expected = expected || f.name == name;
      EXPECT_EQ(accepts(*row.resource, f.name.c_str()), expected)
          << row.resource->getRuntimeClass()->getName() << " " << f.name;
    }
  }
}

}  // namespace
}  // namespace resource_testing
