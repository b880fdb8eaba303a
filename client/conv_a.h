// Converts packets of planar 32-bit float audio, as the browser delivers them, into
// interleaved signed 16-bit stereo at 44,100 Hz with libswresample.
#pragma once

#include <cstdint>
#include <mutex>

struct SwrContext;

class conv_a {
 public:
  static constexpr int kOutputRate = 44100;
  static constexpr int kOutputChannels = 2;
  static constexpr int kBytesPerFrame = 4;  // two signed 16-bit samples, left then right
  static constexpr int kBufferBytes = 16384;

  // Makes the resampler for a stream of `sampleRate` Hz with `channels` planes. A stream with
  // one plane is heard on both sides; beyond two planes only the first two (left, right) are
  // used. On any failure the converter is unusable and converts nothing.
  conv_a(int sampleRate, int channels);
  conv_a(const conv_a&) = delete;
  conv_a& operator=(const conv_a&) = delete;
  virtual ~conv_a();

  bool IsUsable() const { return resampler != nullptr && outBuffer != nullptr; }

  // Converts one packet of `frames` frames (data holds one float plane per channel given at
  // construction) into the output block. Returns true when a block was produced; a packet
  // whose output would not fit the 16,384-byte block, a failed conversion or an unusable
  // converter produce none, and then the block is empty.
  bool Convert(const float** data, int frames);

  // Calls read(outBuffer, outLength) under the lock: the block of the last packet.
  template <typename Reader>
  void ReadOutput(Reader&& read) {
    std::lock_guard<std::mutex> guard(lock);
    read(static_cast<const uint8_t*>(outBuffer), outLength);
  }

 private:
  SwrContext* resampler = nullptr;
  uint8_t* outBuffer = nullptr;
  int32_t outLength = 0;
  std::mutex lock;
  int32_t inputRate = 0;
  int inputChannels = 0;
};
