// The owning handle releases its reference exactly once.
#include <gtest/gtest.h>

#include <utility>

#include "resource_test_support.h"
#include "texture/texture.h"

namespace resource_testing {
namespace {

using TextRef = ResourceRef<testResText>;

TEST_F(ResourceTest, HandleReleasesOnceOnScopeExit) {
  testResText* seen = nullptr;
  {
    TextRef a = TextRef::load("data\\a.tres");
    ASSERT_TRUE(a);
    seen = a.get();
    EXPECT_EQ(a->text, "alpha");
    EXPECT_EQ(a->refCount, 1);
    {
      TextRef b = TextRef::load("data\\a.tres");
      EXPECT_EQ(b.get(), seen);
      EXPECT_EQ(seen->refCount, 2);
    }
    EXPECT_EQ(seen->refCount, 1);
    EXPECT_EQ(manager().cachedResources().size(), 1u);
  }
  EXPECT_TRUE(manager().cachedResources().empty());
  EXPECT_EQ(counts().live, 0);
}

TEST_F(ResourceTest, HandleMovesShareAndDetach) {
  TextRef a = TextRef::load("data\\a.tres");
  testResText* raw = a.get();
  TextRef moved = std::move(a);
  EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.get(), raw);
  EXPECT_EQ(raw->refCount, 1) << "a move adds nothing";

  TextRef shared = moved.share();
  EXPECT_EQ(raw->refCount, 2);

  // Move-assigning over a live handle releases what it held.
  TextRef other = TextRef::load("data\\b.tres");
  ASSERT_TRUE(other);
  EXPECT_EQ(counts().live, 2);
  other = std::move(shared);
  EXPECT_EQ(counts().live, 1) << "b was destroyed";
  EXPECT_EQ(other.get(), raw);

  testResText* detached = moved.detach();
  EXPECT_FALSE(moved);
  EXPECT_EQ(detached->refCount, 2);
  moved.reset();  // empty: nothing to release
  EXPECT_EQ(detached->refCount, 2);
  manager().release(detached);
  other.reset();
  other.reset();
  EXPECT_TRUE(manager().cachedResources().empty());
}

TEST_F(ResourceTest, HandleOfWrongTypeIsEmptyAndReleases) {
  ResourceRef<resTexture> wrong = ResourceRef<resTexture>::load("data\\a.tres");
  EXPECT_FALSE(wrong);
  EXPECT_TRUE(manager().cachedResources().empty());
  EXPECT_FALSE(TextRef::load("data\\empty.tres"));

  // A handle to the base class takes anything.
  ResourceRef<resourceObject> any = ResourceRef<resourceObject>::load("data\\b.tres");
  ASSERT_TRUE(any);
  EXPECT_EQ(any->getBaseName(), "b");
}

}  // namespace
}  // namespace resource_testing
