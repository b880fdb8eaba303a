// Receiver of captured page sound: one stream per audio output of a page.
#pragma once

#include <cstdint>

namespace tavrimon::audio {

// Calls arrive on one thread, one after another, for all streams. Per stream the order is
// always OnStreamStarted, any number of OnStreamPacket, OnStreamStopped.
class AudioCaptureListener {
 public:
  virtual ~AudioCaptureListener() = default;

  // `framesPerBuffer` is the largest packet the stream will deliver (10 ms of sound).
  virtual void OnStreamStarted(int id, int channels, int sampleRate, int framesPerBuffer) = 0;

  // `data` holds one array of `frames` 32-bit float samples per channel, valid only during the
  // call (a mono stream has one array). `pts` is the stream's running time of the first sample, in milliseconds.
  // `captureTimeNs` is CLOCK_MONOTONIC when the sink consumed the samples (for latency figures).
  virtual void OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                              int64_t captureTimeNs) = 0;

  virtual void OnStreamStopped(int id) = 0;
};

}  // namespace tavrimon::audio
