#include "live_status.h"

#include <cmath>
#include <cstdio>

LiveStatus::LiveStatus(bool enabled, bool terminal) : enabled_(enabled), terminal_(terminal) {}

std::string LiveStatus::Format(std::int64_t frames, double fps, double audioDbfs,
                               std::int64_t dropped) {
  char level[32];
  if (std::isfinite(audioDbfs)) {
    std::snprintf(level, sizeof level, "%6.1f dBFS", audioDbfs);
  } else {
    std::snprintf(level, sizeof level, "  silent   ");
  }
  char line[160];
  std::snprintf(line, sizeof line, "frames %6lld  fps %5.1f  audio %s  dropped %lld",
                static_cast<long long>(frames), fps, level, static_cast<long long>(dropped));
  return line;
}

void LiveStatus::update(std::int64_t frames, std::int64_t dropped, double audioDbfs) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - last_).count();
  if (seconds < (terminal_ ? 0.25 : 1.0)) return;
  const double fps = static_cast<double>(frames - lastFrames_) / seconds;
  last_ = now;
  lastFrames_ = frames;
  lastDbfs_ = audioDbfs;
  const std::string line = Format(frames, fps, audioDbfs, dropped);
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    drawn_ = true;
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
}

void LiveStatus::end() {
  if (drawn_) std::fputs("\n", stderr);
  drawn_ = false;
}
