#include "stdin_lines.h"

#include <poll.h>
#include <unistd.h>

std::optional<std::string> StdinLines::next(int timeoutMs) {
  for (;;) {
    const auto end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    if (ended_) {
      if (buffer_.empty()) return std::nullopt;
      std::string line;
      line.swap(buffer_);
      return line;
    }
    pollfd entry{0, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) return std::nullopt;
    char chunk[4096];
    const ssize_t n = read(0, chunk, sizeof chunk);
    if (n <= 0) {
      ended_ = true;
    } else {
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    timeoutMs = 0;  // a partial line: look once more, then return
  }
}
