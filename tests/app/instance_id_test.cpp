#include "instance_id.h"

#include <gtest/gtest.h>

namespace {

TEST(InstanceId, ReadsTheOneArgumentAsAtoiDoes) {
  struct Case {
    const char* text;
    std::int32_t id;
  };
  const Case cases[] = {
      {"42", 42},
      {"42abc", 42},
      {"abc42", 0},
      {"-7", -7},
      {"  \t+13x", 13},
      {"", 0},
      {"0x10", 0},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483648},
      {"007", 7},
      {"- 5", 0},
  };
  for (const auto& c : cases) {
    const char* argv[] = {"tavrimon-browser", c.text, nullptr};
    EXPECT_EQ(ParseInstanceId(2, argv), c.id) << '"' << c.text << '"';
  }
}

TEST(InstanceId, AnyOtherArgumentCountGivesZero) {
  const char* none[] = {"tavrimon-browser", nullptr};
  const char* two[] = {"tavrimon-browser", "5", "6", nullptr};
  EXPECT_EQ(ParseInstanceId(1, none), 0);
  EXPECT_EQ(ParseInstanceId(3, two), 0);
  EXPECT_EQ(ParseInstanceId(0, none), 0);
}

}  // namespace
