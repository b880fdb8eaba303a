// The holding of a named mutex: one identity while one holder keeps it, another after the
// mutex was released and taken again, none while nobody holds it; and whether a holding seen
// earlier still goes on.
#include <windows.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "named_mutex_holding.h"

namespace {

std::string UniqueName() {
  static int counter = 0;
  return "TavrimonHoldingTest_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

TEST(MutexHolding, SameWhileHeldNewAfterATakeOverNoneWhenFree) {
  const auto name = UniqueName();
  EXPECT_EQ(NamedMutexHolding(name.c_str()), 0u);

  HANDLE first = CreateMutexA(nullptr, TRUE, name.c_str());
  ASSERT_NE(first, nullptr);
  const auto held = NamedMutexHolding(name.c_str());
  EXPECT_NE(held, 0u);
  HANDLE probe = CreateMutexA(nullptr, TRUE, name.c_str());  // a probe is no new holding
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(probe);
  EXPECT_EQ(NamedMutexHolding(name.c_str()), held);
  EXPECT_TRUE(NamedMutexHeldBy(name.c_str(), held));

  CloseHandle(first);
  EXPECT_EQ(NamedMutexHolding(name.c_str()), 0u);
  EXPECT_FALSE(NamedMutexHeldBy(name.c_str(), held));
  HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());
  ASSERT_NE(second, nullptr);
  const auto again = NamedMutexHolding(name.c_str());
  EXPECT_NE(again, 0u);
  EXPECT_NE(again, held);
  EXPECT_FALSE(NamedMutexHeldBy(name.c_str(), held)) << "a new holder passed for the old one";
  EXPECT_TRUE(NamedMutexHeldBy(name.c_str(), again));
  CloseHandle(second);
}

TEST(MutexHolding, NamesThatOnlyShareAPrefixAreOthers) {
  const auto name = UniqueName();
  HANDLE longer = CreateMutexA(nullptr, TRUE, (name + "_longer").c_str());
  ASSERT_NE(longer, nullptr);
  EXPECT_EQ(NamedMutexHolding(name.c_str()), 0u);
  EXPECT_EQ(NamedMutexHolding(""), 0u);
  EXPECT_EQ(NamedMutexHolding(nullptr), 0u);
  EXPECT_FALSE(NamedMutexHeldBy(name.c_str(), 0));
  CloseHandle(longer);
}

}  // namespace
