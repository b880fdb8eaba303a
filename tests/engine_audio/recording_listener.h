// A listener for tests: records every stream and every breach of the listener contract (packet
// outside start/stop, a second start, overlapping calls, calls from more than one thread).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "audio_capture_listener.h"

namespace tavrimon::audio::testing {

struct RecordedStream {
  int channels = 0;
  int sampleRate = 0;
  int framesPerBuffer = 0;
  std::vector<std::vector<float>> samples;  // per channel, every frame received
  std::vector<int> packetFrames;
  std::vector<int64_t> pts;
  std::vector<int64_t> captureTimeNs;
  bool stopped = false;
  std::chrono::steady_clock::time_point startedAt, stoppedAt;
};

class RecordingListener : public AudioCaptureListener {
 public:
  void OnStreamStarted(int id, int channels, int sampleRate, int framesPerBuffer) override {
    Enter();
    {
      std::lock_guard lock(mutex_);
      if (streams_.contains(id)) errors_.push_back("started twice: " + std::to_string(id));
      RecordedStream& s = streams_[id];
      s.channels = channels;
      s.sampleRate = sampleRate;
      s.framesPerBuffer = framesPerBuffer;
      s.samples.assign(static_cast<size_t>(channels), {});
      s.startedAt = std::chrono::steady_clock::now();
      order_.push_back(id);
    }
    Leave();
  }

  void OnStreamPacket(int id, const float* const* data, int frames, int64_t pts,
                      int64_t captureTimeNs) override {
    Enter();
    {
      std::lock_guard lock(mutex_);
      auto it = streams_.find(id);
      if (it == streams_.end() || it->second.stopped) {
        errors_.push_back("packet outside its stream: " + std::to_string(id));
      } else {
        RecordedStream& s = it->second;
        for (int c = 0; c < s.channels; ++c)
          s.samples[c].insert(s.samples[c].end(), data[c], data[c] + frames);
        s.packetFrames.push_back(frames);
        s.pts.push_back(pts);
        s.captureTimeNs.push_back(captureTimeNs);
      }
    }
    Leave();
  }

  void OnStreamStopped(int id) override {
    Enter();
    {
      std::lock_guard lock(mutex_);
      auto it = streams_.find(id);
      if (it == streams_.end() || it->second.stopped) {
        errors_.push_back("stop without start: " + std::to_string(id));
      } else {
        it->second.stopped = true;
        it->second.stoppedAt = std::chrono::steady_clock::now();
        ++stops_;
      }
    }
    Leave();
    changed_.notify_all();
  }

  // True once `count` streams have stopped.
  bool WaitForStops(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return stops_ >= count; });
  }

  std::map<int, RecordedStream> streams() const {
    std::lock_guard lock(mutex_);
    return streams_;
  }
  std::vector<int> startOrder() const {
    std::lock_guard lock(mutex_);
    return order_;
  }
  std::vector<std::string> errors() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> all = errors_;
    if (threads_.size() > 1)
      all.push_back("calls from " + std::to_string(threads_.size()) + " threads");
    return all;
  }

 private:
  void Enter() {
    if (inCall_.exchange(true)) {
      std::lock_guard lock(mutex_);
      errors_.push_back("overlapping calls");
    }
    std::lock_guard lock(mutex_);
    threads_.insert(std::this_thread::get_id());
  }
  void Leave() { inCall_ = false; }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> inCall_ = false;
  std::map<int, RecordedStream> streams_;
  std::vector<int> order_;
  std::vector<std::string> errors_;
  std::set<std::thread::id> threads_;
  int stops_ = 0;
};

}  // namespace tavrimon::audio::testing
