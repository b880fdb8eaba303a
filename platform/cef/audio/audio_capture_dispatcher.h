// Hands the capture sink's events to a listener from one thread of its own, in the order the
// sinks posted them, so the listener never sees two streams' calls at once and a slow listener
// never holds up a sink's streaming thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "audio_capture_listener.h"

namespace tavrimon::audio {

class AudioCaptureDispatcher {
 public:
  static constexpr int kMaxChannels = 8;

  // Packets beyond `maxQueuedBytes` of waiting samples are dropped (counted); stream starts and
  // stops are never dropped, so every start keeps its stop.
  explicit AudioCaptureDispatcher(size_t maxQueuedBytes = size_t{16} << 20);
  // Delivers what is queued, then ends the thread.
  ~AudioCaptureDispatcher();
  AudioCaptureDispatcher(const AudioCaptureDispatcher&) = delete;
  AudioCaptureDispatcher& operator=(const AudioCaptureDispatcher&) = delete;

  // Events are dropped while no listener is set.
  void SetListener(AudioCaptureListener* listener);

  void PostStarted(int id, int channels, int sampleRate, int framesPerBuffer);
  // Copies the samples; packets with 0 or more than kMaxChannels channels are ignored.
  void PostPacket(int id, int channels, const float* const* data, int frames, int64_t pts,
                  int64_t captureTimeNs);
  void PostStopped(int id);

  // Returns once every event posted before the call has been delivered.
  void WaitIdle();

  uint64_t droppedPackets() const;

 private:
  enum class Kind { kStarted, kPacket, kStopped };
  struct Event {
    Kind kind;
    int id;
    int channels;
    int sampleRate;
    int frames;
    int64_t pts;
    int64_t captureTimeNs;
    std::vector<float> samples;  // planar: channel c starts at c * frames
  };

  void Push(Event event);
  void Run();
  void Deliver(AudioCaptureListener* listener, const Event& event);

  const size_t maxQueuedBytes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Event> queue_;
  size_t queuedBytes_ = 0;
  bool delivering_ = false;
  bool stopping_ = false;
  uint64_t droppedPackets_ = 0;
  AudioCaptureListener* listener_ = nullptr;
  std::thread thread_;
};

}  // namespace tavrimon::audio
