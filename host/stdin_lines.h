// Lines from standard input without blocking the caller: a reader that can be asked every so
// often for whatever complete lines have arrived, and whether input has ended.
#pragma once

#include <optional>
#include <string>

class StdinLines {
 public:
  // The next complete line, waiting at most `timeoutMs`; empty when none came. After the end
  // of input, a last unterminated line is returned once, then nothing.
  std::optional<std::string> next(int timeoutMs);
  bool ended() const { return ended_ && buffer_.empty(); }

 private:
  std::string buffer_;
  bool ended_ = false;
};
