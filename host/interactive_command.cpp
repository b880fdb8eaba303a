#include "interactive_command.h"

#include <charconv>
#include <sstream>

#include "command_packet.h"
#include "host_options.h"

namespace {

bool ParseInt(const std::string& text, int* out) {
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, *out);
  return error == std::errc() && at == end && !text.empty();
}

}  // namespace

bool ParseInteractiveCommand(const std::string& line, int imageFormat, InteractiveCommand* command,
                             std::string* error) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  std::string rest;
  std::getline(in >> std::ws, rest);
  while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ')) rest.pop_back();
  using Kind = InteractiveCommand::Kind;
  auto noArguments = [&](Kind kind) {
    if (!rest.empty()) {
      *error = "'" + word + "' takes no arguments";
      return false;
    }
    command->kind = kind;
    return true;
  };
  if (word.empty()) return noArguments(Kind::Empty);
  if (word == "update") return noArguments(Kind::Update);
  if (word == "pause") return noArguments(Kind::Pause);
  if (word == "resume") return noArguments(Kind::Resume);
  if (word == "ready") return noArguments(Kind::Ready);
  if (word == "quit") return noArguments(Kind::Quit);
  if (word == "url") {
    if (rest.empty() || rest.size() > kMaxPayloadSize) {
      *error = "usage: url URL (at most " + std::to_string(kMaxPayloadSize) + " bytes)";
      return false;
    }
    command->kind = Kind::Url;
    command->url = rest;
    return true;
  }
  if (word == "size") {
    if (!ParseFrameSize(rest, imageFormat, &command->a, &command->b, error)) {
      *error = "bad size " + *error;
      return false;
    }
    command->kind = Kind::Size;
    return true;
  }
  if (word == "scroll") {
    std::istringstream numbers(rest);
    std::string a;
    std::string b;
    std::string extra;
    numbers >> a >> b >> extra;
    if (!ParseInt(a, &command->a) || !ParseInt(b, &command->b) || !extra.empty()) {
      *error = "usage: scroll A B (whole numbers: vertical, horizontal)";
      return false;
    }
    command->kind = Kind::Scroll;
    return true;
  }
  *error = "unknown command '" + word +
           "' (url U, size WxH, update, pause, resume, scroll A B, ready, quit)";
  return false;
}
