// Loudness of the 16-bit audio that arrives: the RMS level of recent blocks for the live
// status line, and the peak and overall RMS for the summary, in dBFS (0 = full scale).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

class AudioMeter {
 public:
  void add(const std::uint8_t* pcm, std::size_t bytes);
  // RMS level of what arrived since the last call, or -inf when nothing or only silence did.
  double takeRecentDbfs();
  double overallDbfs() const;
  double peakDbfs() const;
  // True once any sample was not zero.
  bool heardSound() const;

  static double ToDbfs(double amplitude);

 private:
  mutable std::mutex lock_;
  double recentSquares_ = 0;
  std::uint64_t recentSamples_ = 0;
  double totalSquares_ = 0;
  std::uint64_t totalSamples_ = 0;
  int peak_ = 0;
};
