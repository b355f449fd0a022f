// Resource classes and a pack for the resource tests. The classes are
// registered like real ones, so the manager finds them in the class table.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/files.h"
#include "resources/resources.h"
#include "support/support.h"

namespace resource_testing {

// Instances of the test classes alive and created so far.
struct Counts {
  int live = 0;
  int created = 0;
  int loads = 0;
};
Counts& counts();

struct LiveCounter {
  LiveCounter() {
    ++counts().live;
    ++counts().created;
  }
  ~LiveCounter() { --counts().live; }
  LiveCounter(const LiveCounter&) = delete;
  LiveCounter& operator=(const LiveCounter&) = delete;
};

}  // namespace resource_testing

// Loads ".tres" files; keeps their text.
class testResText : public resourceObject {
  VESPER_DECLARE_DYNAMIC(testResText)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"tres"}); }
  bool load(CoreFileStream& stream) override;
  bool unload() override;
  std::string text;
  int unloads = 0;

 private:
  resource_testing::LiveCounter mCounter;
};

// Loads ".bmdl" files when the model resource does not.
class testResModel : public resourceObject {
  VESPER_DECLARE_DYNAMIC(testResModel)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"bmdl"}); }
  bool load(CoreFileStream& stream) override;

 private:
  resource_testing::LiveCounter mCounter;
};

// Accepts ".tfail" and then fails to load it.
class testResFailing : public resourceObject {
  VESPER_DECLARE_DYNAMIC(testResFailing)
 public:
  bool canLoad(CoreFileStream& stream) override { return hasExtension(stream, {"tfail"}); }
  bool load(CoreFileStream& stream) override;

 private:
  resource_testing::LiveCounter mCounter;
};

namespace resource_testing {

// Installs the test pack; checks on teardown that nothing was leaked.
class ResourceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static std::vector<PackSource> packFiles();
  static resourceManager& manager() { return resourceManager::instance(); }

  testing_support::TempDir dir;
  Counts before;
};

}  // namespace resource_testing
