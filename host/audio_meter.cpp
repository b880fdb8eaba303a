#include "audio_meter.h"

#include <cmath>
#include <cstdlib>
#include <limits>

double AudioMeter::ToDbfs(double amplitude) {
  if (amplitude <= 0) return -std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(amplitude / 32768.0);
}

void AudioMeter::add(const std::uint8_t* pcm, std::size_t bytes) {
  double squares = 0;
  int peak = 0;
  const std::size_t samples = bytes / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    const auto value = static_cast<std::int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    squares += static_cast<double>(value) * value;
    const int magnitude = std::abs(static_cast<int>(value));
    if (magnitude > peak) peak = magnitude;
  }
  std::lock_guard<std::mutex> guard(lock_);
  recentSquares_ += squares;
  recentSamples_ += samples;
  totalSquares_ += squares;
  totalSamples_ += samples;
  if (peak > peak_) peak_ = peak;
}

double AudioMeter::takeRecentDbfs() {
  std::lock_guard<std::mutex> guard(lock_);
  const double rms =
      recentSamples_ == 0 ? 0 : std::sqrt(recentSquares_ / static_cast<double>(recentSamples_));
  recentSquares_ = 0;
  recentSamples_ = 0;
  return ToDbfs(rms);
}

double AudioMeter::overallDbfs() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (totalSamples_ == 0) return ToDbfs(0);
  return ToDbfs(std::sqrt(totalSquares_ / static_cast<double>(totalSamples_)));
}

double AudioMeter::peakDbfs() const {
  std::lock_guard<std::mutex> guard(lock_);
  return ToDbfs(peak_);
}

bool AudioMeter::heardSound() const {
  std::lock_guard<std::mutex> guard(lock_);
  return peak_ > 0;
}
