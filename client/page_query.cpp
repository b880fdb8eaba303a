#include "client/page_query.h"

#include "client/json_text.h"

std::optional<std::string> AnswerPageQuery(const std::string& name, int width, int height) {
  nlohmann::json answer;
  if (name == "getCurrentScene") {
    answer = {{"name", name}, {"width", width}, {"height", height}};
  } else if (name == "getStatus") {
    answer = {{"recording", true}, {"streaming", true}, {"replaybuffer", true}};
  } else {
    return std::nullopt;
  }
  return DumpJsonText(answer);
}
