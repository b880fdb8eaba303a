// The one-line live status on stderr: frames received, frame rate, audio level, dropped
// frames. Redrawn in place on a terminal; one line per second otherwise (with --fps-report).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class LiveStatus {
 public:
  LiveStatus(bool enabled, bool terminal);
  // Called often; prints when the line is due.
  void update(std::int64_t frames, std::int64_t dropped, double audioDbfs);
  // Ends the in-place line so later output starts on a fresh line.
  void end();

  static std::string Format(std::int64_t frames, double fps, double audioDbfs,
                            std::int64_t dropped);

 private:
  bool enabled_;
  bool terminal_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::int64_t lastFrames_ = 0;
  double lastDbfs_ = -1.0 / 0.0;
};
