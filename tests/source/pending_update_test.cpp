// The worker's update step: an "Update" that arrives while the one before is applied is kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "source/source_settings.h"

namespace {

TEST(PendingUpdate, AnUpdateStoredWhileTheLastOneIsAppliedIsAppliedNext) {
  shr_avsource settings(nullptr);
  settings.storeTarget("http://127.0.0.1/first");

  std::vector<std::string> applied;
  const auto apply = [&](BrowserSourceSettings& values) {
    applied.push_back(values.url);
    if (applied.size() == 1) {
      // The command server, meanwhile: a new target and its "Update".
      settings.storeTarget("http://127.0.0.1/second");
      settings.updatePending = true;
    }
  };
  EXPECT_FALSE(ApplyPendingUpdate(settings, apply)) << "applied with no Update pending";
  settings.updatePending = true;
  EXPECT_TRUE(ApplyPendingUpdate(settings, apply));
  EXPECT_TRUE(ApplyPendingUpdate(settings, apply)) << "the second Update was lost";
  EXPECT_FALSE(ApplyPendingUpdate(settings, apply));
  EXPECT_EQ(applied,
            (std::vector<std::string>{"http://127.0.0.1/first", "http://127.0.0.1/second"}));
}

}  // namespace
