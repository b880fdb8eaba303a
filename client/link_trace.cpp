#include "client/link_trace.h"

#include <cstdio>
#include <cstdlib>

namespace link_trace {
namespace {

// Opened on first use and kept for the life of the process.
std::FILE* File() {
  static std::FILE* file = []() -> std::FILE* {
    const char* path = std::getenv("TAVRIMON_LINK_TRACE");
    if (path == nullptr || *path == '\0') return nullptr;
    return std::fopen(path, "a");
  }();
  return file;
}

long long Ns(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

bool On() {
  return File() != nullptr;
}

void Record(char kind, Clock::time_point entered, Clock::time_point signalled) {
  std::FILE* file = File();
  if (file == nullptr) return;
  // One call per line: stdio locks the stream, so lines from the paint and audio threads
  // never interleave.
  std::fprintf(file, "%c %lld %lld\n", kind, Ns(entered), Ns(signalled));
  std::fflush(file);
}

}  // namespace link_trace
