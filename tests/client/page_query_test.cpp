#include <gtest/gtest.h>

#include "client/json_text.h"
#include "client/page_query.h"

namespace {

TEST(PageQuery, AnswersTheTwoQueriesWithTheirExactText) {
  EXPECT_EQ(AnswerPageQuery("getCurrentScene", 1280, 720).value_or("none"),
            R"({"height": 720, "name": "getCurrentScene", "width": 1280})");
  EXPECT_EQ(AnswerPageQuery("getCurrentScene", 640, 480).value_or("none"),
            R"({"height": 480, "name": "getCurrentScene", "width": 640})");
  EXPECT_EQ(AnswerPageQuery("getStatus", 1, 1).value_or("none"),
            R"({"recording": true, "replaybuffer": true, "streaming": true})");
  for (const char* other : {"GetCurrentScene", "getcurrentscene", "getStatus ", "", "status"}) {
    EXPECT_FALSE(AnswerPageQuery(other, 640, 480)) << '"' << other << '"';
  }
}

TEST(JsonText, WritesEveryKindOfValueTheSameWay) {
  struct Case {
    nlohmann::json value;
    const char* text;
  };
  const Case cases[] = {
      {nullptr, "null"},
      {true, "true"},
      {-42, "-42"},
      {0.5, "0.5"},
      {0.1, "0.10000000000000001"},
      {nlohmann::json::array(), "[]"},
      {nlohmann::json::object(), "{}"},
      {nlohmann::json::array({1, "a", false}), R"([1, "a", false])"},
      {{{"b", 1}, {"a", {{"z", nullptr}, {"B", 2}}}}, R"({"a": {"B": 2, "z": null}, "b": 1})"},
      {"quote\" back\\ nl\n tab\t ctl\x01 bell\x7f", R"("quote\" back\\ nl\n tab\t ctl\u0001 bell)"
                                                     "\x7f\""},
      {"sep\xe2\x80\xa8par\xe2\x80\xa9 \xc3\xa9", "\"sep\\u2028par\\u2029 \xc3\xa9\""},
  };
  for (const auto& c : cases) EXPECT_EQ(DumpJsonText(c.value), c.text) << c.value.dump();
}

}  // namespace
