// Converts painted BGRA frames to packed 24-bit BGR with libswscale, keeping the scaler and
// the output buffer from one frame to the next.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

struct AVFrame;
struct SwsContext;

class conv_v {
 public:
  conv_v() = default;
  conv_v(const conv_v&) = delete;
  conv_v& operator=(const conv_v&) = delete;
  virtual ~conv_v();

  // (Re)creates the scaler, both frame descriptions and the output buffer for one size.
  // A zero or negative size, or any FFmpeg failure, leaves the converter not initialized.
  void Build(int width, int height);

  // Converts one painted frame of width x height into the output buffer. A frame of another
  // size than the built one rebuilds first, so the scaler never reads beyond `bgra`. Returns
  // true when the output buffer holds a frame of this size to hand on.
  bool Convert(const void* bgra, int width, int height);

  // Frees every FFmpeg object and clears `initialized`.
  void Reset();

  // Calls read(dstBuffer, dstSize) under the lock, for the frame the last successful Convert
  // produced. dstBuffer is null and dstSize 0 when nothing is built.
  template <typename Reader>
  void ReadOutput(Reader&& read) {
    std::lock_guard<std::mutex> guard(lock);
    read(static_cast<const uint8_t*>(dstBuffer), dstSize);
  }

  // The paint handler tests this before building; the owner of the converter clears it
  // from another thread to force a rebuild on the next paint, hence atomic.
  std::atomic<bool> initialized{false};

 private:
  void ResetLocked();
  void BuildLocked(int width, int height);

  SwsContext* scaler = nullptr;
  AVFrame* dstFrame = nullptr;
  uint8_t* dstBuffer = nullptr;
  AVFrame* srcFrame = nullptr;
  std::mutex lock;
  int64_t dstSize = 0;
  int builtWidth = 0;
  int builtHeight = 0;
};
